#include "IconPainter.h"

#include "IconShapes.h"

#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <functional>

using S = IconShapes;
using Face = IconShapes::Face;
using Glyph = IconShapes::Glyph;

namespace {

using Drawing = std::function<void(QPainter&)>;

QPen pen(const QColor& c, qreal w = 1.0)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QPolygonF poly(std::initializer_list<QPointF> pts)
{
    return QPolygonF(QVector<QPointF>(pts));
}

// Points inside `region` in the highlight colour, the rest in grey, and the
// region's dashed outline: the selection family shares this so "what got
// selected" reads the same everywhere.
void selection(QPainter& p, quint32 seed, const QPainterPath& region)
{
    const QVector<QPointF> pts = S::jitteredGrid(seed, 6, 6, QRectF(2, 2, 28, 28), 0.8);
    QVector<QPointF> in, out;
    for (const QPointF& pt : pts)
        (region.contains(pt) ? in : out) << pt;
    S::dots(p, out, 1.2, S::grey);
    S::dots(p, in, 1.5, S::orange);
    S::dashedOutline(p, region, S::ink);
}

void pointer(QPainter& p, const QPointF& tip)
{
    QPolygonF arrow = poly({{0, 0}, {0, 11}, {2.8, 8.4}, {4.8, 12.6}, {6.6, 11.7}, {4.7, 7.7}, {8.4, 7.7}});
    arrow.translate(tip);
    p.setPen(pen(Qt::black, 1.0));
    p.setBrush(Qt::white);
    p.drawPolygon(arrow);
}

void plane(QPainter& p, qreal y, qreal alpha)
{
    QColor fill = S::blue;
    fill.setAlpha(int(alpha));
    p.setPen(pen(S::blue.darker(130), 1.0));
    p.setBrush(fill);
    p.drawPolygon(poly({{2, y + 4}, {9, y - 3}, {30, y - 3}, {23, y + 4}}));
}

void rotateIcon(QPainter& p, bool clockwise)
{
    S::photo(p, QRectF(10.5, 11.5, 11, 9));
    if (clockwise)
        S::arcArrow(p, QPointF(16, 16), 10.5, 210, -260, 2.4, S::blue);
    else
        S::arcArrow(p, QPointF(16, 16), 10.5, -30, 260, 2.4, S::blue);
}

void cloudShape(QPainterPath& path)
{
    path.addEllipse(QPointF(10, 19), 6.5, 6.5);
    path.addEllipse(QPointF(17, 13), 8, 8);
    path.addEllipse(QPointF(24, 18), 6, 6);
    path.addRoundedRect(QRectF(4, 17, 26, 9.5), 4.5, 4.5);
    path.setFillRule(Qt::WindingFill);
    path = path.simplified();
}

QPainterPath strokeShape(const QPainterPath& centreLine, qreal width)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(centreLine).simplified();
}

