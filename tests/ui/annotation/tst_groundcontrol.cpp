#include <QtTest>

#include <QAction>
#include <QTableWidget>

#include "ui/annotation/GeoRef.h"
#include "ui/annotation/GroundControl.h"

// The "Ground Control" dock's table and the picks that give its points their
// photos; the fit itself is the core's.
class TestGroundControl : public QObject
{
    Q_OBJECT
private slots:
    void picksGoToTheSelectedPoint()
    {
        QWidget window;
        GeoRef dock;
        GroundControl control(&dock, nullptr, &window);
        QStringList log;
        connect(&control, &GroundControl::logLine, this, [&](const QString& line) { log << line; });

        // Not picking: a loupe click is only a loupe click.
        const int row = dock.addPoint();
        control.pickAt("/site/photos/IMG_0001.JPG", QPoint(10, 20));
        QVERIFY(dock.observations(row).isEmpty());

        dock.pickAction()->setChecked(true);
        control.pickAt("/site/photos/IMG_0001.JPG", QPoint(10, 20));
        control.pickAt("/site/photos/IMG_0002.JPG", QPoint(700, 5));
        control.pickAt("/site/photos/img_0001.jpg", QPoint(11, 21)); // the same photo again: a correction
        const QVector<ControlObservation> seen = dock.observations(row);
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0].image, QString("img_0001.jpg"));
        QCOMPARE(seen[0].column, 11.5); // the pixel's centre
        QCOMPARE(seen[0].row, 21.5);
        QCOMPARE(dock.table()->item(row, GeoRef::Photos)->text(), QString("2"));
        QVERIFY(log.last().contains("GCP3"));

        // Only named rows are points; the two rows of the measurement stay as typed.
        dock.table()->item(1, GeoRef::X)->setText("3");
        dock.table()->item(1, GeoRef::Y)->setText("4");
        const QVector<ControlPoint> points = dock.controlPoints();
        QCOMPARE(points.size(), 1);
        QCOMPARE(points[0].name, QString("GCP3"));
        QCOMPARE(dock.measurementLines(), QStringList({"pos1: 0 0 0", "pos2: 3 4 0", "5"}));

        // Nothing selected: the pick says what to do and goes nowhere.
        dock.table()->setCurrentCell(-1, -1);
        control.pickAt("/site/photos/IMG_0003.JPG", QPoint(1, 1));
        QCOMPARE(dock.observations(row).size(), 2);
        QVERIFY(log.last().contains("select the point"));
    }

    void pointsShownAsGiven()
    {
        GeoRef dock;
        ControlPoint a, b;
        a.name = "T1";
        a.survey.set(712031.4567890123, 4123012.3456789012, 95.0421);
        a.observations = {{"IMG_0001.JPG", 812.25, 401.5}, {"IMG_0002.JPG", 3.5, 1199.875}};
        a.residual = 0.0123;
        b.name = "T2";
        b.check = true;
        dock.setControlPoints({a, b, b}, "EPSG:32633");
        QCOMPARE(dock.table()->rowCount(), 3);
        QCOMPARE(dock.table()->item(0, GeoRef::Residual)->text(), QString("0.012 m"));
        QCOMPARE(dock.table()->item(1, GeoRef::Residual)->text(), QString()); // not fitted yet
        const QVector<ControlPoint> back = dock.controlPoints();
        QCOMPARE(back.size(), 3);
        QVERIFY(back[0].survey == a.survey); // every digit of a survey coordinate
        QCOMPARE(back[0].observations.size(), 2);
        QCOMPARE(back[0].observations[1].row, 1199.875);
        QVERIFY(!back[0].check && back[1].check);
        QCOMPARE(dock.referenceSystem(), QString("EPSG:32633"));

        // Removing points keeps the two rows the measurement reads.
        for (int i = 0; i < 3; ++i) {
            dock.table()->setCurrentCell(0, 0);
            dock.removeCurrentPoint();
        }
        QCOMPARE(dock.table()->rowCount(), 2);
        QCOMPARE(dock.measurementLines().last(), QString("0"));
    }
};

QTEST_MAIN(TestGroundControl)
#include "tst_groundcontrol.moc"
