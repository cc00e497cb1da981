#include "PlayWindow.h"

#include "Twips.h"
#include "core/NumberText.h"
#include "core/QuenlorCode.h"

#include <QMdiSubWindow>
#include <QMouseEvent>
#include <algorithm>

namespace {
constexpr double kTopValue = 127;
// The smallest height the window gets when the main window leaves no room under the list.
constexpr int kMinimumHeight = 60;

int16_t scaled(double position, double extent) {
    if (extent <= 0)
        return 0;
    return std::clamp<int16_t>(NumberText::RoundToInt16(position * kTopValue / extent), 0, 127);
}
} // namespace

PlayWindow::PlayWindow(EditorContext& context, QWidget* parent)
    : QWidget(parent), m_context(context) {
    setWindowTitle("Play");
    setMinimumSize(40, 20);
}

int16_t PlayWindow::NoteAt(double x, double width) { return scaled(x, width); }

// The subtraction comes before the rounding: the middle of an even-height pad is 63.5,
// which rounds to the even 64.
int16_t PlayWindow::VelocityAt(double y, double height) {
    if (height <= 0)
        return 127;
    const double velocity = kTopValue - y * kTopValue / height;
    return std::clamp<int16_t>(NumberText::RoundToInt16(velocity), 0, 127);
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
    const int16_t channel = code.OutputChannel();
    code.Midi->PlayNoteOff(channel, LastPlayedNote);
    LastPlayedNote = NoteAt(x, Twips(width()));
    const int16_t velocity = VelocityAt(y, Twips(height()));
    code.Midi->PlayNoteOn(channel, LastPlayedNote, velocity);
}

void PlayWindow::Form_MouseUp() {
    QuenlorCode& code = m_context.Code;
    if (code.Midi)
        code.Midi->PlayNoteOff(code.OutputChannel(), LastPlayedNote);
}

void PlayWindow::mousePressEvent(QMouseEvent* event) {
    const QPointF at = event->position();
    Form_MouseDown(Twips(1) * at.x(), Twips(1) * at.y());
    event->accept();
}

void PlayWindow::mouseReleaseEvent(QMouseEvent* event) {
    Form_MouseUp();
    event->accept();
}
