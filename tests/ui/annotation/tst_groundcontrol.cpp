#include <QtTest>

#include <QAction>
#include <QDockWidget>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>

#include "core/project/ProjectDocument.h"
#include "core/project/ProjectWriter.h"
#include "ui/annotation/AdjustmentSettingsDialog.h"
#include "ui/annotation/GeoRef.h"
#include "ui/annotation/GroundControl.h"

#include "NadirBlock.h"

namespace
{

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A reconstruction of three photos, IMG_0001.JPG to IMG_0003.JPG.
QString writeNvm(const QTemporaryDir& dir)
{
    QByteArray nvm = "NVM_V3\n\n3\n";
    for (int i = 0; i < 3; ++i)
        nvm += QString("IMG_%1.JPG 1000 1 0 0 0 %2 0 10 0 0\n").arg(i + 1, 4, 10, QChar('0')).arg(i).toUtf8();
    nvm += "2\n0 0 0 200 200 200 2 0 0 1 1 1 0 2 2\n1 1 0 200 200 200 2 2 1 3 3 3 1 4 4\n";
    const QString path = dir.filePath("sparse.nvm");
    return writeFile(path, nvm) ? path : QString();
}

ControlPoint point(const QString& name, const osg::Vec3d& at, const QVector<ControlObservation>& seen)
{
    ControlPoint p;
    p.name = name;
    p.survey = at;
    p.observations = seen;
    return p;
}

} // namespace

// The "Ground Control" dock's table, its imports and the picks that give its
// points their photos; the fit itself is the core's.
class TestGroundControl : public QObject
{
    Q_OBJECT

    QStringList m_log;

