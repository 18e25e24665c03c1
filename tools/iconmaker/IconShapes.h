#pragma once
#include <QColor>
#include <QPointF>
#include <QPolygonF>
#include <QRectF>
#include <QVector>

class QPainter;
class QPainterPath;

// The building blocks the icons are composed of, drawn on a 32 x 32 unit
// canvas. Each family (cubes, arrows, magnifiers, documents, points) has one
// parametrised routine so related icons stay consistent.
class IconShapes
{
public:
    // One palette for the whole set, so the tool bars read as one family.
    static const QColor ink;
    static const QColor blue;
    static const QColor paleBlue;
    static const QColor orange;
    static const QColor red;
    static const QColor green;
    static const QColor folderBack;
    static const QColor folderFront;
    static const QColor grey;

    enum class Face { None, Front, Back, Left, Right, Top, Bottom };
    enum class Glyph { Plus, Minus, OneToOne, Target };

    static void folder(QPainter& p, const QRectF& r, bool open);
    static void page(QPainter& p, const QRectF& r);
    static void photo(QPainter& p, const QRectF& r);
    static void floppy(QPainter& p, const QRectF& r);
    static void camera(QPainter& p, const QRectF& body);
    static void pencil(QPainter& p, const QPointF& tip, qreal angleDeg, qreal length);
    static void badge(QPainter& p, const QPointF& centre, qreal radius, const QColor& colour, Glyph glyph);

    // A filled arrow with its head at `to`.
    static void arrow(QPainter& p, const QPointF& from, const QPointF& to, qreal shaft, qreal head,
                      const QColor& colour);
    // A stroked arc (angles in degrees, counter-clockwise positive, 0 at 3 o'clock)
    // ending in a head that points along the direction of travel.
    static void arcArrow(QPainter& p, const QPointF& centre, qreal radius, qreal startDeg, qreal spanDeg,
                         qreal width, const QColor& colour);
    static void arrowHead(QPainter& p, const QPointF& tip, qreal directionDeg, qreal size, const QColor& colour);

    // Cabinet-projected cube; the highlighted face is filled, hidden faces show
    // through the translucent near faces.
    static void cube(QPainter& p, const QPointF& frontTopLeft, qreal size, qreal depth, Face highlight);
    static void frustum(QPainter& p, const QPointF& apex, const QPolygonF& base, const QColor& colour);
    static void magnifier(QPainter& p, Glyph glyph);
    static void crosshair(QPainter& p, const QPointF& centre, qreal radius, const QColor& colour);
    static void dashedOutline(QPainter& p, const QPainterPath& path, const QColor& colour);
    static void cornerBrackets(QPainter& p, const QRectF& r, qreal arm, const QColor& colour);

    static void dots(QPainter& p, const QVector<QPointF>& points, qreal radius, const QColor& colour);
    // Deterministic scatter inside an ellipse: the same icon every build.
    static QVector<QPointF> scatter(quint32 seed, int count, const QRectF& ellipse);
    // Jittered grid over a rectangle: evenly spread, so density reads at a glance.
    static QVector<QPointF> jitteredGrid(quint32 seed, int columns, int rows, const QRectF& r, qreal jitter);
};
