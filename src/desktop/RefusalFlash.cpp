#include "RefusalFlash.h"

#include <QAbstractScrollArea>
#include <QGraphicsEffect>
#include <QPainter>
#include <QWidget>

namespace {
constexpr qreal kFrameWidth = 2;

// Draws the box as it is, with the frame over it.
class RefusalFrame : public QGraphicsEffect {
public:
    explicit RefusalFrame(const QColor& colour) : m_colour(colour) {}

protected:
    void draw(QPainter* painter) override {
        drawSource(painter);
        const qreal inset = kFrameWidth / 2;
        painter->save();
        painter->setPen(QPen(m_colour, kFrameWidth));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(sourceBoundingRect().adjusted(inset, inset, -inset, -inset));
        painter->restore();
    }

private:
    QColor m_colour;
};
} // namespace

RefusalFlash::RefusalFlash() {
    m_timer.setSingleShot(true);
    m_timer.setInterval(kMilliseconds);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { unmark(); });
}

void RefusalFlash::flash(QWidget& refusing) {
    // A list or another scrolled box draws its contents in its viewport, which an effect
    // on the box itself does not reach on the screen.
    const auto* area = qobject_cast<QAbstractScrollArea*>(&refusing);
    QWidget& box = area ? *area->viewport() : refusing;
    if (m_box != &box)
        unmark();
    if (!box.graphicsEffect()) {
        m_frame = new RefusalFrame(box.palette().color(QPalette::Highlight));
        box.setGraphicsEffect(m_frame); // the box owns the frame from now on
    }
    if (box.graphicsEffect() != m_frame)
        return;
    m_box = &box;
    m_timer.start(); // a box refusing again is marked for the whole moment again
}

void RefusalFlash::unmark() {
    m_timer.stop();
    if (m_box && m_frame && m_box->graphicsEffect() == m_frame)
        m_box->setGraphicsEffect(nullptr);
    m_box = nullptr;
}
