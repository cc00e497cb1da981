#include "QtDesktop.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>

QString QtDesktop::NameFilters(const QString& filter) {
    const QStringList parts = filter.split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        // A description that already names its pattern is used as it stands.
        const QString& description = parts[i];
        const QString& pattern = parts[i + 1];
        filters << (description.contains(pattern) ? description
                                                  : description + " (" + pattern + ")");
    }
    return filters.join(";;");
}

namespace {
std::optional<FileChoice> choice(const QString& path) {
    if (path.isEmpty())
        return std::nullopt;
    return FileChoice{QFile::encodeName(path).toStdString(),
                      QFile::encodeName(QFileInfo(path).fileName()).toStdString()};
}
} // namespace

std::optional<FileChoice> QtDesktop::ShowOpen(const FileDialogSetup& setup) {
    QFileDialog dialog(m_parent, QString(), QString(), NameFilters(setup.Filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile); // the file must exist
    if (!setup.DefaultExtension.isEmpty())
        dialog.setDefaultSuffix(setup.DefaultExtension);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return choice(dialog.selectedFiles().first());
}

std::optional<FileChoice> QtDesktop::ShowSave(const FileDialogSetup& setup) {
    QFileDialog dialog(m_parent, QString(), QString(), NameFilters(setup.Filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile); // the folder must exist
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!setup.DefaultExtension.isEmpty())
        dialog.setDefaultSuffix(setup.DefaultExtension);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return choice(dialog.selectedFiles().first());
}

void QtDesktop::ShowMessage(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    m_parent);
    box.exec();
}

void QtDesktop::Beep() { QApplication::beep(); }

void QtDesktop::ShowBusyPointer() {
    if (m_busyDepth++ == 0)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtDesktop::ShowNormalPointer() {
    if (m_busyDepth == 0)
        return;
    if (--m_busyDepth == 0)
        QApplication::restoreOverrideCursor();
}

void QtDesktop::Pause(int milliseconds) { QThread::msleep(static_cast<unsigned long>(milliseconds)); }
