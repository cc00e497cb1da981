#pragma once

#include <QString>

class Librarian;
class QMainWindow;
class QMdiSubWindow;
class QWidget;
struct EditorContext;

// What the library's menu and window ask of the main window that holds them.
class LibraryHost {
public:
    virtual ~LibraryHost() = default;

    // Owns the menu; its status bar shows a scan's progress and Cancel.
    virtual QMainWindow& mainWindow() = 0;
    virtual EditorContext& context() = 0;
    // Puts patches into the bank as Paste Patch does.
    virtual Librarian& patchLibrarian() = 0;
    // Adds a child window to the area and shows it; a closable one has the full frame.
    virtual QMdiSubWindow* addChild(QWidget* child, bool closable) = 0;
    // The remembered bank file's title; empty for a bank without a file.
    virtual QString bankFileTitle() const = 0;
    // The library's notice in the status bar; empty takes it away.
    virtual void tellLibrary(const QString& text) = 0;
};
