#include "IconShapes.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

const QColor IconShapes::ink(0x2b, 0x3a, 0x4a);
const QColor IconShapes::blue(0x2f, 0x7f, 0xd6);
const QColor IconShapes::paleBlue(0xd4, 0xe6, 0xf8);
const QColor IconShapes::orange(0xf2, 0x8c, 0x1e);
const QColor IconShapes::red(0xd8, 0x3a, 0x2e);
const QColor IconShapes::green(0x2f, 0xa8, 0x4f);
const QColor IconShapes::folderBack(0xdc, 0xa3, 0x2c);
const QColor IconShapes::folderFront(0xf6, 0xcd, 0x5a);
const QColor IconShapes::grey(0x8a, 0x96, 0xa3);

namespace {

QPen outline(const QColor& c, qreal w = 1.0)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QPointF polar(const QPointF& c, qreal r, qreal deg)
{
    // Screen y grows downwards; angles run counter-clockwise as on paper.
    const qreal a = qDegreesToRadians(deg);
    return c + QPointF(r * qCos(a), -r * qSin(a));
}

// Small linear congruential generator: reproducible and platform-independent,
// unlike the standard library's distributions.
struct Lcg {
    quint32 state;
    qreal next()
    {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / qreal(1u << 24);
    }
};

} // namespace

void IconShapes::folder(QPainter& p, const QRectF& r, bool open)
{
    const qreal tabW = r.width() * 0.36, tabH = r.height() * 0.14;
    QPainterPath back;
    back.moveTo(r.left(), r.top());
    back.lineTo(r.left() + tabW, r.top());
    back.lineTo(r.left() + tabW + tabH, r.top() + tabH);
    back.lineTo(r.right(), r.top() + tabH);
    back.lineTo(r.right(), r.bottom());
    back.lineTo(r.left(), r.bottom());
    back.closeSubpath();
    p.setPen(outline(folderBack.darker(170)));
    p.setBrush(folderBack);
    p.drawPath(back);

    if (open) {
        // A sheet peeking out makes the open folder read as "open" at 16 px too.
        p.setBrush(Qt::white);
        p.setPen(outline(grey));
        p.drawRect(QRectF(r.left() + r.width() * 0.18, r.top() + tabH + 1.5, r.width() * 0.62, r.height() * 0.4));
        const qreal y = r.top() + r.height() * 0.38;
        const qreal skew = r.width() * 0.14;
        QPolygonF flap;
        flap << QPointF(r.left() + skew, y) << QPointF(r.right() + skew * 0.6, y)
             << QPointF(r.right(), r.bottom()) << QPointF(r.left(), r.bottom());
        p.setPen(outline(folderBack.darker(170)));
        p.setBrush(folderFront);
        p.drawPolygon(flap);
    } else {
        p.setPen(outline(folderBack.darker(170)));
        p.setBrush(folderFront);
        p.drawRect(QRectF(r.left(), r.top() + tabH * 2.2, r.width(), r.height() - tabH * 2.2));
    }
}

void IconShapes::page(QPainter& p, const QRectF& r)
{
    const qreal ear = qMin(r.width(), r.height()) * 0.3;
    QPainterPath sheet;
    sheet.moveTo(r.topLeft());
    sheet.lineTo(r.right() - ear, r.top());
    sheet.lineTo(r.right(), r.top() + ear);
    sheet.lineTo(r.bottomRight());
    sheet.lineTo(r.bottomLeft());
    sheet.closeSubpath();
    p.setPen(outline(ink));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    QPolygonF fold;
    fold << QPointF(r.right() - ear, r.top()) << QPointF(r.right() - ear, r.top() + ear)
         << QPointF(r.right(), r.top() + ear);
    p.setBrush(QColor(0xdd, 0xe3, 0xea));
    p.drawPolygon(fold);
}

