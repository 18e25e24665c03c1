#include "ui/report/AccuracyReportHtml.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QPainter>
#include <QSaveFile>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

#include "core/georef/AccuracyReport.h"

using namespace QtCharts;

namespace
{

QImage render(QChart* chart)
{
    const int w = AccuracyReportHtml::figureWidth, h = AccuracyReportHtml::figureHeight;
    QGraphicsScene scene; // owns the chart from here on
    chart->setAnimationOptions(QChart::NoAnimation);
    scene.addItem(chart);
    chart->setGeometry(0, 0, w, h);
    if (chart->layout())
        chart->layout()->activate();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    scene.render(&painter, QRectF(0, 0, w, h), QRectF(0, 0, w, h));
    return image;
}

QString fixed(double value, int decimals)
{
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : QStringLiteral("&ndash;");
}

QString metres(double value)
{
    return fixed(value, 3);
}

QByteArray pngBase64(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toBase64();
}

QString figure(const QImage& image, const QString& id, const QString& caption)
{
    return QStringLiteral("<figure id=\"%1\"><img alt=\"%2\" src=\"data:image/png;base64,%3\">"
                          "<figcaption>%2</figcaption></figure>\n")
        .arg(id, caption.toHtmlEscaped(), QString::fromLatin1(pngBase64(image)));
}

QString statisticsRow(const QString& what, const AccuracyStatistics& s)
{
    if (s.count == 0)
        return QStringLiteral("<tr><th>%1</th><td>0</td><td colspan=\"9\">none</td></tr>\n").arg(what);
    return QStringLiteral(
               "<tr class=\"statistics\" data-set=\"%1\"><th>%1</th><td>%2</td><td>%3</td><td>%4</td>"
               "<td>%5</td><td>%6</td><td>%7</td><td>%8</td><td>%9</td><td>%10</td><td>%11</td></tr>\n")
        .arg(what)
        .arg(s.count)
        .arg(metres(s.rmseX), metres(s.rmseY), metres(s.rmseZ), metres(s.rmseHorizontal),
             metres(s.rmseVertical), metres(s.ce90), metres(s.le90), metres(s.ce95))
        .arg(metres(s.le95));
}

} // namespace

QImage AccuracyReportHtml::cameraFigure(const AccuracyReport& report, double* enlarged)
{
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("Camera positions and their GPS residuals"));
    auto* cameras = new QScatterSeries;
    cameras->setName(QStringLiteral("cameras"));
    cameras->setMarkerSize(7);
    double minX = HUGE_VAL, maxX = -HUGE_VAL, minY = HUGE_VAL, maxY = -HUGE_VAL, longest = 0;
    auto extend = [&](double x, double y) {
        minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y),
        maxY = std::max(maxY, y);
    };
    for (const AccuracyReport::Camera& c : report.cameras) {
        cameras->append(c.position.x(), c.position.y());
        extend(c.position.x(), c.position.y());
        if (std::isfinite(c.residual.x()))
            longest = std::max(longest, std::hypot(c.residual.x(), c.residual.y()));
    }
    auto* control = new QScatterSeries;
    control->setName(QStringLiteral("control points"));
    control->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    auto* check = new QScatterSeries;
    check->setName(QStringLiteral("check points"));
    check->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    for (const AccuracyReport::Point& p : report.points) {
        (p.role == QLatin1String("check") ? check : control)->append(p.survey.x(), p.survey.y());
        extend(p.survey.x(), p.survey.y());
    }
    if (!(minX <= maxX)) {
        minX = minY = 0;
        maxX = maxY = 1;
    }
    const double extent = std::max({maxX - minX, maxY - minY, 1e-9});
    // The residuals are metres on a site of hundreds: drawn enlarged so the
    // longest is a tenth of the site.
    const double factor = longest > 0 ? 0.1 * extent / longest : 1;
    if (enlarged)
        *enlarged = factor;
    chart->addSeries(cameras);
    QVector<QLineSeries*> vectors;
    for (const AccuracyReport::Camera& c : report.cameras) {
        if (!std::isfinite(c.residual.x()))
            continue;
        auto* line = new QLineSeries;
        line->append(c.position.x(), c.position.y());
        line->append(c.position.x() + factor * c.residual.x(), c.position.y() + factor * c.residual.y());
        chart->addSeries(line);
        // After adding: the chart's theme colours a series as it comes in.
        line->setPen(QPen(QColor(200, 30, 30), 2));
        vectors << line;
    }
    if (control->count())
        chart->addSeries(control);
    if (check->count())
        chart->addSeries(check);
    auto* ax = new QValueAxis;
    auto* ay = new QValueAxis;
    ax->setTitleText(report.epsg ? QStringLiteral("Easting (m)") : QStringLiteral("X"));
    ay->setTitleText(report.epsg ? QStringLiteral("Northing (m)") : QStringLiteral("Y"));
    ax->setLabelFormat(QStringLiteral("%.1f"));
    ay->setLabelFormat(QStringLiteral("%.1f"));
    // One metre is as long across as up.
    const double half = 0.55 * extent;
    const double cx = 0.5 * (minX + maxX), cy = 0.5 * (minY + maxY);
    const double aspect = double(figureWidth) / figureHeight;
    ax->setRange(cx - half * aspect, cx + half * aspect);
    ay->setRange(cy - half, cy + half);
    chart->addAxis(ax, Qt::AlignBottom);
    chart->addAxis(ay, Qt::AlignLeft);
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(ax);
        s->attachAxis(ay);
    }
    for (QLineSeries* line : vectors)
        for (QLegendMarker* marker : chart->legend()->markers(line))
            marker->setVisible(false);
    return render(chart);
}

