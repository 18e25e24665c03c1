#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cmath>

#include "core/georef/AccuracyReport.h"
#include "ui/report/AccuracyReportHtml.h"

namespace
{

// A report as a run and a fit leave it: six cameras with GPS residuals,
// control and check points (one not placed), a histogram, a 4 x 3 overlap map.
AccuracyReport sample()
{
    AccuracyReport r;
    r.method = "control points";
    r.made = "2026-05-04T10:00:00";
    r.epsg = 32633;
    r.georeferenced = true;
    r.photosListed = 7;
    r.photosRegistered = 6;
    r.groundSample = 0.0213;
    r.area = 5400;
    r.stages = {{"Feature detection", 12.5}, {"Bundle adjustment", 3.25}};
    std::vector<osg::Vec3d> gps;
    for (int i = 0; i < 6; ++i) {
        AccuracyReport::Camera c;
        c.photo = QString("IMG_%1.JPG").arg(i + 1);
        c.position = {712300.0 + 20 * (i % 3), 4123400.0 + 30 * (i / 3), 140};
        c.residual = {0.8 * (i % 2 ? 1 : -1), 1.5 - 0.5 * i, 3.0};
        gps.push_back(c.residual);
        r.cameras << c;
    }
    r.gps = AccuracyStatistics::of(gps);
    auto point = [](const QString& name, const QString& role, const osg::Vec3d& d) {
        AccuracyReport::Point p;
        p.name = name;
        p.role = role;
        p.survey = {712310.123456, 4123410.654321, 101.0004};
        p.residual = d;
        p.pixels = std::isfinite(d.x()) ? 0.4321 : NAN;
        p.photos = 4;
        return p;
    };
    r.points = {point("GCP1", "control", {0.0123, -0.0046, 0.0305}),
                point("GCP2", "control", {-0.0111, 0.0079, -0.0215}),
                point("<K1>", "check", {0.0412, 0.0337, -0.0606}),
                point("K2", "not placed", {NAN, NAN, NAN})};
    r.control = AccuracyStatistics::of({r.points[0].residual, r.points[1].residual});
    r.check = AccuracyStatistics::of({r.points[2].residual});
    r.reprojection.count = 100;
    r.reprojection.binWidth = 0.05;
    r.reprojection.counts = {40, 30, 20, 10};
    r.reprojection.mean = 0.06;
    r.reprojection.max = 0.19;
    r.overlap.cell = 12.5;
    r.overlap.columns = 4;
    r.overlap.rows = 3;
    r.overlap.photos = {0, 1, 2, 3, 4, 5, 6, 2, 1, 0, 3, 7};
    r.overlap.seen = 10;
    r.overlap.fewerThanThree = 4;
    r.calibration.focalPixels = 3650.5;
    r.calibration.exifFocal = "8.8 mm";
    r.calibration.found = {5472, 3648, 3650.5, 2741.25, 1819.5, -0.0123, 0.00456, 120};
    r.calibration.foundSource = "adjustment";
    r.calibration.exif = {5472, 3648, 3648.0, 2736, 1824, 0, 0, 120};
    r.calibration.exifSource = "focal length and focal plane resolution";
    return r;
}

QString cell(const QJsonValue& v, int decimals)
{
    return v.isNull() ? QString("&ndash;") : QString::number(v.toDouble(), 'f', decimals);
}

QStringList cellsOf(const QString& row)
{
    QStringList cells;
    QRegularExpressionMatchIterator it = QRegularExpression("<t[dh][^>]*>(.*?)</t[dh]>").globalMatch(row);
    while (it.hasNext())
        cells << it.next().captured(1);
    return cells;
}

} // namespace

