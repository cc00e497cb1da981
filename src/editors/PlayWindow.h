#pragma once

#include "EditorContext.h"
#include "MdiChild.h"

#include <QWidget>
#include <cstdint>

// The play window: an empty pad in which a mouse press plays a note whose pitch
// follows the pointer across and whose velocity follows it upwards; the release, or the
// next press, ends it.
// With the focus on it, Space plays the note at the pad's point and the arrow keys move
// that point, each press sending what a click there would send.
class PlayWindow : public QWidget, public MdiChild {
    Q_OBJECT
public:
    explicit PlayWindow(EditorContext& context, QWidget* parent = nullptr);

    QString tag() const override { return QStringLiteral("Patch"); }

    // Places the window under the patch list window, filling the rest of the main
    // window's inner area downwards. Both are given as outer geometries in pixels.
    void Form_Load(const QRect& patchListWindow, int innerAreaHeight);

    // x and y in twips from the client area's top-left corner.
    void Form_MouseDown(double x, double y);
    void Form_MouseUp();

    // The note for a position across a client area of the given width, and the
    // velocity for a position down one of the given height: rounded, halves to even,
    // within 0..127. An area without width or height gives the top-left values.
    static int16_t noteAt(double x, double width);
    static int16_t velocityAt(double y, double height);

    int16_t LastPlayedNote = 0;

    // The note and velocity the keyboard plays: where the last press was.
    int16_t pointNote() const { return m_pointNote; }
    int16_t pointVelocity() const { return m_pointVelocity; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // Presses the pad at the point of the given note and velocity.
    void pressAtPoint();
    void setPoint(int note, int velocity);

    EditorContext& m_context;
    // A note of the pad's sounds: only then does a press or a release end it, so that
    // nothing is sent for a note that is not sounding.
    bool m_sounding = false;
    int16_t m_pointNote = 60;
    int16_t m_pointVelocity = 100;
};
