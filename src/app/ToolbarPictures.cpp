#include "ToolbarPictures.h"

#include <QIconEngine>
#include <QPainter>
#include <QPolygonF>
#include <QPixmap>

#include <functional>
#include <initializer_list>

namespace {
constexpr int kSize = 32; // the pictures are drawn on a square of this many units

using Drawing = std::function<void(QPainter&)>;

// A picture drawn afresh at whatever size and density the toolbar asks for, so that it
// is sharp at every screen scale.
class DrawnIcon : public QIconEngine {
public:
    explicit DrawnIcon(Drawing draw) : m_draw(std::move(draw)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        painter->save();
        painter->translate(rect.topLeft());
        painter->scale(rect.width() / qreal(kSize), rect.height() / qreal(kSize));
        painter->setRenderHint(QPainter::Antialiasing);
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.4);
        m_draw(*painter);
        painter->restore();
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QPixmap pixmap(size * scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(), pixmap.size()), mode, state);
        painter.end();
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }
    QIconEngine* clone() const override { return new DrawnIcon(m_draw); }

private:
    Drawing m_draw;
};

QIcon drawn(Drawing draw) { return QIcon(new DrawnIcon(std::move(draw))); }

// A closed outline through the given corners, drawn with the pen and filled.
void outline(QPainter& p, const QPen& pen, const QBrush& fill, std::initializer_list<QPointF> corners) {
    p.setPen(pen);
    p.setBrush(fill);
    p.drawPolygon(QPolygonF(QList<QPointF>(corners)));
}

void page(QPainter& p) {
    outline(p, QPen(QColor(60, 60, 60), 1.5), Qt::white,
            {{7, 3}, {19, 3}, {25, 9}, {25, 29}, {7, 29}});
    p.drawLine(QPointF(19, 3), QPointF(19, 9));
    p.drawLine(QPointF(19, 9), QPointF(25, 9));
}

void folder(QPainter& p) {
    outline(p, QPen(QColor(120, 80, 10), 1.5), QColor(240, 190, 70),
            {{3, 8}, {12, 8}, {15, 11}, {29, 11}, {29, 27}, {3, 27}});
}

void disk(QPainter& p) {
    p.setPen(QPen(QColor(20, 30, 60), 1.5));
    p.setBrush(QColor(50, 90, 170));
    p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 4, 14, 9));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(8, 18, 16, 10));
}
} // namespace

namespace ToolbarPictures {
QIcon bankNew() { return QIcon::fromTheme("document-new", drawn(page)); }
QIcon bankOpen() { return QIcon::fromTheme("document-open", drawn(folder)); }
QIcon bankSave() { return QIcon::fromTheme("document-save", drawn(disk)); }
} // namespace ToolbarPictures
