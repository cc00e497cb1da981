#include "ToolbarPictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {
constexpr int kSize = 32;

QPixmap canvas() {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPixmap page() {
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1.5));
    p.setBrush(Qt::white);
    QPainterPath sheet;
    sheet.moveTo(7, 3);
    sheet.lineTo(19, 3);
    sheet.lineTo(25, 9);
    sheet.lineTo(25, 29);
    sheet.lineTo(7, 29);
    sheet.closeSubpath();
    p.drawPath(sheet);
    p.drawLine(QPointF(19, 3), QPointF(19, 9));
    p.drawLine(QPointF(19, 9), QPointF(25, 9));
    return pixmap;
}

QPixmap folder() {
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(120, 80, 10), 1.5));
    p.setBrush(QColor(240, 190, 70));
    QPainterPath body;
    body.moveTo(3, 8);
    body.lineTo(12, 8);
    body.lineTo(15, 11);
    body.lineTo(29, 11);
    body.lineTo(29, 27);
    body.lineTo(3, 27);
    body.closeSubpath();
    p.drawPath(body);
    return pixmap;
}

QPixmap disk() {
    QPixmap pixmap = canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 30, 60), 1.5));
    p.setBrush(QColor(50, 90, 170));
    p.drawRoundedRect(QRectF(4, 4, 24, 24), 2, 2);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9, 4, 14, 9));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(8, 18, 16, 10));
    return pixmap;
}
} // namespace

namespace ToolbarPictures {
QIcon BankNew() { return QIcon::fromTheme("document-new", QIcon(page())); }
QIcon BankOpen() { return QIcon::fromTheme("document-open", QIcon(folder())); }
QIcon BankSave() { return QIcon::fromTheme("document-save", QIcon(disk())); }
} // namespace ToolbarPictures
