#include "FindCodeIcon.h"

#include <QPainter>
#include <QPainterPath>

QStringList FindCodeIcon::codesOf(const QString& listText)
{
    QStringList codes;
    for (const QString& raw : listText.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        const int bar = line.indexOf(QLatin1Char('|'));
        const QString item = (bar < 0 ? line : line.mid(bar + 1)).trimmed();
        const QString code = item.left(2);
        // Only names that are plain file names make icons.
        if (code.size() == 2 && code.at(0).isLetterOrNumber() && code.at(1).isLetterOrNumber() &&
            !codes.contains(code))
            codes << code;
    }
    return codes;
}

QImage FindCodeIcon::draw(const QString& code, int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);

    // A pin whose point marks the find: round head, tapering to the bottom.
    QPainterPath pin;
    pin.moveTo(16, 31);
    pin.cubicTo(12, 24, 3.5, 19, 3.5, 12);
    pin.arcTo(QRectF(3.5, -0.5, 25, 25), 180, -180);
    pin.cubicTo(28.5, 19, 20, 24, 16, 31);
    pin.closeSubpath();

    const bool generic = code.isEmpty();
    const int hue = generic ? 0 : (code.at(0).unicode() * 53 + code.at(1).unicode() * 29) % 360;
    const QColor fill = generic ? QColor(150, 150, 150) : QColor::fromHsv(hue, 170, 210);
    p.setPen(QPen(fill.darker(170), 1.2));
    p.setBrush(fill);
    p.drawPath(pin);

    if (generic) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(16, 12), 4.5, 4.5);
    } else {
        p.setPen(Qt::white);
        QFont f = p.font();
        f.setPixelSize(11);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(3.5, 1, 25, 22), Qt::AlignCenter, code);
    }
    p.end();
    return img.convertToFormat(QImage::Format_ARGB32);
}