void IconShapes::photo(QPainter& p, const QRectF& r)
{
    p.setPen(outline(ink));
    p.setBrush(Qt::white);
    p.drawRect(r);
    const QRectF in = r.adjusted(1.5, 1.5, -1.5, -1.5);
    QLinearGradient sky(in.topLeft(), in.bottomLeft());
    sky.setColorAt(0, QColor(0x7f, 0xc0, 0xf5));
    sky.setColorAt(1, QColor(0xd6, 0xed, 0xff));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRect(in);
    p.setBrush(QColor(0xff, 0xc8, 0x2e));
    const qreal s = qMin(in.width(), in.height());
    p.drawEllipse(QPointF(in.left() + in.width() * 0.72, in.top() + in.height() * 0.3), s * 0.13, s * 0.13);
    QPolygonF hills;
    hills << in.bottomLeft() << QPointF(in.left(), in.bottom() - in.height() * 0.25)
          << QPointF(in.left() + in.width() * 0.35, in.top() + in.height() * 0.4)
          << QPointF(in.left() + in.width() * 0.6, in.bottom() - in.height() * 0.3)
          << QPointF(in.left() + in.width() * 0.75, in.bottom() - in.height() * 0.45)
          << QPointF(in.right(), in.bottom() - in.height() * 0.15) << in.bottomRight();
    p.setBrush(QColor(0x3f, 0x9a, 0x4a));
    p.drawPolygon(hills);
}

void IconShapes::floppy(QPainter& p, const QRectF& r)
{
    const qreal cut = r.width() * 0.14;
    QPainterPath body;
    body.moveTo(r.topLeft());
    body.lineTo(r.right() - cut, r.top());
    body.lineTo(r.right(), r.top() + cut);
    body.lineTo(r.bottomRight());
    body.lineTo(r.bottomLeft());
    body.closeSubpath();
    p.setPen(outline(QColor(0x1d, 0x46, 0x7a)));
    p.setBrush(QColor(0x2f, 0x6f, 0xb8));
    p.drawPath(body);

    // Metal shutter with its slot.
    const QRectF shutter(r.left() + r.width() * 0.24, r.top(), r.width() * 0.5, r.height() * 0.34);
    p.setBrush(QColor(0xd9, 0xdf, 0xe6));
    p.drawRect(shutter);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1d, 0x46, 0x7a));
    p.drawRect(QRectF(shutter.right() - shutter.width() * 0.34, shutter.top() + shutter.height() * 0.2,
                      shutter.width() * 0.2, shutter.height() * 0.6));

    // Label with ruled lines.
    const QRectF label(r.left() + r.width() * 0.14, r.top() + r.height() * 0.5, r.width() * 0.72,
                       r.height() * 0.5);
    p.setPen(outline(QColor(0x1d, 0x46, 0x7a)));
    p.setBrush(Qt::white);
    p.drawRect(label);
    p.setPen(outline(QColor(0xa8, 0xb4, 0xc0), 0.8));
    for (int i = 1; i <= 2; ++i) {
        const qreal y = label.top() + label.height() * i / 3.0;
        p.drawLine(QPointF(label.left() + 2, y), QPointF(label.right() - 2, y));
    }
}

void IconShapes::camera(QPainter& p, const QRectF& body)
{
    const qreal h = body.height();
    p.setPen(outline(ink));
    p.setBrush(QColor(0x4a, 0x55, 0x63));
    p.drawRect(QRectF(body.left() + body.width() * 0.15, body.top() - h * 0.18, body.width() * 0.3, h * 0.22));
    p.drawRoundedRect(body, 1.5, 1.5);
    const QPointF c(body.center().x() + body.width() * 0.06, body.center().y() + h * 0.04);
    p.setBrush(QColor(0xc9, 0xdb, 0xef));
    p.drawEllipse(c, h * 0.32, h * 0.32);
    p.setBrush(QColor(0x1b, 0x26, 0x33));
    p.drawEllipse(c, h * 0.16, h * 0.16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xd0, 0x40));
    p.drawEllipse(QPointF(body.right() - body.width() * 0.14, body.top() + h * 0.22), h * 0.08, h * 0.08);
}

