#include "Splash.h"

#include "core/Version.h"

#include <QFrame>
#include <algorithm>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

namespace {
constexpr int kWidth = 420;
constexpr int kHeight = 250;
constexpr int kPicture = 64;
constexpr qreal kIconLinePixels = 1.5;

// The five pictures of the panel: the waves the instrument's oscillators and LFOs make
// (triangle, sawtooth, pulse), an envelope and a keyboard, drawn in the program's colours.
// Drawn at the screen's own density, so that the pictures stay sharp at any scale, with
// a line of at least the width given in pixels.
QPixmap picture(int which, qreal density, qreal leastLinePixels = 0) {
    QPixmap pixmap(QSize(kPicture, kPicture) * density);
    pixmap.setDevicePixelRatio(density);
    pixmap.fill(QColor(0, 64, 64));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal line = std::max(3.0, leastLinePixels / density);
    p.setPen(QPen(QColor(120, 230, 210), line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const qreal l = 8, r = kPicture - 8, t = 14, b = kPicture - 14, m = kPicture / 2.0;
    QPainterPath path;
    switch (which) {
    case 0: // triangle
        path.moveTo(l, b);
        path.lineTo((l + m) / 2, t);
        path.lineTo(m, b);
        path.lineTo((m + r) / 2, t);
        path.lineTo(r, b);
        break;
    case 1: // sawtooth
        path.moveTo(l, b);
        path.lineTo(m, t);
        path.lineTo(m, b);
        path.lineTo(r, t);
        path.lineTo(r, b);
        break;
    case 2: // pulse
        path.moveTo(l, b);
        path.lineTo(l, t);
        path.lineTo(m - 6, t);
        path.lineTo(m - 6, b);
        path.lineTo(m + 6, b);
        path.lineTo(m + 6, t);
        path.lineTo(r, t);
        break;
    case 3: // envelope: attack, decay, sustain, release
        path.moveTo(l, b);
        path.lineTo(l + 10, t);
        path.lineTo(l + 22, m);
        path.lineTo(r - 14, m);
        path.lineTo(r, b);
        break;
    default: { // an octave of keys
        p.setPen(QPen(Qt::black, 1));
        const qreal keyWidth = (r - l) / 7;
        for (int k = 0; k < 7; ++k)
            p.fillRect(QRectF(l + k * keyWidth, t, keyWidth - 1, b - t), QColor(235, 235, 225));
        for (int k : {0, 1, 3, 4, 5})
            p.fillRect(QRectF(l + (k + 0.65) * keyWidth, t, keyWidth * 0.7, (b - t) * 0.6),
                       Qt::black);
        return pixmap;
    }
    }
    p.drawPath(path);
    return pixmap;
}

QLabel* pictureLabel(QWidget* parent, int which, int left) {
    auto* label = new QLabel(parent);
    label->setPixmap(picture(which, parent->devicePixelRatioF()));
    label->setGeometry(left, 24, kPicture, kPicture);
    return label;
}
} // namespace

Splash::Splash(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(true);
    QPalette palette;
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, QColor(220, 220, 220));
    setPalette(palette);

    SSPanel1 = new QFrame(this);
    SSPanel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    SSPanel1->setLineWidth(3);
    SSPanel1->setGeometry(0, 0, kWidth, kHeight);

    const int gap = (kWidth - 5 * kPicture) / 6;
    Picture1 = pictureLabel(SSPanel1, 0, gap);
    Picture2 = pictureLabel(SSPanel1, 1, 2 * gap + kPicture);
    Picture3 = pictureLabel(SSPanel1, 2, 3 * gap + 2 * kPicture);
    Picture4 = pictureLabel(SSPanel1, 3, 4 * gap + 3 * kPicture);
    Picture5 = pictureLabel(SSPanel1, 4, 5 * gap + 4 * kPicture);

    Label2 = new QLabel("Editor and librarian for the Bit 01 synthesizer.\n"
                        "Banks and patches are sent to the instrument over MIDI.",
                        SSPanel1);
    QFont small("Arial");
    small.setPointSizeF(7.5);
    Label2->setFont(small);
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setGeometry(10, 180, kWidth - 20, 50);

    Label1 = new QLabel(QStringLiteral("Quenlor v") + kQuenlorVersion, SSPanel1);
    QFont title("Arial");
    title.setPointSize(20);
    title.setBold(true);
    Label1->setFont(title);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setGeometry(10, 110, kWidth - 20, 60);

    Form_Load();
}

void Splash::Form_Load() {
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const double left = (area.width() - width()) / 2.0;
    const double top = (area.height() - height()) / 2.5;
    move(area.left() + int(left), area.top() + int(top));
}

// Labels, pictures and the panel pass their presses on to the panel's window. A click is
// a left press and its release over the panel; the release closes it.
void Splash::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton)
        m_leftPressed = true;
}

void Splash::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || !m_leftPressed)
        return;
    m_leftPressed = false;
    if (rect().contains(event->position().toPoint()))
        close();
}

// Clicks are the only way to close the panel: Escape does not, nor does any other key.
void Splash::keyPressEvent(QKeyEvent* event) { event->accept(); }

// The sizes title bars, task bars and window switchers show: every size goes to the
// window system with each window, so a desktop that wants another scales the nearest.
// Each is drawn large and made smaller, with a line that still shows at that size.
QIcon programIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64}) {
        const QPixmap large = picture(1, 1.0, kIconLinePixels * kPicture / size);
        icon.addPixmap(large.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    return icon;
}
