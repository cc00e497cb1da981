#pragma once

#include "core/FileChoice.h"

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

// A file dialog set up as the bank and patch commands set it up.
struct FileDialogSetup {
    // Filter pairs as "Description|pattern|Description|pattern", for example
    // "Bit-01 banks (*.bbk)|*.bbk|All files|*.*".
    QString Filter;
    // Added to a typed name without an extension in the save dialog ("bbk"); may be empty.
    QString DefaultExtension;
};

// The things that block or touch the whole desktop, reached through one interface so
// that tests replace them and never wait on a modal window.
class Desktop {
public:
    virtual ~Desktop() = default;

    // The open dialog: the chosen file must exist. Nothing when the user cancels.
    virtual std::optional<FileChoice> showOpen(const FileDialogSetup& setup) = 0;
    // The save dialog: the folder must exist; replacing a file is confirmed first.
    virtual std::optional<FileChoice> showSave(const FileDialogSetup& setup) = 0;
    // A folder chosen in the folder dialog; nothing when the user cancels.
    virtual std::optional<QString> chooseFolder(const QString& caption) = 0;
    // A line of text the user types, starting as `text`; nothing when the user cancels.
    virtual std::optional<QString> askText(const QString& caption, const QString& label,
                                           const QString& text) = 0;
    // The index of one of the items, chosen from a list; nothing when the user cancels.
    virtual std::optional<int> chooseItem(const QString& caption, const QString& label,
                                          const QStringList& items) = 0;
    // A message box with an OK button; returns when it is closed.
    virtual void showMessage(const QString& text) = 0;
    // The same with details the user can open; where there is nothing to open, they
    // follow the text.
    virtual void showDetailedMessage(const QString& text, const QString& details) {
        showMessage(details.isEmpty() ? text : text + "\n\n" + details);
    }
    // The beep for a refused key or command, with the box that refused it flashing:
    // `refusing`, or the one with the keyboard focus when none is named.
    virtual void beep(QWidget* refusing = nullptr) = 0;
    // The hourglass over the whole screen, and back to the normal pointer.
    virtual void ShowBusyPointer() = 0;
    virtual void ShowNormalPointer() = 0;
    // Blocks the user-interface thread; no event is handled meanwhile.
    virtual void pause(int milliseconds) = 0;
};