class TestAccuracyReportHtml : public QObject
{
    Q_OBJECT

private slots:
    // The page and its JSON written side by side: the page holds its
    // figures, and its tables show the JSON's numbers.
    void pageEmbedsItsFiguresAndShowsTheJsonsNumbers()
    {
        QTemporaryDir dir;
        QString error;
        const AccuracyReport report = sample();
        QVERIFY2(AccuracyReportHtml::write(report, dir.path(), &error), qPrintable(error));
        QFile jsonFile(AccuracyReport::jsonFile(dir.path())), htmlFile(AccuracyReport::htmlFile(dir.path()));
        QVERIFY(jsonFile.open(QIODevice::ReadOnly) && htmlFile.open(QIODevice::ReadOnly));
        const QJsonObject json = QJsonDocument::fromJson(jsonFile.readAll()).object();
        const QString html = QString::fromUtf8(htmlFile.readAll());
        QVERIFY(!html.contains("src=\"http") && !html.contains("src=\"file"));
        QVERIFY2(!html.contains("%%"), "a percent sign doubled in the text");

        QRegularExpressionMatchIterator images =
            QRegularExpression("src=\"data:image/png;base64,([A-Za-z0-9+/=]+)\"").globalMatch(html);
        int count = 0;
        while (images.hasNext()) {
            QImage image;
            QVERIFY(image.loadFromData(QByteArray::fromBase64(images.next().captured(1).toLatin1()), "PNG"));
            QCOMPARE(image.size(), QSize(AccuracyReportHtml::figureWidth, AccuracyReportHtml::figureHeight));
            ++count;
        }
        QCOMPARE(count, 3);

        // The points table, row by row against the JSON.
        const QJsonArray points = json["points"].toArray();
        QRegularExpressionMatchIterator rows =
            QRegularExpression("<tr class=\"point\">(.*?)</tr>").globalMatch(html);
        int row = 0;
        while (rows.hasNext()) {
            const QStringList cells = cellsOf(rows.next().captured(1));
            const QJsonObject p = points[row++].toObject();
            QCOMPARE(cells.size(), 12);
            QCOMPARE(cells[0], p["name"].toString().toHtmlEscaped());
            QCOMPARE(cells[1], p["role"].toString());
            const char* keys[] = {"x", "y", "z", "dx", "dy", "dz", "horizontal", "vertical"};
            for (int k = 0; k < 8; ++k)
                QCOMPARE(cells[2 + k], cell(p[keys[k]], 3));
            QCOMPARE(cells[10], cell(p["pixels"], 2));
            QCOMPARE(cells[11], QString::number(p["photos"].toInt()));
        }
        QCOMPARE(row, points.size());
        QCOMPARE(row, 4);

        // The statistics of control and check points and of the cameras' GPS.
        const QStringList sets = {"control", "check", "cameras against GPS"};
        const char* keys[] = {"controlStatistics", "checkStatistics", "gpsStatistics"};
        for (int s = 0; s < 3; ++s) {
            const QRegularExpressionMatch m =
                QRegularExpression(
                    QString("<tr class=\"statistics\" data-set=\"%1\">(.*?)</tr>").arg(sets[s]))
                    .match(html);
            QVERIFY2(m.hasMatch(), qPrintable(sets[s]));
            const QStringList cells = cellsOf(m.captured(1));
            const QJsonObject stats = json[keys[s]].toObject();
            QCOMPARE(cells[1], QString::number(stats["count"].toInt()));
            const char* figures[] = {"rmseX", "rmseY", "rmseZ", "rmseHorizontal", "rmseVertical", "ce90",
                                     "le90",  "ce95",  "le95"};
            for (int k = 0; k < 9; ++k)
                QCOMPARE(cells[2 + k], cell(stats[figures[k]], 3));
        }
        // The calibration found against the EXIF's, row by row against the JSON.
        const QJsonObject found = json["calibration"].toObject()["found"].toObject();
        const QJsonObject exif = json["calibration"].toObject()["exif"].toObject();
        QCOMPARE(found["source"].toString(), QString("adjustment"));
        QCOMPARE(exif["source"].toString(), QString("focal length and focal plane resolution"));
        QRegularExpressionMatchIterator calibration =
            QRegularExpression("<tr class=\"calibration\">(.*?)</tr>").globalMatch(html);
        const char* terms[] = {"focalPixels", "cx", "cy", "k1", "k2"};
        int term = 0;
        for (; calibration.hasNext(); ++term) {
            const QStringList cells = cellsOf(calibration.next().captured(1));
            QCOMPARE(cells.size(), 4);
            const int decimals = term < 3 ? 1 : 5;
            QCOMPARE(cells[1], cell(found[terms[term]], decimals));
            QCOMPARE(cells[2], cell(exif[terms[term]], decimals));
            QCOMPARE(cells[3], QString::number(found[terms[term]].toDouble() - exif[terms[term]].toDouble(),
                                               'f', decimals));
        }
        QCOMPARE(term, 5);
        QVERIFY(html.contains("the adjustment in survey coordinates (120 photos)"));
        QVERIFY(html.contains("<tr><th>Photos used</th><td>7</td></tr>"));
        QVERIFY(html.contains("<tr><th>Bundle adjustment (s)</th><td>3.2</td></tr>") ||
                html.contains("<tr><th>Bundle adjustment (s)</th><td>3.3</td></tr>"));
    }