QImage AccuracyReportHtml::reprojectionFigure(const AccuracyReport& report)
{
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("Reprojection errors"));
    auto* set = new QBarSet(QStringLiteral("measurements"));
    QStringList categories;
    const AccuracyReport::Histogram& h = report.reprojection;
    for (int i = 0; i < h.counts.size(); ++i) {
        *set << h.counts[i];
        categories << (i + 1 == h.counts.size() ? QStringLiteral("%1+").arg(i * h.binWidth, 0, 'g', 3)
                                                : QString::number(i * h.binWidth, 'g', 3));
    }
    auto* series = new QBarSeries;
    series->setBarWidth(0.95);
    series->append(set);
    chart->addSeries(series);
    auto* ax = new QBarCategoryAxis;
    ax->append(categories);
    ax->setTitleText(QStringLiteral("pixels (bin start)"));
    auto* ay = new QValueAxis;
    ay->setTitleText(QStringLiteral("measurements"));
    ay->setLabelFormat(QStringLiteral("%d"));
    const int most =
        h.counts.isEmpty() ? 1 : std::max(1, *std::max_element(h.counts.begin(), h.counts.end()));
    ay->setRange(0, most);
    chart->addAxis(ax, Qt::AlignBottom);
    chart->addAxis(ay, Qt::AlignLeft);
    series->attachAxis(ax);
    series->attachAxis(ay);
    chart->legend()->hide();
    return render(chart);
}

QRectF AccuracyReportHtml::overlapCell(const AccuracyReport& report, int column, int row)
{
    const AccuracyReport::Overlap& o = report.overlap;
    const QRectF area(40, 36, figureWidth - 140, figureHeight - 60);
    const double size = std::min(area.width() / std::max(1, o.columns), area.height() / std::max(1, o.rows));
    // North up: row 0, the southern one, at the bottom.
    return {area.left() + column * size, area.top() + (o.rows - 1 - row) * size, size, size};
}