void IconShapes::pencil(QPainter& p, const QPointF& tip, qreal angleDeg, qreal length)
{
    p.save();
    p.translate(tip);
    p.rotate(-angleDeg);
    // In local coordinates the pencil runs along +x from its point at the origin.
    const qreal w = 2.6, cone = 5.0;
    const QColor edge(0x5a, 0x3c, 0x12);
    p.setPen(outline(edge, 0.8));
    QPolygonF wood;
    wood << QPointF(0, 0) << QPointF(cone, -w) << QPointF(cone, w);
    p.setBrush(QColor(0xf1, 0xd3, 0xa2));
    p.drawPolygon(wood);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    QPolygonF lead;
    lead << QPointF(0, 0) << QPointF(1.8, -w * 0.36) << QPointF(1.8, w * 0.36);
    p.drawPolygon(lead);
    p.setPen(outline(edge, 0.8));
    p.setBrush(QColor(0xf5, 0xb0, 0x1c));
    p.drawRect(QRectF(cone, -w, length - cone - 4.5, 2 * w));
    p.setPen(outline(QColor(0xd9, 0x8a, 0x0a), 0.7));
    p.drawLine(QPointF(cone, 0), QPointF(length - 4.5, 0));
    p.setPen(outline(edge, 0.8));
    p.setBrush(QColor(0xb8, 0xc0, 0xc8));
    p.drawRect(QRectF(length - 4.5, -w, 1.6, 2 * w));
    p.setBrush(QColor(0xf0, 0x8a, 0x9a));
    p.drawRoundedRect(QRectF(length - 2.9, -w, 2.9, 2 * w), 1.0, 1.0);
    p.restore();
}

void IconShapes::badge(QPainter& p, const QPointF& centre, qreal radius, const QColor& colour, Glyph glyph)
{
    p.setPen(QPen(Qt::white, 1.2));
    p.setBrush(colour);
    p.drawEllipse(centre, radius, radius);
    p.setPen(QPen(Qt::white, radius * 0.42, Qt::SolidLine, Qt::FlatCap));
    const qreal a = radius * 0.55;
    p.drawLine(centre - QPointF(a, 0), centre + QPointF(a, 0));
    if (glyph == Glyph::Plus)
        p.drawLine(centre - QPointF(0, a), centre + QPointF(0, a));
}

void IconShapes::arrowHead(QPainter& p, const QPointF& tip, qreal directionDeg, qreal size, const QColor& colour)
{
    QPolygonF head;
    head << tip << polar(tip, size, directionDeg + 180 - 32) << polar(tip, size * 0.55, directionDeg + 180)
         << polar(tip, size, directionDeg + 180 + 32);
    p.setPen(outline(colour.darker(140), 0.8));
    p.setBrush(colour);
    p.drawPolygon(head);
}

void IconShapes::arrow(QPainter& p, const QPointF& from, const QPointF& to, qreal shaft, qreal head,
                       const QColor& colour)
{
    const QLineF line(from, to);
    const qreal deg = line.angle();
    const qreal headLen = head * 0.9;
    const QPointF neck = polar(to, headLen, deg + 180);
    const QPointF n = polar(QPointF(0, 0), 1, deg + 90);
    QPolygonF poly;
    poly << from + n * shaft / 2 << neck + n * shaft / 2 << neck + n * head / 2 << to << neck - n * head / 2
         << neck - n * shaft / 2 << from - n * shaft / 2;
    p.setPen(outline(colour.darker(150)));
    p.setBrush(colour);
    p.drawPolygon(poly);
}

