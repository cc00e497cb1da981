#pragma once

#include <QString>

// A child window of the main window: what the main window asks of each of them.
class MdiChild {
public:
    virtual ~MdiChild() = default;
    // "Patch" for the patch list and the play window, the patch number for an editor.
    virtual QString tag() const = 0;
    // Runs when the window becomes the active child window.
    virtual void Form_Activate() {}
};