QImage AccuracyReportHtml::overlapFigure(const AccuracyReport& report)
{
    QImage image(figureWidth, figureHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const AccuracyReport::Overlap& o = report.overlap;
    painter.drawText(QRect(0, 4, figureWidth, 24), Qt::AlignCenter,
                     QStringLiteral("Photos per ground cell (%1 m); cells seen by fewer than three crossed")
                         .arg(o.cell, 0, 'f', 2));
    if (o.columns <= 0 || o.rows <= 0)
        return image;
    const int most = std::max(3, *std::max_element(o.photos.begin(), o.photos.end()));
    for (int row = 0; row < o.rows; ++row)
        for (int column = 0; column < o.columns; ++column) {
            const int n = o.at(column, row);
            if (n == 0)
                continue;
            const QRectF cell = overlapCell(report, column, row);
            const double t = double(n) / most;
            painter.fillRect(cell, n < 3 ? QColor(230, 80, 60)
                                         : QColor::fromHsvF(0.33, 0.2 + 0.8 * t, 0.9 - 0.4 * t));
            if (n < 3) {
                painter.setPen(QPen(Qt::black, 1));
                painter.drawLine(cell.topLeft(), cell.bottomRight());
                painter.drawLine(cell.topRight(), cell.bottomLeft());
            }
        }
    // The scale of colours.
    for (int n = 1; n <= most; ++n) {
        const double t = double(n) / most;
        const QRectF key(figureWidth - 90, 36 + (n - 1) * 18.0, 16, 16);
        if (key.bottom() > figureHeight)
            break;
        painter.fillRect(key,
                         n < 3 ? QColor(230, 80, 60) : QColor::fromHsvF(0.33, 0.2 + 0.8 * t, 0.9 - 0.4 * t));
        painter.setPen(Qt::black);
        painter.drawText(QPointF(key.right() + 6, key.bottom() - 3), QString::number(n));
    }
    return image;
}

QByteArray AccuracyReportHtml::html(const AccuracyReport& r)
{
    QString page;
    page += QStringLiteral(
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Accuracy report</title>\n"
        "<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse;margin:1em 0}"
        "td,th{border:1px solid #bbb;padding:2px 8px;text-align:right}th{background:#eee}"
        "figure{margin:1em 0}img{max-width:100%}</style></head><body>\n");
    page += QStringLiteral("<h1>Accuracy report</h1>\n<p>Georeferenced from %1%2, %3.</p>\n")
                .arg(r.method.toHtmlEscaped(),
                     r.epsg ? QStringLiteral(" in EPSG:%1").arg(r.epsg)
                            : QStringLiteral(" (no reference system)"),
                     r.made.toHtmlEscaped());
    page += QStringLiteral("<h2>Survey</h2>\n<table id=\"summary\">\n");
    page += QStringLiteral("<tr><th>Photos used</th><td>%1</td></tr>\n")
                .arg(r.photosListed < 0 ? QStringLiteral("&ndash;") : QString::number(r.photosListed));
    page += QStringLiteral("<tr><th>Photos registered</th><td>%1</td></tr>\n").arg(r.photosRegistered);
    page += QStringLiteral("<tr><th>Ground sample (cm/pixel)</th><td>%1</td></tr>\n")
                .arg(fixed(100 * r.groundSample, 2));
    page += QStringLiteral("<tr><th>Area (ha)</th><td>%1</td></tr>\n").arg(fixed(r.area / 10000, 3));
    for (const AccuracyReport::Stage& s : r.stages)
        page += QStringLiteral("<tr><th>%1 (s)</th><td>%2</td></tr>\n")
                    .arg(s.name.toHtmlEscaped(), fixed(s.seconds, 1));
    page += QStringLiteral("</table>\n");

    page += QStringLiteral(
        "<h2>Accuracy</h2>\n<p>Residuals in metres: where the reconstruction puts a point less "
        "where it was surveyed. Check points never enter the fit. CE90, LE90 and the 95 % "
        "figures by the ASPRS and NSSDA formulas.</p>\n");
    page += QStringLiteral("<table id=\"statistics\"><tr><th></th><th>n</th><th>RMSE X</th><th>RMSE Y</th>"
                           "<th>RMSE Z</th><th>RMSE horizontal</th><th>RMSE vertical</th><th>CE90</th>"
                           "<th>LE90</th><th>CE95</th><th>LE95</th></tr>\n");
    page += statisticsRow(QStringLiteral("control"), r.control);
    page += statisticsRow(QStringLiteral("check"), r.check);
    page += statisticsRow(QStringLiteral("cameras against GPS"), r.gps);
    page += QStringLiteral("</table>\n");

    page += QStringLiteral(
        "<h2>Control and check points</h2>\n<table id=\"points\"><tr><th>Name</th><th>Role</th>"
        "<th>X</th><th>Y</th><th>Z</th><th>dX</th><th>dY</th><th>dZ</th><th>horizontal</th>"
        "<th>vertical</th><th>px</th><th>photos</th></tr>\n");
    for (const AccuracyReport::Point& p : r.points)
        page += QStringLiteral(
                    "<tr class=\"point\"><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td>%5</td>"
                    "<td>%6</td><td>%7</td><td>%8</td><td>%9</td><td>%10</td><td>%11</td><td>%12</td></tr>\n")
                    .arg(p.name.toHtmlEscaped(), p.role, metres(p.survey.x()), metres(p.survey.y()),
                         metres(p.survey.z()), metres(p.residual.x()), metres(p.residual.y()),
                         metres(p.residual.z()), metres(p.horizontal()))
                    .arg(metres(p.vertical()), fixed(p.pixels, 2))
                    .arg(p.photos);
    page += QStringLiteral("</table>\n");

    double factor = 1;
    const QImage cameras = cameraFigure(r, &factor);
    page += QStringLiteral("<h2>Cameras</h2>\n");
    page += figure(
        cameras, QStringLiteral("cameras"),
        QStringLiteral("Camera positions; GPS residuals drawn %1 times enlarged").arg(factor, 0, 'g', 3));
    page += QStringLiteral(
                "<h2>Reprojection errors</h2>\n<p>%1 measurements: mean %2 px, median %3 px, RMS %4 px, "
                "largest %5 px.</p>\n")
                .arg(r.reprojection.count)
                .arg(fixed(r.reprojection.mean, 3), fixed(r.reprojection.median, 3),
                     fixed(r.reprojection.rms, 3), fixed(r.reprojection.max, 3));
    page += figure(reprojectionFigure(r), QStringLiteral("reprojection"),
                   QStringLiteral("Reprojection errors, %1 px bins").arg(r.reprojection.binWidth, 0, 'g', 3));
    page += QStringLiteral("<h2>Overlap</h2>\n<p>Photos whose footprint (their edges carried onto the level "
                           "of the sparse points' median height) covers each ground cell's centre: %1 cells "
                           "seen, %2 of them by fewer than three photos.</p>\n")
                .arg(r.overlap.seen)
                .arg(r.overlap.fewerThanThree);
    page += figure(overlapFigure(r), QStringLiteral("overlap"), QStringLiteral("Photos per ground cell"));

    const AccuracyReport::Calibration& k = r.calibration;
    page +=
        QStringLiteral("<h2>Calibration</h2>\n<p>Found: %1. EXIF: the focal length from %2, the principal "
                       "point at the photo's centre, no distortion. Pixels from the photo's top-left corner; "
                       "k1, k2 as COLMAP's radial camera.</p>\n<table id=\"calibration\">"
                       "<tr><th></th><th>found</th><th>EXIF</th><th>found less EXIF</th></tr>\n")
            .arg(k.foundSource == QLatin1String("adjustment")
                     ? QStringLiteral("the adjustment in survey coordinates (%1 photos)").arg(k.found.photos)
                     : QStringLiteral("the reconstruction's focal length and radial term (median)"),
                 k.exifSource.isEmpty() ? QStringLiteral("&ndash; (the EXIF gives none)")
                                        : QStringLiteral("the ") + k.exifSource.toHtmlEscaped());
    const auto row = [](const QString& name, double found, double exif, int decimals) {
        return QStringLiteral("<tr class=\"calibration\"><th>%1</th><td>%2</td><td>%3</td><td>%4</td></tr>\n")
            .arg(name, fixed(found, decimals), fixed(exif, decimals), fixed(found - exif, decimals));
    };
    page += row(QStringLiteral("Focal length (px)"), k.found.focal, k.exif.focal, 1);
    page += row(QStringLiteral("Principal point x (px)"), k.found.cx, k.exif.cx, 1);
    page += row(QStringLiteral("Principal point y (px)"), k.found.cy, k.exif.cy, 1);
    page += row(QStringLiteral("k1"), k.found.k1, k.exif.k1, 5);
    page += row(QStringLiteral("k2"), k.found.k2, k.exif.k2, 5);
    page += QStringLiteral("<tr><th>Focal length spread</th><td>%1 %</td><td colspan=\"2\">%2</td></tr>\n")
                .arg(fixed(100 * k.focalSpread, 1),
                     k.exifFocal.isEmpty() ? QStringLiteral("&ndash;") : k.exifFocal.toHtmlEscaped());
    page += QStringLiteral("<tr><th>Camera</th><td colspan=\"3\">%1</td></tr>\n")
                .arg(k.camera.isEmpty() ? QStringLiteral("&ndash;") : k.camera.toHtmlEscaped());
    page += QStringLiteral("</table>\n</body></html>\n");
    return page.toUtf8();
}

QString AccuracyReportHtml::newest(const QStringList& pipelineFolders)
{
    QString found;
    QDateTime when;
    for (const QString& folder : pipelineFolders) {
        const QFileInfo html(AccuracyReport::htmlFile(folder));
        if (html.isFile() && (found.isEmpty() || html.lastModified() > when)) {
            found = html.absoluteFilePath();
            when = html.lastModified();
        }
    }
    return found;
}

bool AccuracyReportHtml::write(const AccuracyReport& report, const QString& pipelineFolder, QString* error)
{
    if (!report.writeJson(pipelineFolder, error))
        return false;
    const QString path = AccuracyReport::htmlFile(pipelineFolder);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(html(report)) < 0 || !file.commit()) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
