#include "QtDesktop.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <poll.h>

QStringList QtDesktop::nameFilters(const QString& filter) {
    const QStringList parts = filter.split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        // "*.*" means every file, also one whose name has no dot; to Qt that is "*".
        const QString pattern = parts[i + 1] == "*.*" ? QStringLiteral("*") : parts[i + 1];
        // The dialog shows the description alone: Qt hides the last "(pattern)".
        filters << parts[i] + " (" + pattern + ")";
    }
    return filters;
}

namespace {
std::optional<FileChoice> choice(const QString& path) {
    if (path.isEmpty())
        return std::nullopt;
    return FileChoice{QFile::encodeName(path).toStdString(),
                      QFile::encodeName(QFileInfo(path).fileName()).toStdString()};
}

void setUp(QFileDialog& dialog, const FileDialogSetup& setup) {
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(QtDesktop::nameFilters(setup.Filter));
    if (!setup.DefaultExtension.isEmpty())
        dialog.setDefaultSuffix(setup.DefaultExtension);
}

// Texts from files and paths are shown as they are, never read as formatting.
void showPlainMessage(QWidget* parent, const QString& text, const QString& details = {}) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.setTextFormat(Qt::PlainText);
    box.setDetailedText(details);
    box.exec();
}
} // namespace

std::optional<FileChoice> QtDesktop::showOpen(const FileDialogSetup& setup) {
    QFileDialog dialog(m_parent);
    setUp(dialog, setup);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile); // the file must exist
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return choice(dialog.selectedFiles().first());
}

std::optional<FileChoice> QtDesktop::showSave(const FileDialogSetup& setup) {
    QFileDialog dialog(m_parent);
    setUp(dialog, setup);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        const QString path = dialog.selectedFiles().first();
        // The folder must exist: Qt hands back a name in a folder that is not there,
        // which no save could write. The user is told and chooses again.
        const QString folder = QFileInfo(path).absolutePath();
        if (QFileInfo(folder).isDir())
            return choice(path);
        showPlainMessage(&dialog, "The folder '" + QDir::toNativeSeparators(folder) +
                                      "' does not exist.");
    }
}

std::optional<QString> QtDesktop::chooseFolder(const QString& caption) {
    const QString folder = QFileDialog::getExistingDirectory(m_parent, caption);
    if (folder.isEmpty()) return std::nullopt;
    return folder;
}

std::optional<QString> QtDesktop::askText(const QString& caption, const QString& label,
                                          const QString& text) {
    bool ok = false;
    const QString answer =
        QInputDialog::getText(m_parent, caption, label, QLineEdit::Normal, text, &ok);
    if (!ok) return std::nullopt;
    return answer;
}

std::optional<int> QtDesktop::chooseItem(const QString& caption, const QString& label,
                                         const QStringList& items) {
    bool ok = false;
    const QString answer = QInputDialog::getItem(m_parent, caption, label, items, 0, false, &ok);
    if (!ok) return std::nullopt;
    const int index = int(items.indexOf(answer));
    if (index < 0) return std::nullopt;
    return index;
}

void QtDesktop::showMessage(const QString& text) { showPlainMessage(m_parent, text); }

void QtDesktop::showDetailedMessage(const QString& text, const QString& details) {
    showPlainMessage(m_parent, text, details);
}

// Some window systems have no bell (Wayland) and some desktops mute it: the refusal is
// seen as well.
void QtDesktop::beep(QWidget* refusing) {
    QApplication::beep();
    if (QWidget* box = refusing ? refusing : QApplication::focusWidget())
        m_flash.flash(*box);
}

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

void QtDesktop::pause(int milliseconds) {
    if (m_pauseBreak < 0) {
        QThread::msleep(static_cast<unsigned long>(std::max(0, milliseconds)));
        return;
    }
    const QDeadlineTimer end(milliseconds);
    pollfd wake{m_pauseBreak, POLLIN, 0};
    while (!end.hasExpired()) {
        const int ready = ::poll(&wake, 1, static_cast<int>(end.remainingTime()));
        if (ready > 0 || (ready < 0 && errno != EINTR))
            return;
    }
}
