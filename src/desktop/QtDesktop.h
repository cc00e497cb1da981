#pragma once

#include "Desktop.h"

#include <QStringList>

class QWidget;

// The desktop as Qt gives it: native file dialogs, message boxes, the beep.
class QtDesktop : public Desktop {
public:
    void SetParentWindow(QWidget* parent) { m_parent = parent; }

    std::optional<FileChoice> ShowOpen(const FileDialogSetup& setup) override;
    std::optional<FileChoice> ShowSave(const FileDialogSetup& setup) override;
    void ShowMessage(const QString& text) override;
    void Beep() override;
    void ShowBusyPointer() override;
    void ShowNormalPointer() override;
    void Pause(int milliseconds) override;

    // "A|a|B|b" as Qt's name filters "A (a)" and "B (b)", for a dialog that shows the
    // descriptions A and B as they stand.
    static QStringList NameFilters(const QString& filter);

private:
    QWidget* m_parent = nullptr;
    int m_busyDepth = 0;
};
