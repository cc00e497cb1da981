#pragma once

#include "Desktop.h"
#include "RefusalFlash.h"

#include <QStringList>

class QWidget;

// The desktop as Qt gives it: native file dialogs, message boxes, the beep.
class QtDesktop : public Desktop {
public:
    void setParentWindow(QWidget* parent) { m_parent = parent; }
    // A pause ends early once this descriptor is readable (the program is asked to end).
    void endPausesOn(int descriptor) { m_pauseBreak = descriptor; }

    std::optional<FileChoice> showOpen(const FileDialogSetup& setup) override;
    std::optional<FileChoice> showSave(const FileDialogSetup& setup) override;
    std::optional<QString> chooseFolder(const QString& caption) override;
    std::optional<QString> askText(const QString& caption, const QString& label,
                                   const QString& text) override;
    std::optional<int> chooseItem(const QString& caption, const QString& label,
                                  const QStringList& items) override;
    void showMessage(const QString& text) override;
    void showDetailedMessage(const QString& text, const QString& details) override;
    void beep(QWidget* refusing = nullptr) override;
    void ShowBusyPointer() override;
    void ShowNormalPointer() override;
    void pause(int milliseconds) override;

    // "A|a|B|b" as Qt's name filters "A (a)" and "B (b)", for a dialog that shows the
    // descriptions A and B as they stand.
    static QStringList nameFilters(const QString& filter);

private:
    QWidget* m_parent = nullptr;
    int m_pauseBreak = -1;
    int m_busyDepth = 0;
    RefusalFlash m_flash;
};