const QHash<QString, Drawing>& drawings()
{
    static const QHash<QString, Drawing> table = {
        // ---- files and documents -------------------------------------------------
        {"open", [](QPainter& p) { S::folder(p, QRectF(2.5, 6.5, 25, 20), true); }},
        {"new", [](QPainter& p) { S::page(p, QRectF(7.5, 3.5, 17, 25)); }},
        {"save", [](QPainter& p) { S::floppy(p, QRectF(4.5, 4.5, 23, 23)); }},
        {"saveas",
         [](QPainter& p) {
             S::floppy(p, QRectF(2.5, 2.5, 21, 21));
             S::pencil(p, QPointF(15, 29), 45, 18);
         }},
        {"print",
         [](QPainter& p) {
             p.setPen(pen(S::ink));
             p.setBrush(Qt::white);
             p.drawRect(QRectF(8.5, 3.5, 15, 10));
             p.setBrush(QColor(0x9a, 0xa6, 0xb2));
             p.drawRoundedRect(QRectF(2.5, 11.5, 27, 12), 2, 2);
             p.setBrush(QColor(0x5c, 0x68, 0x74));
             p.drawRect(QRectF(6.5, 19.5, 19, 3));
             p.setBrush(Qt::white);
             p.drawRect(QRectF(8.5, 21.5, 15, 8));
             p.setPen(pen(S::grey, 0.8));
             p.drawLine(QPointF(10.5, 24.5), QPointF(21.5, 24.5));
             p.drawLine(QPointF(10.5, 27), QPointF(18.5, 27));
             p.setPen(Qt::NoPen);
             p.setBrush(S::green);
             p.drawEllipse(QPointF(25.5, 15.5), 1.4, 1.4);
         }},
        {"property",
         [](QPainter& p) {
             S::page(p, QRectF(5.5, 3.5, 21, 25));
             for (int i = 0; i < 4; ++i) {
                 const qreal y = 10.5 + i * 4.6;
                 p.setPen(Qt::NoPen);
                 p.setBrush(i == 1 ? S::orange : S::blue);
                 p.drawRect(QRectF(8.5, y - 1.2, 4.5, 2.4));
                 p.setPen(pen(S::grey, 1.4));
                 p.drawLine(QPointF(15, y), QPointF(i % 2 ? 20.5 : 23.5, y));
             }
         }},
        {"movetofolder",
         [](QPainter& p) {
             S::folder(p, QRectF(2.5, 13.5, 27, 16), false);
             QPainterPath curve;
             curve.moveTo(4, 4.5);
             curve.quadTo(18, 1.5, 20, 14);
             p.setBrush(Qt::NoBrush);
             p.setPen(QPen(S::green.darker(150), 4.4, Qt::SolidLine, Qt::FlatCap));
             p.drawPath(curve);
             p.setPen(QPen(S::green, 2.8, Qt::SolidLine, Qt::FlatCap));
             p.drawPath(curve);
             S::arrowHead(p, QPointF(20.3, 21), -84, 8, S::green);
         }},
        {"export",
         [](QPainter& p) {
             p.setPen(QPen(S::ink, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
             p.setBrush(Qt::NoBrush);
             p.drawPolyline(poly({{13, 13}, {4, 13}, {4, 28}, {24, 28}, {24, 20}}));
             S::arrow(p, QPointF(10, 22), QPointF(29, 4), 3.6, 10, S::green);
         }},
        {"Project",
         [](QPainter& p) {
             S::folder(p, QRectF(2.5, 2.5, 13, 10), false);
             p.setPen(pen(S::ink, 1.2));
             p.setBrush(Qt::NoBrush);
             p.drawPolyline(poly({{7.5, 13}, {7.5, 26.5}, {13, 26.5}}));
             p.drawLine(QPointF(7.5, 18.5), QPointF(13, 18.5));
             for (const qreal y : {18.5, 26.5}) {
                 p.setPen(pen(S::blue.darker(140)));
                 p.setBrush(S::paleBlue);
                 p.drawRect(QRectF(13.5, y - 3, 5, 6));
                 p.setPen(pen(S::grey, 1.6));
                 p.drawLine(QPointF(21, y), QPointF(29, y));
             }
         }},
        {"general",
         [](QPainter& p) {
             p.setPen(pen(S::blue.darker(150)));
             p.setBrush(S::blue);
             p.drawEllipse(QPointF(16, 16), 13, 13);
             p.setPen(Qt::NoPen);
             p.setBrush(Qt::white);
             p.drawEllipse(QPointF(16, 9.5), 2.2, 2.2);
             p.drawRoundedRect(QRectF(14, 13.5, 4, 11.5), 1.2, 1.2);
         }},
        {"settings",
         [](QPainter& p) {
             QPainterPath gear;
             gear.addEllipse(QPointF(16, 16), 10, 10);
             for (int i = 0; i < 8; ++i) {
                 QTransform t;
                 t.translate(16, 16);
                 t.rotate(i * 45);
                 QPainterPath tooth;
                 tooth.addRoundedRect(QRectF(-3, -14.5, 6, 6), 1, 1);
                 gear = gear.united(t.map(tooth));
             }
             QPainterPath hole;
             hole.addEllipse(QPointF(16, 16), 4.2, 4.2);
             gear = gear.subtracted(hole);
             p.setPen(pen(S::ink, 1.2));
             p.setBrush(QColor(0x7d, 0x8b, 0x9a));
             p.drawPath(gear);
             p.setBrush(Qt::NoBrush);
             p.setPen(pen(QColor(0xb8, 0xc3, 0xce), 1.2));
             p.drawEllipse(QPointF(16, 16), 7.2, 7.2);
         }},

        // ---- edit and navigation arrows ---------------------------------------
        {"undo",
         [](QPainter& p) {
             QPainterPath hook;
             hook.moveTo(11, 25.5);
             hook.lineTo(18.5, 25.5);
             hook.arcTo(QRectF(11, 10.5, 15, 15), -90, 180);
             hook.lineTo(11, 10.5);
             p.setBrush(Qt::NoBrush);
             p.setPen(QPen(S::blue.darker(150), 5.2, Qt::SolidLine, Qt::FlatCap));
             p.drawPath(hook);
             p.setPen(QPen(S::blue, 3.6, Qt::SolidLine, Qt::FlatCap));
             p.drawPath(hook);
             S::arrowHead(p, QPointF(2.5, 10.5), 180, 10, S::blue);
         }},
        {"next", [](QPainter& p) { S::arrow(p, QPointF(3, 16), QPointF(29, 16), 8, 18, S::green); }},
        {"previous", [](QPainter& p) { S::arrow(p, QPointF(29, 16), QPointF(3, 16), 8, 18, S::green); }},
        {"rotateleft", [](QPainter& p) { rotateIcon(p, false); }},
        {"rotateright", [](QPainter& p) { rotateIcon(p, true); }},
        {"rotateCheck",
         [](QPainter& p) {
             S::arcArrow(p, QPointF(16, 16), 11, 110, -290, 2.4, S::blue);
             p.setBrush(Qt::NoBrush);
             p.setPen(QPen(S::green.darker(140), 4.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
             p.drawPolyline(poly({{10, 16.5}, {14.5, 21}, {22, 11.5}}));
             p.setPen(QPen(S::green, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
             p.drawPolyline(poly({{10, 16.5}, {14.5, 21}, {22, 11.5}}));
         }},
        {"Sensors",
         [](QPainter& p) {
             // Three sensor nodes in their temperature colours, one sending.
             p.setBrush(Qt::NoBrush);
             p.setPen(pen(S::blue, 1.6));
             for (qreal r : {7.0, 10.5})
                 p.drawArc(QRectF(16 - r, 11 - r, 2 * r, 2 * r), 50 * 16, 80 * 16);
             const QPointF nodes[] = {{16, 11}, {7, 24}, {25, 24}};
             const QColor colours[] = {QColor(255, 230, 0), S::orange, S::red};
             p.setPen(pen(S::grey, 1.0));
             p.drawLine(nodes[0], nodes[1]);
             p.drawLine(nodes[0], nodes[2]);
             p.drawLine(nodes[1], nodes[2]);
             for (int i = 0; i < 3; ++i) {
                 p.setPen(pen(colours[i].darker(160), 1.0));
                 p.setBrush(colours[i]);
                 p.drawEllipse(nodes[i], 4, 4);
             }
         }},
        {"SwitchManipulator",
         [](QPainter& p) {
             const QPointF c(16, 16);
             for (const QPointF& d : {QPointF(1, 0), QPointF(-1, 0), QPointF(0, 1), QPointF(0, -1)})
                 S::arrow(p, c + d * 3, c + d * 14.5, 3.2, 9, S::blue);
             p.setPen(pen(S::ink));
             p.setBrush(Qt::white);
             p.drawEllipse(c, 3.6, 3.6);
         }},
        {"fullScreen",
         [](QPainter& p) {
             p.setPen(pen(S::grey, 1.2));
             p.setBrush(S::paleBlue);
             p.drawRect(QRectF(8.5, 9.5, 15, 13));
             const QPointF c(16, 16);
             for (const QPointF& d : {QPointF(1, 1), QPointF(-1, 1), QPointF(1, -1), QPointF(-1, -1)})
                 S::arrow(p, c + QPointF(d.x() * 5, d.y() * 4), c + d * 14, 2.6, 8, S::blue);
         }},

        // ---- adding and removing ------------------------------------------------
        {"add",
         [](QPainter& p) {
             QPainterPath plus;
             plus.addRoundedRect(QRectF(4, 12.5, 24, 7), 1.5, 1.5);
             plus.addRoundedRect(QRectF(12.5, 4, 7, 24), 1.5, 1.5);
             plus.setFillRule(Qt::WindingFill);
             p.setPen(pen(S::green.darker(150), 1.2));
             p.setBrush(S::green);
             p.drawPath(plus.simplified());
         }},
        {"Add",
         [](QPainter& p) {
             S::photo(p, QRectF(2.5, 4.5, 22, 18));
             S::badge(p, QPointF(23.5, 23.5), 7.5, S::green, Glyph::Plus);
         }},
        {"delete",
         [](QPainter& p) {
             QPainterPath cross;
             cross.moveTo(7, 7);
             cross.lineTo(25, 25);
             cross.moveTo(25, 7);
             cross.lineTo(7, 25);
             p.setPen(pen(S::red.darker(150), 1.2));
             p.setBrush(S::red);
             p.drawPath(strokeShape(cross, 6.5));
         }},
        {"abort",
         [](QPainter& p) {
             QPolygonF octagon;
             for (int i = 0; i < 8; ++i) {
                 QTransform t;
                 t.rotate(22.5 + i * 45);
                 octagon << QPointF(16, 16) + t.map(QPointF(13.5, 0));
             }
             p.setPen(pen(S::red.darker(160), 1.2));
             p.setBrush(S::red);
             p.drawPolygon(octagon);
             p.setPen(Qt::NoPen);
             p.setBrush(Qt::white);
             p.drawRoundedRect(QRectF(10, 10, 12, 12), 1.5, 1.5);
         }},

        // ---- view cube -----------------------------------------------------------
        {"ViewFront", [](QPainter& p) { S::cube(p, QPointF(4.5, 11.5), 16, 8, Face::Front); }},
        {"ViewBack", [](QPainter& p) { S::cube(p, QPointF(4.5, 11.5), 16, 8, Face::Back); }},
        {"ViewLeft", [](QPainter& p) { S::cube(p, QPointF(4.5, 11.5), 16, 8, Face::Left); }},
        {"ViewRight", [](QPainter& p) { S::cube(p, QPointF(4.5, 11.5), 16, 8, Face::Right); }},
        {"ViewTop", [](QPainter& p) { S::cube(p, QPointF(4.5, 11.5), 16, 8, Face::Top); }},
        {"ViewBottom", [](QPainter& p) { S::cube(p, QPointF(4.5, 11.5), 16, 8, Face::Bottom); }},
        {"ViewAll",
         [](QPainter& p) {
             S::cube(p, QPointF(8.5, 13.5), 11, 5.5, Face::None);
             S::cornerBrackets(p, QRectF(2, 2, 28, 28), 6, S::blue);
         }},
        {"ViewCameraPerspective",
         [](QPainter& p) {
             S::frustum(p, QPointF(9, 16), poly({{22, 4.5}, {29.5, 8.5}, {29.5, 27.5}, {22, 23.5}}), S::blue);
             S::camera(p, QRectF(1.5, 12.5, 9, 7));
         }},
        {"ViewBookmark",
         [](QPainter& p) {
             const QPolygonF ribbon = poly({{8.5, 2.5}, {23.5, 2.5}, {23.5, 29.5}, {16, 22}, {8.5, 29.5}});
             p.setPen(pen(S::red.darker(160), 1.2));
             p.setBrush(S::red);
             p.drawPolygon(ribbon);
             p.setPen(Qt::NoPen);
             p.setBrush(QColor(255, 255, 255, 90));
             p.drawRect(QRectF(11, 3, 3, 21));
             // A small star marks it as a saved place rather than a flag.
             QPolygonF star;
             for (int i = 0; i < 10; ++i) {
                 QTransform t;
                 t.rotate(-90 + i * 36);
                 star << QPointF(16, 11.5) + t.map(QPointF(i % 2 ? 2.0 : 4.6, 0));
             }
             p.setBrush(QColor(0xff, 0xe0, 0x6a));
             p.drawPolygon(star);
         }},

        // ---- zoom ----------------------------------------------------------------
        {"zoomin", [](QPainter& p) { S::magnifier(p, Glyph::Plus); }},
        {"zoomout", [](QPainter& p) { S::magnifier(p, Glyph::Minus); }},
        {"zoomactual", [](QPainter& p) { S::magnifier(p, Glyph::OneToOne); }},
        {"zoomTo", [](QPainter& p) { S::magnifier(p, Glyph::Target); }},

        // ---- point clouds and reconstructions -------------------------------------
        {"sparse",
         [](QPainter& p) {
             const QVector<QPointF> pts = S::jitteredGrid(7, 4, 4, QRectF(3, 3, 26, 26), 0.9);
             S::dots(p, pts, 2.0, S::blue.darker(120));
         }},
        {"dense",
         [](QPainter& p) {
             const QVector<QPointF> pts = S::jitteredGrid(11, 13, 13, QRectF(3, 3, 26, 26), 0.7);
             for (const QPointF& pt : pts) {
                 // Shade by height so the dense cloud reads as a surface.
                 const qreal t = (pt.y() - 3) / 26;
                 S::dots(p, {pt}, 0.85, QColor::fromHsvF(0.33 - 0.25 * t, 0.75, 0.55 + 0.25 * t));
             }
         }},
        {"clouds",
         [](QPainter& p) {
             // A mound coloured by height, the way the scene shows a cloud without colours.
             for (const QPointF& pt : S::scatter(23, 190, QRectF(2, 5, 28, 46))) {
                 if (pt.y() > 29)
                     continue;
                 const qreal t = qBound(0.0, (29 - pt.y()) / 24, 1.0);
                 S::dots(p, {pt}, 0.95, QColor::fromHsvF(0.66 * (1 - t), 0.85, 0.9));
             }
         }},
        {"cloud point",
         [](QPainter& p) {
             QPainterPath cloud;
             cloudShape(cloud);
             p.setPen(pen(S::blue.darker(130), 1.2));
             p.setBrush(S::paleBlue);
             p.drawPath(cloud);
             QVector<QPointF> inside;
             for (const QPointF& pt : S::jitteredGrid(5, 7, 5, QRectF(4, 6, 26, 20), 0.8))
                 if (cloud.contains(pt) && cloud.translated(0, -1.5).contains(pt))
                     inside << pt;
             S::dots(p, inside, 1.1, S::blue.darker(130));
         }},
        {"mesh",
         [](QPainter& p) {
             // A gently warped triangulated sheet, shaded per triangle.
             QPointF v[4][4];
             for (int i = 0; i < 4; ++i)
                 for (int j = 0; j < 4; ++j)
                     v[i][j] = QPointF(3 + j * 8 + (3 - i) * 1.2, 5 + i * 7.3 + ((i + j) % 2 ? -1.6 : 1.2));
             p.setPen(pen(QColor(0x1f, 0x6b, 0x3a), 1.0));
             for (int i = 0; i < 3; ++i)
                 for (int j = 0; j < 3; ++j) {
                     const qreal shade = 0.55 + 0.12 * ((i * 3 + j) % 3);
                     p.setBrush(QColor::fromHsvF(0.36, 0.45, shade + 0.2));
                     p.drawPolygon(poly({v[i][j], v[i][j + 1], v[i + 1][j]}));
                     p.setBrush(QColor::fromHsvF(0.36, 0.5, shade + 0.1));
                     p.drawPolygon(poly({v[i][j + 1], v[i + 1][j + 1], v[i + 1][j]}));
                 }
         }},
        {"Bundle",
         [](QPainter& p) {
             S::dots(p, S::scatter(31, 30, QRectF(3, 18.5, 26, 11.5)), 1.15, S::ink);
             const qreal xs[] = {6.5, 16, 25.5};
             for (int k = 0; k < 3; ++k) {
                 const qreal x = xs[k], y = k == 1 ? 1.5 : 3.5;
                 S::frustum(p, QPointF(x, y),
                            poly({{x - 5, y + 8}, {x + 5, y + 8}, {x + 3.6, y + 12}, {x - 3.6, y + 12}}),
                            k == 1 ? S::orange : S::blue);
             }
         }},
        {"3D_Scanning",
         [](QPainter& p) {
             QRadialGradient shade(QPointF(17, 17), 12);
             shade.setColorAt(0, QColor(0xee, 0xf1, 0xf4));
             shade.setColorAt(1, QColor(0x80, 0x8c, 0x99));
             p.setPen(pen(S::ink, 1.0));
             p.setBrush(shade);
             p.drawEllipse(QPointF(20, 20), 9.5, 9.5);
             // Laser fan from the scanner head sweeping one line across the object.
             QColor beam = S::red;
             beam.setAlpha(110);
             p.setPen(Qt::NoPen);
             p.setBrush(beam);
             p.drawPolygon(poly({{6, 7}, {12, 26}, {29, 13}}));
             p.setPen(QPen(S::red, 1.6));
             p.setBrush(Qt::NoBrush);
             QPainterPath stripe;
             stripe.moveTo(12, 26);
             stripe.quadTo(19, 24, 29, 13);
             p.drawPath(stripe);
             p.setPen(pen(S::ink));
             p.setBrush(QColor(0x4a, 0x55, 0x63));
             p.drawRoundedRect(QRectF(1.5, 2.5, 8, 6), 1, 1);
             p.setPen(Qt::NoPen);
             p.setBrush(S::red);
             p.drawEllipse(QPointF(6.5, 7), 1.3, 1.3);
         }},
        {"findSphere",
         [](QPainter& p) {
             QRadialGradient shade(QPointF(12.5, 12), 14);
             shade.setColorAt(0, QColor(0xe8, 0xf3, 0xff));
             shade.setColorAt(1, S::blue.darker(130));
             p.setPen(Qt::NoPen);
             p.setBrush(shade);
             p.drawEllipse(QPointF(16, 16), 10, 10);
             QPainterPath fit;
             fit.addEllipse(QPointF(16, 16), 12.5, 12.5);
             S::dashedOutline(p, fit, S::green.darker(120));
             // Fitted centre and radius, as the tool reports them.
             p.setPen(QPen(S::green.darker(140), 1.4, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(16, 16), QPointF(24.8, 7.2));
             p.setPen(pen(S::green.darker(160)));
             p.setBrush(S::green);
             p.drawEllipse(QPointF(16, 16), 2.2, 2.2);
         }},

        // ---- selection tools ------------------------------------------------------
        {"SelectBox",
         [](QPainter& p) {
             QPainterPath box;
             box.addRect(QRectF(7.5, 7.5, 17, 17));
             selection(p, 3, box);
         }},
        {"SelectDragging",
         [](QPainter& p) {
             QPainterPath lasso;
             lasso.moveTo(6, 9);
             lasso.cubicTo(10, 1, 24, 3, 24, 11);
             lasso.cubicTo(24, 18, 15, 15, 12, 22);
             lasso.cubicTo(9, 27, 3, 18, 6, 9);
             selection(p, 3, lasso);
             pointer(p, QPointF(19.5, 17.5));
         }},
        {"SelectFromCameraView",
         [](QPainter& p) {
             QPainterPath box;
             box.addRect(QRectF(11.5, 2.5, 18, 14));
             selection(p, 9, box);
             S::camera(p, QRectF(2.5, 19.5, 14, 10));
         }},
        {"singlePoint",
         [](QPainter& p) {
             S::crosshair(p, QPointF(16, 16), 8.5, S::ink);
             p.setPen(pen(S::red.darker(150)));
             p.setBrush(S::red);
             p.drawEllipse(QPointF(16, 16), 2.8, 2.8);
         }},
        {"SelectCoordinate",
         [](QPainter& p) {
             const QPointF o(9, 22);
             S::arrow(p, o, QPointF(29.5, 22), 2.0, 6.5, S::red);
             S::arrow(p, o, QPointF(9, 2), 2.0, 6.5, S::blue);
             S::arrow(p, o, QPointF(22, 10), 2.0, 6.5, S::green);
             p.setPen(pen(S::ink));
             p.setBrush(S::orange);
             p.drawEllipse(o, 3.2, 3.2);
         }},
        {"SelectSlice",
         [](QPainter& p) {
             plane(p, 22, 60);
             const QVector<QPointF> pts = S::jitteredGrid(13, 6, 6, QRectF(3, 2, 26, 28), 0.8);
             QVector<QPointF> in, out;
             for (const QPointF& pt : pts)
                 (pt.y() > 12 && pt.y() < 21 ? in : out) << pt;
             S::dots(p, out, 1.2, S::grey);
             S::dots(p, in, 1.5, S::orange);
             plane(p, 10, 60);
         }},
        {"SliderForSlicingPoint",
         [](QPainter& p) {
             const QVector<QPointF> pts = S::jitteredGrid(17, 6, 3, QRectF(3, 2, 26, 16), 0.8);
             QVector<QPointF> in, out;
             for (const QPointF& pt : pts)
                 (qAbs(pt.y() - 10) < 3 ? in : out) << pt;
             S::dots(p, out, 1.2, S::grey);
             S::dots(p, in, 1.5, S::orange);
             plane(p, 10, 70);
             p.setPen(QPen(S::ink, 2.0, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(4, 25.5), QPointF(28, 25.5));
             p.setPen(pen(S::ink, 1.0));
             for (int i = 0; i <= 4; ++i)
                 p.drawLine(QPointF(4 + i * 6, 28.5), QPointF(4 + i * 6, 30));
             p.setBrush(S::blue);
             p.drawRoundedRect(QRectF(15.5, 21, 5, 9), 1.2, 1.2);
         }},
        {"movePoints",
         [](QPainter& p) {
             S::dots(p, S::jitteredGrid(29, 4, 4, QRectF(2, 2, 28, 28), 0.6), 1.2, S::grey);
             QPainterPath ghost;
             ghost.addEllipse(QPointF(8, 24), 3, 3);
             S::dashedOutline(p, ghost, S::ink);
             S::arrow(p, QPointF(10.5, 21.5), QPointF(20.5, 11.5), 2.4, 7.5, S::blue);
             p.setPen(pen(S::ink));
             p.setBrush(S::orange);
             p.drawEllipse(QPointF(24, 8), 3.2, 3.2);
         }},
        {"SegmentPoints",
         [](QPainter& p) {
             const QVector<QPointF> pts = S::jitteredGrid(37, 7, 7, QRectF(2, 2, 28, 28), 0.7);
             QVector<QPointF> a, b;
             for (const QPointF& pt : pts)
                 if (qAbs(pt.x() + pt.y() - 32) > 2.5)
                     (pt.x() + pt.y() < 32 ? a : b) << pt;
             S::dots(p, a, 1.3, S::blue);
             S::dots(p, b, 1.3, S::orange);
             QPainterPath cut;
             cut.moveTo(30, 2);
             cut.lineTo(2, 30);
             S::dashedOutline(p, cut, S::ink);
         }},
        {"RemoveNoise",
         [](QPainter& p) {
             S::dots(p, S::scatter(41, 40, QRectF(7, 9, 18, 15)), 1.05, S::blue.darker(110));
             p.setPen(QPen(S::red, 1.6, Qt::SolidLine, Qt::RoundCap));
             for (const QPointF& c : {QPointF(4.5, 4.5), QPointF(27, 6), QPointF(4, 27.5), QPointF(27.5, 27)}) {
                 p.drawLine(c - QPointF(2.3, 2.3), c + QPointF(2.3, 2.3));
                 p.drawLine(c - QPointF(2.3, -2.3), c + QPointF(2.3, -2.3));
             }
         }},

        // ---- drawing and editing -----------------------------------------------------
        {"DrawingPoint",
         [](QPainter& p) {
             p.setPen(pen(S::red.darker(150)));
             p.setBrush(S::red);
             p.drawEllipse(QPointF(8, 24), 4, 4);
             S::pencil(p, QPointF(10.5, 21.5), 45, 21);
         }},
        {"DrawPolyline",
         [](QPainter& p) {
             const QPolygonF line = poly({{4, 25}, {11, 9}, {20, 21}, {28, 6}});
             p.setPen(QPen(S::blue, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
             p.setBrush(Qt::NoBrush);
             p.drawPolyline(line);
             p.setPen(pen(S::ink));
             p.setBrush(Qt::white);
             for (const QPointF& v : line)
                 p.drawRect(QRectF(v.x() - 2.2, v.y() - 2.2, 4.4, 4.4));
         }},
        {"drawLine",
         [](QPainter& p) {
             p.setPen(QPen(S::blue, 2.4, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(4, 28), QPointF(14, 18));
             p.setPen(pen(S::ink));
             p.setBrush(Qt::white);
             p.drawEllipse(QPointF(4.5, 27.5), 2.4, 2.4);
             S::pencil(p, QPointF(14, 18), 45, 20);
         }},
        {"draw2Dfeature",
         [](QPainter& p) {
             QPainterPath shape;
             shape.addPolygon(poly({{3, 14}, {13, 6}, {17, 20}, {7, 28}}));
             shape.closeSubpath();
             QColor fill = S::green;
             fill.setAlpha(70);
             p.setPen(Qt::NoPen);
             p.setBrush(fill);
             p.drawPath(shape);
             S::dashedOutline(p, shape, S::green.darker(150));
             S::pencil(p, QPointF(17, 20), 45, 18);
         }},
        {"drawPolyhedron",
         [](QPainter& p) {
             const QPointF apex(15, 3), a(3, 21), b(13, 29), c(29, 22), d(20, 15);
             QColor fill = S::green;
             fill.setAlpha(90);
             p.setPen(QPen(S::green.darker(150), 1.0, Qt::DashLine));
             p.setBrush(Qt::NoBrush);
             p.drawLine(a, d);
             p.drawLine(d, c);
             p.drawLine(apex, d);
             p.setPen(pen(S::green.darker(160), 1.3));
             p.setBrush(fill);
             p.drawPolygon(poly({apex, a, b}));
             p.setBrush(fill.darker(130));
             p.drawPolygon(poly({apex, b, c}));
             p.setPen(pen(S::ink));
             p.setBrush(Qt::white);
             for (const QPointF& v : {apex, a, b, c})
                 p.drawEllipse(v, 1.8, 1.8);
         }},
        {"SnapToFeatures",
         [](QPainter& p) {
             p.save();
             p.translate(19, 13);
             p.rotate(-45 - 180);
             // Horseshoe magnet opening towards the point it attracts.
             QPainterPath u;
             u.moveTo(-5.5, -7);
             u.lineTo(-5.5, 1);
             u.arcTo(QRectF(-5.5, -4.5, 11, 11), 180, 180);
             u.lineTo(5.5, -7);
             const QPainterPath body = strokeShape(u, 5.0);
             p.setPen(pen(S::red.darker(160), 1.0));
             p.setBrush(S::red);
             p.drawPath(body);
             QPainterPath tips;
             tips.addRect(QRectF(-9, -10, 18, 4.5));
             p.setBrush(QColor(0xc8, 0xd0, 0xd8));
             p.drawPath(body.intersected(tips));
             p.restore();
             p.setPen(pen(S::ink));
             p.setBrush(S::blue);
             p.drawEllipse(QPointF(6, 26), 2.8, 2.8);
             p.setPen(QPen(S::grey, 1.0, Qt::SolidLine, Qt::RoundCap));
             p.drawLine(QPointF(9.5, 22.5), QPointF(11, 21));
             p.drawLine(QPointF(6.5, 20.5), QPointF(7.5, 19));
             p.drawLine(QPointF(11.5, 25.5), QPointF(13, 24.5));
         }},
        {"Extrude",
         [](QPainter& p) {
             const QPointF lift(0, -11);
             const QPolygonF foot = poly({{3, 24}, {15, 24}, {21, 19}, {9, 19}});
             p.setPen(QPen(S::grey, 1.0, Qt::DashLine));
             p.setBrush(Qt::NoBrush);
             p.drawPolygon(foot);
             const QPolygonF top = foot.translated(lift);
             p.setPen(pen(S::green.darker(160), 1.1));
             p.setBrush(S::green.darker(115));
             p.drawPolygon(poly({foot[0], foot[1], top[1], top[0]}));
             p.setBrush(S::green.darker(135));
             p.drawPolygon(poly({foot[1], foot[2], top[2], top[1]}));
             p.setBrush(S::green.lighter(135));
             p.drawPolygon(top);
             S::arrow(p, QPointF(26.5, 28), QPointF(26.5, 4), 3.0, 9, S::orange);
         }},
        {"Subtract",
         [](QPainter& p) {
             QPainterPath square, bite;
             square.addRect(QRectF(3.5, 9.5, 18, 18));
             bite.addEllipse(QPointF(21.5, 10.5), 8.5, 8.5);
             p.setPen(pen(S::blue.darker(150), 1.2));
             p.setBrush(S::blue);
             p.drawPath(square.subtracted(bite));
             S::dashedOutline(p, bite, S::grey.darker(120));
             S::badge(p, QPointF(24, 24), 6.5, S::red, Glyph::Minus);
         }},

        // ---- image viewer --------------------------------------------------------------
        {"exifExtract",
         [](QPainter& p) {
             S::photo(p, QRectF(2.5, 3.5, 22, 18));
             // Tag with an eyelet: the metadata carried by the picture.
             const QPolygonF tag = poly({{15.5, 17.5}, {26.5, 17.5}, {30.5, 23.5}, {26.5, 29.5}, {15.5, 29.5}});
             p.setPen(pen(QColor(0x8a, 0x62, 0x12)));
             p.setBrush(S::folderFront);
             p.drawPolygon(tag);
             p.setBrush(Qt::white);
             p.drawEllipse(QPointF(26.2, 23.5), 1.3, 1.3);
             p.setPen(pen(QColor(0x8a, 0x62, 0x12), 1.2));
             p.drawLine(QPointF(18, 21.5), QPointF(23, 21.5));
             p.drawLine(QPointF(18, 25.5), QPointF(22, 25.5));
         }},
        {"displayFeature",
         [](QPainter& p) {
             S::photo(p, QRectF(2.5, 4.5, 27, 23));
             p.setBrush(Qt::NoBrush);
             for (const QPointF& c : {QPointF(8, 10), QPointF(20, 9), QPointF(12, 20), QPointF(24, 21),
                                      QPointF(17, 15)}) {
                 p.setPen(QPen(Qt::white, 2.6));
                 p.drawEllipse(c, 2.6, 2.6);
                 p.setPen(QPen(QColor(0x10, 0xc0, 0x30), 1.4));
                 p.drawEllipse(c, 2.6, 2.6);
             }
         }},
        {"matchPixels",
         [](QPainter& p) {
             S::photo(p, QRectF(1.5, 7.5, 12, 17));
             S::photo(p, QRectF(18.5, 7.5, 12, 17));
             const QPointF l[] = {{5, 11}, {9, 17}, {6, 21}};
             const QPointF r[] = {{23, 12}, {26, 17}, {22, 22}};
             const QColor c[] = {S::red, S::orange, QColor(0xa0, 0x30, 0xd0)};
             for (int i = 0; i < 3; ++i) {
                 p.setPen(QPen(c[i], 1.4));
                 p.drawLine(l[i], r[i]);
                 p.setPen(pen(Qt::white, 0.8));
                 p.setBrush(c[i]);
                 p.drawEllipse(l[i], 1.8, 1.8);
                 p.drawEllipse(r[i], 1.8, 1.8);
             }
         }},
    };
    return table;
}

void placeholder(QPainter& p, const QString& base)
{
    const QColor bg = QColor::fromHsv(int(qHash(base) % 360), 150, 200);
    p.setBrush(bg);
    p.setPen(bg.darker(150));
    p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 5, 5);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRectF(0, 0, 32, 32), Qt::AlignCenter, base.left(2));
}

} // namespace

bool IconPainter::knows(const QString& name)
{
    return drawings().contains(QFileInfo(name).completeBaseName());
}

QImage IconPainter::draw(const QString& name, int size)
{
    const QString base = QFileInfo(name).completeBaseName();
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    // JPEG has no alpha channel: give those a white ground instead of black.
    img.fill(name.endsWith(".jpg", Qt::CaseInsensitive) ? Qt::white : Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    const auto it = drawings().constFind(base);
    if (it != drawings().constEnd())
        (*it)(p);
    else
        placeholder(p, base);
    p.end();
    return img.convertToFormat(QImage::Format_ARGB32);
}
