#include "PlayWindow.h"

#include "Twips.h"
#include "core/NumberText.h"
#include "core/QuenlorCode.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <algorithm>

namespace {
constexpr double kTopValue = 127;
// The smallest height the window gets when the main window leaves no room under the list.
constexpr int kMinimumHeight = 60;

// Arrow keys move the point by one note or one step of velocity; with Shift by an octave
// or a coarser step.
constexpr int kOctave = 12;
constexpr int kCoarseVelocity = 16;

// What a screen reader hears of the pad: its name, what pressing it does, and the note
// and velocity it plays now.
class PlayPadAccessible : public QAccessibleWidget {
public:
    explicit PlayPadAccessible(PlayWindow* pad) : QAccessibleWidget(pad, QAccessible::Button) {}
    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Value)
            return QAccessibleWidget::text(t);
        const auto* pad = static_cast<const PlayWindow*>(widget());
        return QStringLiteral("note %1, velocity %2").arg(pad->pointNote()).arg(pad->pointVelocity());
    }
};

QAccessibleInterface* playPadFactory(const QString&, QObject* object) {
    if (auto* pad = qobject_cast<PlayWindow*>(object))
        return new PlayPadAccessible(pad);
    return nullptr;
}

int16_t scaled(double position, double extent) {
    if (extent <= 0)
        return 0;
    return std::clamp<int16_t>(NumberText::roundToInt16(position * kTopValue / extent), 0, 127);
}
} // namespace

PlayWindow::PlayWindow(EditorContext& context, QWidget* parent)
    : QWidget(parent), m_context(context) {
    setWindowTitle("Play");
    setMinimumSize(40, 20);
    // Before anything asks for the pad's accessible interface, which is then kept.
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(playPadFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Play"));
    setAccessibleDescription(QStringLiteral(
        "Test note pad: a press plays a note, higher further right and louder further up. "
        "Space plays the note; the arrow keys change note and velocity, with Shift in "
        "larger steps."));
}

int16_t PlayWindow::noteAt(double x, double width) { return scaled(x, width); }

// The subtraction comes before the rounding: the middle of an even-height pad is 63.5,
// which rounds to the even 64.
int16_t PlayWindow::velocityAt(double y, double height) {
    if (height <= 0)
        return 127;
    const double velocity = kTopValue - y * kTopValue / height;
    return std::clamp<int16_t>(NumberText::roundToInt16(velocity), 0, 127);
}

void PlayWindow::Form_Load(const QRect& patchListWindow, int innerAreaHeight) {
    QWidget* frame = parentWidget() ? parentWidget() : this;
    const int top = patchListWindow.top() + patchListWindow.height();
    const int height = std::max(innerAreaHeight - top, kMinimumHeight);
    frame->setGeometry(patchListWindow.left(), top, patchListWindow.width(), height);
}

void PlayWindow::Form_MouseDown(double x, double y) {
    QuenlorCode& code = m_context.Code;
    if (!code.Midi)
        return;
    const int16_t channel = code.outputChannel();
    if (m_sounding) code.Midi->PlayNoteOff(channel, LastPlayedNote);
    LastPlayedNote = noteAt(x, twips(width()));
    const int16_t velocity = velocityAt(y, twips(height()));
    code.Midi->PlayNoteOn(channel, LastPlayedNote, velocity);
    // A Note On of velocity 0, at the pad's bottom edge, is itself a note's end.
    m_sounding = velocity > 0;
    setPoint(LastPlayedNote, velocity);
}

void PlayWindow::setPoint(int note, int velocity) {
    m_pointNote = static_cast<int16_t>(std::clamp(note, 0, 127));
    m_pointVelocity = static_cast<int16_t>(std::clamp(velocity, 0, 127));
    update();
}

// The place in the pad whose click gives the point's note and velocity.
void PlayWindow::pressAtPoint() {
    const double x = m_pointNote * double(twips(width())) / kTopValue;
    const double y = (kTopValue - m_pointVelocity) * double(twips(height())) / kTopValue;
    Form_MouseDown(x, y);
}

void PlayWindow::keyPressEvent(QKeyEvent* event) {
    const bool coarse = event->modifiers() & Qt::ShiftModifier;
    const int noteStep = coarse ? kOctave : 1;
    const int velocityStep = coarse ? kCoarseVelocity : 1;
    switch (event->key()) {
    case Qt::Key_Space:
        if (!event->isAutoRepeat())
            pressAtPoint();
        break;
    case Qt::Key_Left: setPoint(m_pointNote - noteStep, m_pointVelocity); pressAtPoint(); break;
    case Qt::Key_Right: setPoint(m_pointNote + noteStep, m_pointVelocity); pressAtPoint(); break;
    case Qt::Key_Up: setPoint(m_pointNote, m_pointVelocity + velocityStep); pressAtPoint(); break;
    case Qt::Key_Down: setPoint(m_pointNote, m_pointVelocity - velocityStep); pressAtPoint(); break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

// A held key repeats its press; only letting it go ends the note, as a mouse release does.
void PlayWindow::keyReleaseEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (!event->isAutoRepeat())
            Form_MouseUp();
        event->accept();
        break;
    default: QWidget::keyReleaseEvent(event);
    }
}

// With the focus here the pad shows it, and the point the keyboard plays.
void PlayWindow::paintEvent(QPaintEvent*) {
    if (!hasFocus())
        return;
    QPainter painter(this);
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = rect().adjusted(1, 1, -1, -1);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    const QPointF point(m_pointNote * (width() - 1) / kTopValue,
                        (kTopValue - m_pointVelocity) * (height() - 1) / kTopValue);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawEllipse(point, 5, 5);
}

void PlayWindow::Form_MouseUp() {
    QuenlorCode& code = m_context.Code;
    if (code.Midi && m_sounding)
        code.Midi->PlayNoteOff(code.outputChannel(), LastPlayedNote);
    m_sounding = false;
}

void PlayWindow::mousePressEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    Form_MouseDown(twips(1) * at.x(), twips(1) * at.y());
    event->accept();
}

void PlayWindow::mouseReleaseEvent(QMouseEvent* event) {
    Form_MouseUp();
    event->accept();
}