    // The overlap map shows each cell of the JSON: empty ones white, those
    // seen by fewer than three photos red, the others green.
    void overlapFigureShowsTheGrid()
    {
        const AccuracyReport report = sample();
        const QImage image = AccuracyReportHtml::overlapFigure(report);
        for (int row = 0; row < report.overlap.rows; ++row)
            for (int column = 0; column < report.overlap.columns; ++column) {
                const QRectF r = AccuracyReportHtml::overlapCell(report, column, row);
                // Off the crossing lines of a marked cell.
                const QColor c =
                    image.pixelColor(QPoint(int(r.center().x()), int(r.top() + 0.2 * r.height())));
                const int n = report.overlap.at(column, row);
                const QString where =
                    QString("cell %1,%2 (%3 photos): %4").arg(column).arg(row).arg(n).arg(c.name());
                if (n == 0)
                    QVERIFY2(c == Qt::white, qPrintable(where));
                else if (n < 3)
                    QVERIFY2(c.hue() < 20 && c.saturation() > 100, qPrintable(where));
                else
                    QVERIFY2(c.hue() > 90 && c.hue() < 150, qPrintable(where));
            }
    }

    // The residual vectors are drawn in red over the cameras; without GPS there are none.
    void cameraFigureDrawsTheResiduals()
    {
        auto redPixels = [](const QImage& image) {
            int n = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    n += c.red() > 150 && c.green() < 80 && c.blue() < 80 ? 1 : 0;
                }
            return n;
        };
        AccuracyReport report = sample();
        double enlarged = 0;
        QVERIFY(redPixels(AccuracyReportHtml::cameraFigure(report, &enlarged)) > 50);
        // The longest residual (camera 0's, 1.7 m across) a tenth of the 40 m the cameras span.
        QVERIFY2(std::abs(enlarged - 4.0 / std::hypot(0.8, 1.5)) < 1e-9,
                 qPrintable(QString::number(enlarged)));
        for (AccuracyReport::Camera& c : report.cameras)
            c.residual = {NAN, NAN, NAN};
        QCOMPARE(redPixels(AccuracyReportHtml::cameraFigure(report)), 0);
    }

    void newestReportOfTheFolders()
    {
        QTemporaryDir a, b;
        QString error;
        QVERIFY(AccuracyReportHtml::newest({a.path(), b.path()}).isEmpty());
        QVERIFY(AccuracyReportHtml::write(sample(), b.path(), &error));
        QCOMPARE(AccuracyReportHtml::newest({a.path(), b.path()}), AccuracyReport::htmlFile(b.path()));
    }
};

QTEST_MAIN(TestAccuracyReportHtml)
#include "tst_accuracyreporthtml.moc"