void IconShapes::arcArrow(QPainter& p, const QPointF& centre, qreal radius, qreal startDeg, qreal spanDeg,
                          qreal width, const QColor& colour)
{
    const qreal headSize = width * 3.4;
    const qreal sign = spanDeg < 0 ? -1 : 1;
    // The head spans a chord of the circle ending at the tip; the stroke stops
    // inside the head so the point stays sharp.
    const qreal headDeg = qRadiansToDegrees(headSize * 0.9 / radius) * sign;
    const qreal endDeg = startDeg + spanDeg;
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    QPainterPath arc;
    arc.arcMoveTo(box, startDeg);
    arc.arcTo(box, startDeg, spanDeg - headDeg * 0.6);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(colour.darker(150), width + 1.6, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(arc);
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(arc);
    const QPointF tip = polar(centre, radius, endDeg);
    const QPointF base = polar(centre, radius, endDeg - headDeg);
    arrowHead(p, tip, QLineF(base, tip).angle(), headSize, colour);
}

void IconShapes::cube(QPainter& p, const QPointF& o, qreal s, qreal d, Face highlight)
{
    const QPointF f0 = o, f1 = o + QPointF(s, 0), f2 = o + QPointF(s, s), f3 = o + QPointF(0, s);
    const QPointF off(d, -d);
    const QPointF b0 = f0 + off, b1 = f1 + off, b2 = f2 + off, b3 = f3 + off;
    auto quad = [](QPointF a, QPointF b, QPointF c, QPointF e) {
        QPolygonF q;
        q << a << b << c << e;
        return q;
    };
    const QPolygonF front = quad(f0, f1, f2, f3), back = quad(b0, b1, b2, b3);
    const QPolygonF top = quad(f0, f1, b1, b0), bottom = quad(f3, f2, b2, b3);
    const QPolygonF right = quad(f1, b1, b2, f2), left = quad(f0, b0, b3, f3);

    // A far face keeps a crisp outline so it still reads when scaled to 16 px.
    p.setPen(outline(orange.darker(130), 1.0));
    p.setBrush(orange);
    if (highlight == Face::Back)
        p.drawPolygon(back);
    else if (highlight == Face::Bottom)
        p.drawPolygon(bottom);
    else if (highlight == Face::Left)
        p.drawPolygon(left);

    // Hidden edges: the three meeting at the far bottom-left corner.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(grey, 1.0, Qt::DashLine));
    p.drawLine(b3, b0);
    p.drawLine(b3, b2);
    p.drawLine(b3, f3);

    // Near faces are translucent so a highlighted far face shows through.
    const QColor glass(0xdc, 0xe8, 0xf5, 95);
    const QColor glassTop(0xf2, 0xf7, 0xfc, 95);
    const QColor glassSide(0xb8, 0xcc, 0xe2, 95);
    p.setPen(Qt::NoPen);
    p.setBrush(highlight == Face::Top ? orange : glassTop);
    p.drawPolygon(top);
    p.setBrush(highlight == Face::Right ? orange.darker(115) : glassSide);
    p.drawPolygon(right);
    p.setBrush(highlight == Face::Front ? orange : glass);
    p.drawPolygon(front);

    p.setBrush(Qt::NoBrush);
    p.setPen(outline(ink, 1.2));
    p.drawPolygon(front);
    p.drawPolyline(QPolygonF() << f0 << b0 << b1 << b2 << f2);
    p.drawLine(f1, b1);
}

void IconShapes::frustum(QPainter& p, const QPointF& apex, const QPolygonF& base, const QColor& colour)
{
    QColor fill = colour;
    fill.setAlpha(70);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    for (int i = 0; i < base.size(); ++i) {
        QPolygonF side;
        side << apex << base[i] << base[(i + 1) % base.size()];
        p.drawPolygon(side);
    }
    p.setPen(outline(colour.darker(130), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(base);
    for (const QPointF& c : base)
        p.drawLine(apex, c);
}

void IconShapes::magnifier(QPainter& p, Glyph glyph)
{
    const QPointF c(13, 13);
    const qreal r = 9.5;
    p.setPen(QPen(QColor(0x4a, 0x34, 0x22), 5.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(polar(c, r + 3, -45), QPointF(28.5, 28.5));
    p.setPen(QPen(QColor(0x8a, 0x5a, 0x32), 3.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(polar(c, r + 3.5, -45), QPointF(28.2, 28.2));
    QRadialGradient glass(c - QPointF(3, 3), r * 1.4);
    glass.setColorAt(0, Qt::white);
    glass.setColorAt(1, QColor(0xc4, 0xdc, 0xf4));
    p.setPen(QPen(QColor(0x55, 0x62, 0x70), 2.4));
    p.setBrush(glass);
    p.drawEllipse(c, r, r);

    const qreal a = 5.2;
    p.setPen(QPen(ink, 2.4, Qt::SolidLine, Qt::RoundCap));
    switch (glyph) {
    case Glyph::Plus:
        p.drawLine(c - QPointF(a, 0), c + QPointF(a, 0));
        p.drawLine(c - QPointF(0, a), c + QPointF(0, a));
        break;
    case Glyph::Minus:
        p.drawLine(c - QPointF(a, 0), c + QPointF(a, 0));
        break;
    case Glyph::OneToOne:
        // Drawn as strokes: a font "1:1" blurs into a smudge at 32 px.
        p.setPen(QPen(ink, 1.8, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(9.2, 8.6), QPointF(9.2, 17.6));
        p.drawLine(QPointF(16.8, 8.6), QPointF(16.8, 17.6));
        p.setPen(QPen(ink, 1.0, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(9.2, 8.6), QPointF(7.6, 10.0));
        p.drawLine(QPointF(16.8, 8.6), QPointF(15.2, 10.0));
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawEllipse(QPointF(13, 10.8), 1.1, 1.1);
        p.drawEllipse(QPointF(13, 15.4), 1.1, 1.1);
        break;
    case Glyph::Target:
        p.setPen(outline(ink, 1.0));
        p.setBrush(orange);
        p.drawRect(QRectF(c.x() - 3.5, c.y() - 3.5, 7, 7));
        cornerBrackets(p, QRectF(c.x() - 6, c.y() - 6, 12, 12), 2.6, blue);
        break;
    }
}

void IconShapes::crosshair(QPainter& p, const QPointF& c, qreal r, const QColor& colour)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(colour, 1.6));
    p.drawEllipse(c, r, r);
    p.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::FlatCap));
    const qreal in = r * 0.45, out = r + 3.5;
    p.drawLine(c + QPointF(in, 0), c + QPointF(out, 0));
    p.drawLine(c - QPointF(in, 0), c - QPointF(out, 0));
    p.drawLine(c + QPointF(0, in), c + QPointF(0, out));
    p.drawLine(c - QPointF(0, in), c - QPointF(0, out));
}

void IconShapes::dashedOutline(QPainter& p, const QPainterPath& path, const QColor& colour)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 1.4));
    p.drawPath(path);
    QPen dash(colour, 1.4, Qt::CustomDashLine, Qt::FlatCap);
    dash.setDashPattern({2.0, 1.5});
    p.setPen(dash);
    p.drawPath(path);
}

void IconShapes::cornerBrackets(QPainter& p, const QRectF& r, qreal arm, const QColor& colour)
{
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(colour, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    const QPointF corners[] = {r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()};
    for (const QPointF& c : corners) {
        const qreal sx = c.x() < r.center().x() ? 1 : -1;
        const qreal sy = c.y() < r.center().y() ? 1 : -1;
        p.drawPolyline(QPolygonF() << c + QPointF(0, sy * arm) << c << c + QPointF(sx * arm, 0));
    }
}

void IconShapes::dots(QPainter& p, const QVector<QPointF>& points, qreal radius, const QColor& colour)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    for (const QPointF& pt : points)
        p.drawEllipse(pt, radius, radius);
}

QVector<QPointF> IconShapes::scatter(quint32 seed, int count, const QRectF& e)
{
    Lcg rng{seed};
    QVector<QPointF> out;
    out.reserve(count);
    while (out.size() < count) {
        const qreal x = rng.next() * 2 - 1, y = rng.next() * 2 - 1;
        if (x * x + y * y > 1)
            continue;
        out << QPointF(e.center().x() + x * e.width() / 2, e.center().y() + y * e.height() / 2);
    }
    return out;
}

QVector<QPointF> IconShapes::jitteredGrid(quint32 seed, int columns, int rows, const QRectF& r, qreal jitter)
{
    Lcg rng{seed};
    QVector<QPointF> out;
    const qreal dx = r.width() / columns, dy = r.height() / rows;
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i)
            out << QPointF(r.left() + (i + 0.5 + (rng.next() - 0.5) * jitter) * dx,
                           r.top() + (j + 0.5 + (rng.next() - 0.5) * jitter) * dy);
    return out;
}
