#include "IconPainter.h"

#include <QPainter>
#include <QFileInfo>

QImage IconPainter::draw(const QString& name, int size)
{
    const QString base = QFileInfo(name).completeBaseName();
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(name.endsWith(".jpg") ? Qt::white : Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor bg = QColor::fromHsv(int(qHash(base) % 360), 150, 200);
    p.setBrush(bg);
    p.setPen(bg.darker(150));
    p.drawRoundedRect(QRectF(1.5, 1.5, size - 3, size - 3), 5, 5);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(size / 3);
    f.setBold(true);
    p.setFont(f);
    p.drawText(img.rect(), Qt::AlignCenter, base.left(2));
    return img;
}