    void listen(GroundControl& control)
    {
        m_log.clear();
        connect(&control, &GroundControl::logLine, this, [this](const QString& line) { m_log << line; });
    }

private slots:
    void picksGoToTheSelectedPoint()
    {
        QWidget window;
        GeoRef dock;
        GroundControl control(&dock, nullptr, &window);
        listen(control);

        // Not picking: a loupe click is only a loupe click.
        const int row = dock.addPoint();
        control.pickAt("/site/photos/IMG_0001.JPG", QPointF(10.5, 20.5));
        QVERIFY(dock.observations(row).isEmpty());

        dock.pickAction()->setChecked(true);
        control.pickAt("/site/photos/IMG_0001.JPG", QPointF(10.5, 20.5));
        control.pickAt("/site/photos/IMG_0002.JPG", QPointF(700.5, 5.5));
        // The same photo again: a correction, where the cursor was to a third of a pixel.
        control.pickAt("/site/photos/img_0001.jpg", QPointF(11.0 + 1 / 3.0, 21.75));
        const QVector<ControlObservation> seen = dock.observations(row);
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0].image, QString("img_0001.jpg"));
        QCOMPARE(seen[0].column, 11.0 + 1 / 3.0);
        QCOMPARE(seen[0].row, 21.75);
        QCOMPARE(dock.table()->item(row, GeoRef::Photos)->text(), QString("2"));
        QVERIFY(m_log.last().contains("GCP1"));

        // Only named rows are points; the two rows of the measurement stay as typed.
        dock.table()->item(1, GeoRef::X)->setText("3");
        dock.table()->item(1, GeoRef::Y)->setText("4");
        const QVector<ControlPoint> points = dock.controlPoints();
        QCOMPARE(points.size(), 1);
        QCOMPARE(points[0].name, QString("GCP1"));
        QCOMPARE(dock.measurementLines(), QStringList({"pos1: 0 0 0", "pos2: 3 4 0", "5"}));

        // Nothing selected: the pick says what to do and goes nowhere.
        dock.table()->setCurrentCell(-1, -1);
        control.pickAt("/site/photos/IMG_0003.JPG", QPointF(1, 1));
        QCOMPARE(dock.observations(row).size(), 2);
        QVERIFY(m_log.last().contains("select the point"));
    }

    void pointsShownAsGiven()
    {
        GeoRef dock;
        ControlPoint a, b, c;
        a.name = "T1";
        a.survey.set(712031.4567890123, 4123012.3456789012, 95.0421);
        a.observations = {{"IMG_0001.JPG", 812.25, 401.5}, {"IMG_0002.JPG", 3.5, 1199.875}};
        a.residual = 0.0123;
        a.offset.set(0.004, -0.0111, 0.0031);
        a.pixels = 0.834;
        b.name = "T2";
        b.check = true;
        c.name = "T3";
        c.residual = 36.0125;
        c.offset.set(0.0001, -0.0002, 36.0125);
        c.leftOut = true;
        dock.setControlPoints({a, b, c}, "EPSG:32633");
        QCOMPARE(dock.table()->rowCount(), 3);
        QTableWidget* t = dock.table();
        QCOMPARE(t->item(0, GeoRef::Residual)->text(), QString("0.012 m"));
        QCOMPARE(t->item(0, GeoRef::DY)->text(), QString("-0.011"));
        QCOMPARE(t->item(0, GeoRef::Pixels)->text(), QString("0.83"));
        QCOMPARE(t->item(1, GeoRef::Residual)->text(), QString()); // not fitted yet
        QCOMPARE(t->item(2, GeoRef::Residual)->text(), QString("36.013 m (left out)"));
        QCOMPARE(t->item(2, GeoRef::DX)->text(), QString("0.000"));
        const QVector<ControlPoint> back = dock.controlPoints();
        QCOMPARE(back.size(), 3);
        QVERIFY(back[0].survey == a.survey); // every digit of a survey coordinate
        QCOMPARE(back[0].observations.size(), 2);
        QCOMPARE(back[0].observations[1].row, 1199.875);
        QVERIFY(!back[0].check && back[1].check);
        // The figures go into the project with the point.
        QVERIFY(back[0].offset == a.offset && back[0].pixels == a.pixels && back[2].leftOut);
        QVERIFY(!back[1].hasFit());
        QCOMPARE(dock.referenceSystem(), QString("EPSG:32633"));

        // A coordinate typed anew makes the figures stale.
        t->item(0, GeoRef::Z)->setText("95.5");
        QCOMPARE(t->item(0, GeoRef::Residual)->text(), QString());
        QVERIFY(!dock.controlPoints()[0].hasFit());

        // Removing points keeps the two rows the measurement reads.
        for (int i = 0; i < 3; ++i) {
            t->setCurrentCell(0, 0);
            dock.removeCurrentPoint();
        }
        QCOMPARE(t->rowCount(), 2);
        QCOMPARE(dock.measurementLines().last(), QString("0"));
    }

    // The dock opened two rows high with its residual column off-screen.
    void dockShowsEveryColumnAndSeveralRows()
    {
        QMainWindow window;
        window.setCentralWidget(new QWidget);
        auto* dock = new GeoRef;
        auto* widget = new QDockWidget("Ground Control", &window);
        widget->setWidget(dock);
        window.addDockWidget(Qt::RightDockWidgetArea, widget);
        auto* images = new QDockWidget("Images View", &window);
        images->setWidget(new QWidget);
        window.addDockWidget(Qt::RightDockWidgetArea, images);
        QVector<ControlPoint> points;
        for (int i = 0; i < 8; ++i)
            points << point(QString("T%1").arg(i + 1), osg::Vec3d(712031.457 + i, 4123012.346, 95.042), {});
        dock->setControlPoints(points, "EPSG:32633");
        window.resize(1600, 1000);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTableWidget* t = dock->table();
        const int visible = t->viewport()->width();
        for (int c = 0; c < GeoRef::ColumnCount; ++c)
            QVERIFY2(t->columnViewportPosition(c) + t->columnWidth(c) <= visible,
                     qPrintable(QString("column %1 ends at %2 of %3")
                                    .arg(t->horizontalHeaderItem(c)->text())
                                    .arg(t->columnViewportPosition(c) + t->columnWidth(c))
                                    .arg(visible)));
        QVERIFY2(t->viewport()->height() >= 4 * t->rowHeight(0),
                 qPrintable(QString::number(t->viewport()->height())));
        // Every figure fits its column.
        const QFontMetrics metrics(t->font());
        for (int c : {GeoRef::X, GeoRef::Y, GeoRef::Residual})
            QVERIFY(metrics.horizontalAdvance(t->item(0, c)->text()) < t->columnWidth(c));
    }

    // A name with a control character was taken and then the project could
    // not be saved: whatever is typed, the table keeps only names it can save.
    void namesTheProjectCannotHoldNeverEnterTheTable()
    {
        GeoRef dock;
        QStringList refused;
        connect(&dock, &GeoRef::nameRefused, this, [&](const QString& text) { refused << text; });
        const int a = dock.addPoint(), b = dock.addPoint();
        QTableWidget* t = dock.table();
        t->item(a, GeoRef::Name)->setText(QString("T") + QChar(0x01) + "A");
        QCOMPARE(t->item(a, GeoRef::Name)->text(), QString("TA"));
        QVERIFY2(refused.last().contains("control character (U+0001)"), qPrintable(refused.last()));
        const QString before = t->item(b, GeoRef::Name)->text();
        t->item(b, GeoRef::Name)->setText("TA");
        QCOMPARE(t->item(b, GeoRef::Name)->text(), before);
        QVERIFY(refused.last().contains("another point is named TA"));

        const ushort unfit[] = {0x00, 0x08, 0x0B, 0x1F, 0x7F, 0x85, 0x9F, 0xD800, 0xDFFF, 0xFFFE, 0xFFFF};
        for (ushort u : unfit) {
            t->item(b, GeoRef::Name)->setText(QString("P") + QChar(u) + QString::number(u));
            ProjectDocument doc;
            doc.controlPoints = dock.controlPoints();
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            QVERIFY2(ProjectWriter::write(buffer, doc), qPrintable(QString::number(u, 16)));
        }
    }

    // Importing a control file again replaced the table, its check flags and
    // hand picks without a word: it merges by name and says what it did.
    void reimportMergesByNameAndSaysWhat()
    {
        QTemporaryDir dir;
        const QString nvm = writeNvm(dir);
        QVERIFY(!nvm.isEmpty());
        QWidget window;
        GeoRef dock;
        GroundControl control(&dock, nullptr, &window);
        listen(control);
        ControlPoint t1 = point("T1", {712001, 4123001, 95}, {{"IMG_0001.JPG", 100.25, 200.75}});
        t1.check = true;
        t1.residual = 0.01;
        t1.offset.set(0.01, 0, 0);
        const ControlPoint t9 = point("T9", {712009, 4123009, 96}, {{"IMG_0002.JPG", 50, 60}});
        dock.setControlPoints({t1, t9}, "EPSG:32633");

        const QString gcp = dir.filePath("gcp_list.txt");
        QVERIFY(writeFile(gcp, "EPSG:32633\n"
                               "712001.5 4123001.5 95.5 300 300 IMG_0001.JPG T1\n"
                               "712001.5 4123001.5 95.5 310 310 IMG_0002.JPG T1\n"
                               "712004 4123004 95 10 20 IMG_0002.JPG T4\n"
                               "712004 4123004 95 30 40 DJI_0099.JPG T4\n"
                               "712004 4123004 95 50 60 IMG_0003.JPG T4\n"));
        QVERIFY2(control.importFile(gcp, nvm), qPrintable(m_log.join('\n')));
        const QVector<ControlPoint> points = dock.controlPoints();
        QCOMPARE(points.size(), 3);
        QCOMPARE(points[0].name, QString("T1"));
        QCOMPARE(points[0].survey, osg::Vec3d(712001.5, 4123001.5, 95.5));
        QVERIFY(points[0].check);
        QCOMPARE(points[0].observations.size(), 2);
        QCOMPARE(points[0].observations[0].column, 100.25); // the hand pick stays
        QCOMPARE(points[0].observations[1].image, QString("IMG_0002.JPG"));
        QVERIFY(!points[0].hasFit()); // of other coordinates
        QCOMPARE(points[1].name, QString("T9"));
        QCOMPARE(points[1].observations.size(), 1);
        QCOMPARE(points[2].name, QString("T4"));
        QCOMPARE(points[2].observations.size(), 2);
        QVERIFY2(
            m_log.join('\n').contains("gcp_list.txt line 5: photo DJI_0099.JPG is not in the reconstruction: "
                                      "this observation of T4 is left out"),
            qPrintable(m_log.join('\n')));
        QVERIFY2(m_log.last().endsWith("points 1 updated (T1), 1 added (T4), 1 kept, not in the file (T9); 3 "
                                       "observation(s) added"),
                 qPrintable(m_log.last()));
    }

    // After a sparse run: too few used points seen in the new photos keep the
    // GPS georeference, and the log says so; without control points, nothing.
    // A point's standard deviations typed into its row, the defaults in
    // "Adjustment Settings...": what the fit hands the adjustment. Entries
    // that are no length above zero are refused and say so.
    void standardDeviationsEditedReachTheAdjustment()
    {
        QWidget window;
        GeoRef dock;
        GroundControl control(&dock, nullptr, &window);
        listen(control);
        ControlPoint fitted = point("T1", {712001, 4123001, 95}, {{"IMG_0001.JPG", 1, 2}});
        fitted.residual = 0.01;
        fitted.offset.set(0.01, 0, 0);
        dock.setControlPoints({fitted, point("T2", {712005, 4123001, 95}, {})}, "EPSG:32633");
        QTableWidget* t = dock.table();
        QVERIFY(t->item(0, GeoRef::SigmaH)->text().isEmpty());

        t->item(0, GeoRef::SigmaH)->setText("0.003");
        t->item(0, GeoRef::SigmaV)->setText(" 0.0045 ");
        QVector<ControlPoint> points = dock.controlPoints();
        QCOMPARE(points[0].sigma({1, 1, 1}), osg::Vec3d(0.003, 0.003, 0.0045));
        QVERIFY(!points[0].hasFit()); // its figures were of the old weights
        QVERIFY(std::isnan(points[1].sigmaHorizontal));
        QCOMPARE(t->item(0, GeoRef::SigmaV)->text(), QString("0.0045"));

        for (const QString& bad : {QString("abc"), QString("0"), QString("-0.01")}) {
            t->item(0, GeoRef::SigmaH)->setText(bad);
            QCOMPARE(t->item(0, GeoRef::SigmaH)->text(), QString("0.003"));
            QVERIFY2(m_log.last().startsWith("Ground control: T1's horizontal standard deviation: ") &&
                         m_log.last().endsWith("; kept as it was"),
                     qPrintable(m_log.last()));
        }
        QCOMPARE(dock.controlPoints()[0].sigmaHorizontal, 0.003);
        t->item(0, GeoRef::SigmaH)->setText("");
        QVERIFY(std::isnan(dock.controlPoints()[0].sigmaHorizontal));

        // The defaults through the dock's dialog: a refused entry keeps it open.
        QSignalSpy changed(&control, &GroundControl::adjustmentSettingsChanged);
        QStringList problems;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<AdjustmentSettingsDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            dialog->field(AdjustmentSettingsDialog::ControlVertical)->setText("0");
            dialog->accept();
            problems << dialog->problem();
            dialog->field(AdjustmentSettingsDialog::ControlVertical)->setText("0.015");
            dialog->field(AdjustmentSettingsDialog::GpsHorizontal)->setText("x");
            dialog->accept();
            problems << dialog->problem();
            dialog->field(AdjustmentSettingsDialog::GpsHorizontal)->setText("0.5");
            dialog->field(AdjustmentSettingsDialog::GpsVertical)->setText("1.5");
            dialog->accept();
        });
        dock.settingsAction()->trigger();
        QCOMPARE(problems,
                 QStringList({"Control points, vertical: a standard deviation must be above zero (0 m given)",
                              "GPS positions, horizontal: 'x' is not a number"}));
        QCOMPARE(changed.size(), 1);
        const ControlPointAdjustment::Settings settings = control.adjustmentSettings();
        QCOMPARE(settings.controlSigma, osg::Vec3d(0.01, 0.01, 0.015));
        QCOMPARE(settings.gpsSigma, osg::Vec3d(0.5, 0.5, 1.5));
        // A point without its own deviation takes them; one with its own keeps it.
        points = dock.controlPoints();
        QCOMPARE(points[0].sigma(settings.controlSigma), osg::Vec3d(0.01, 0.01, 0.0045));
        QCOMPARE(points[1].sigma(settings.controlSigma), osg::Vec3d(0.01, 0.01, 0.015));
    }

    // Control points surveyed centimetres apart from one another: after a
    // tiny deviation is typed into one point's row, the fit holds that point
    // to its survey; the report shows the calibration the adjustment found.
    void deviationTypedInTheDockHoldsThePointInTheFit()
    {
        QTemporaryDir dir;
        const nadir::Block block;
        const QString nvm = dir.filePath("sparse.nvm");
        QVERIFY(nadir::writeFile(nvm, block.nvm()));
        QVERIFY(block.writeGps(dir.path() + "/"));
        QImage photo(nadir::photoSize, QImage::Format_RGB32);
        photo.fill(Qt::gray);
        for (const nadir::Block::Camera& c : block.cameras)
            QVERIFY(photo.save(dir.filePath(c.name), "JPG"));
        QVector<ControlPoint> points = block.controls();
        const osg::Vec3d errors[5] = {{0.04, -0.03, 0.05},
                                      {-0.03, 0.02, -0.04},
                                      {0.02, 0.04, 0.03},
                                      {-0.04, -0.02, -0.05},
                                      {0.03, -0.04, 0.02}};
        for (int i = 0; i < 5; ++i)
            points[i].survey += errors[i];
        QWidget window;
        GeoRef dock;
        GroundControl control(&dock, nullptr, &window);
        listen(control);
        dock.setControlPoints(points, "EPSG:32633");

        // "Abort" in the fit's dialog: nothing written, the dock as it was.
        QFile original(nvm);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray before = original.readAll();
        original.close();
        QTimer::singleShot(0, [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QProgressDialog*>(w); d && d->isVisible())
                    if (auto* abort = d->findChild<QPushButton*>(); abort && abort->text() == "Abort")
                        abort->click();
        });
        QVERIFY(!control.fit(nvm));
        QVERIFY2(m_log.join('\n').contains("the adjustment was aborted"), qPrintable(m_log.join('\n')));
        QVERIFY(original.open(QIODevice::ReadOnly));
        QCOMPARE(original.readAll(), before);
        QVERIFY(!QFile::exists(dir.filePath("sparse.txt")));
        QVERIFY(!dock.controlPoints()[0].hasFit());

        QVERIFY2(control.fit(nvm), qPrintable(m_log.join('\n')));
        const double loose = dock.controlPoints()[0].residual;

        QVERIFY(nadir::writeFile(nvm, block.nvm()));
        dock.table()->item(0, GeoRef::SigmaH)->setText("0.0002");
        dock.table()->item(0, GeoRef::SigmaV)->setText("0.0002");
        QVERIFY2(control.fit(nvm), qPrintable(m_log.join('\n')));
        const double tight = dock.controlPoints()[0].residual;
        QVERIFY2(tight < 0.002 && tight < 0.2 * loose,
                 qPrintable(QString("%1 m with the default, %2 m with its own").arg(loose).arg(tight)));

        QFile json(dir.filePath("report/accuracy.json"));
        QVERIFY(json.open(QIODevice::ReadOnly));
        const QJsonObject found =
            QJsonDocument::fromJson(json.readAll()).object()["calibration"].toObject()["found"].toObject();
        QCOMPARE(found["source"].toString(), QString("adjustment"));
        QCOMPARE(found["photos"].toInt(), int(block.cameras.size()));
        QVERIFY(std::abs(found["focalPixels"].toDouble() - nadir::focal) < 0.01 * nadir::focal);
        QCOMPARE(found["cx"].toDouble(), 600.0);
    }

    void refitAfterRunSaysWhyTheGpsGeoreferenceStands()
    {
        QTemporaryDir dir;
        const QString nvm = writeNvm(dir);
        QVERIFY(writeFile(dir.filePath("sparse.txt"), "the GPS georeference\n"));
        QWidget window;
        GeoRef dock;
        GroundControl control(&dock, nullptr, &window);
        listen(control);
        QSignalSpy status(&control, &GroundControl::statusMessage);
        QVERIFY(!control.refitAfterRun(nvm));
        QVERIFY(m_log.isEmpty() && status.isEmpty());

        dock.setControlPoints(
            {point("T1", {712001, 4123001, 95}, {{"IMG_0001.JPG", 1, 2}, {"IMG_0002.JPG", 3, 4}}),
             point("T2", {712005, 4123001, 95}, {{"IMG_0002.JPG", 1, 2}, {"IMG_0003.JPG", 3, 4}}),
             point("T3", {712003, 4123004, 95}, {{"IMG_0003.JPG", 1, 2}, {"DJI_0099.JPG", 3, 4}})},
            "EPSG:32633");
        QVERIFY(!control.refitAfterRun(nvm));
        QCOMPARE(m_log.size(), 1);
        QCOMPARE(m_log.last(),
                 QString("Ground control: the control points were not fitted to the new sparse.nvm (2 "
                         "used control point(s) are seen in two or more of its photos, three are "
                         "needed): its georeference is the photos' GPS one"));
        QCOMPARE(status.last().at(0).toString(), m_log.last());
        QFile georeference(dir.filePath("sparse.txt"));
        QVERIFY(georeference.open(QIODevice::ReadOnly));
        QCOMPARE(georeference.readAll(), QByteArray("the GPS georeference\n"));
    }

    // The report of a reconstruction no georeference places yet: written
    // with the dock's points, which nothing can place, and the log says where.
    void reportWrittenWithTheDocksPoints()
    {
        QTemporaryDir dir;
        const QString nvm = writeNvm(dir);
        QWidget window;
        GeoRef dock;
        GroundControl control(&dock, nullptr, &window);
        listen(control);
        dock.setControlPoints(
            {point("T1", {712001, 4123001, 95}, {{"IMG_0001.JPG", 1, 2}, {"IMG_0002.JPG", 3, 4}})},
            "EPSG:32633");
        QVERIFY(control.writeReport(nvm));
        QCOMPARE(m_log.last(), "Accuracy report written: " +
                                   QDir::toNativeSeparators(dir.filePath("report/accuracy.html")));
        QFile json(dir.filePath("report/accuracy.json"));
        QVERIFY(json.open(QIODevice::ReadOnly));
        const QJsonObject report = QJsonDocument::fromJson(json.readAll()).object();
        QCOMPARE(report["method"].toString(), QString("no georeference"));
        QCOMPARE(report["photos"].toObject()["registered"].toInt(), 3);
        const QJsonArray points = report["points"].toArray();
        QCOMPARE(points.size(), 1);
        QCOMPARE(points[0].toObject()["name"].toString(), QString("T1"));
        QCOMPARE(points[0].toObject()["role"].toString(), QString("not placed"));

        // A reconstruction that cannot be read writes nothing and says why.
        QVERIFY(!control.writeReport(dir.filePath("missing.nvm")));
        QVERIFY2(m_log.last().startsWith("The accuracy report was not written: "), qPrintable(m_log.last()));
    }
};

QTEST_MAIN(TestGroundControl)
#include "tst_groundcontrol.moc"
