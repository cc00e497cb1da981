#pragma once

#include <QPointer>
#include <QTimer>

class QGraphicsEffect;
class QWidget;

// Marks the box that refused a key or a command with a frame in the theme's highlight
// colour for a moment, so that the refusal is seen where the beep is not heard (a muted
// desktop, a window system without a bell). Only the drawing changes: the box's text,
// state and what screen readers hear of it stay as they are.
class RefusalFlash {
public:
    static constexpr int kMilliseconds = 150;

    RefusalFlash();
    // A box still marked is drawn plainly again.
    ~RefusalFlash() { unmark(); }
    RefusalFlash(const RefusalFlash&) = delete;
    RefusalFlash& operator=(const RefusalFlash&) = delete;

    // Marks `box` for kMilliseconds, ending the mark of any other box at once. A box
    // that is drawn through an effect of its own is left alone.
    void flash(QWidget& box);

private:
    void unmark();

    QPointer<QWidget> m_box;
    QPointer<QGraphicsEffect> m_frame;
    QTimer m_timer;
};
