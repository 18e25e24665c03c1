#include <QtTest>

#include "core/annotation/AnnotationStore.h"

class TestAnnotationStore : public QObject
{
    Q_OBJECT
private slots:
    void nextBasket_data()
    {
        QTest::addColumn<QString>("basket");
        QTest::addColumn<QString>("next");
        QTest::newRow("10000") << "10000"
                               << "10001";
        QTest::newRow("abc counts as 0") << "abc"
                                         << "1";
        QTest::newRow("empty") << ""
                               << "1";
        QTest::newRow("blanks") << " 41 "
                                << "42";
        QTest::newRow("fifteen digits") << "999999999999999"
                                        << "1000000000000000";
    }
    void nextBasket()
    {
        QFETCH(QString, basket);
        QFETCH(QString, next);
        QCOMPARE(AnnotationStore::nextBasket(basket), next);
    }

    void positionError_data()
    {
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("y");
        QTest::addColumn<QString>("z");
        QTest::addColumn<QString>("message");
        const QString empty = "Spatial Data cannot be Empty or 0!";
        const QString notNumber = "Spatial Data must be numbers!";
        QTest::newRow("usable") << "1.5"
                                << "-2"
                                << "3e2"
                                << "";
        QTest::newRow("x is 0") << "0"
                                << "2"
                                << "3" << empty;
        QTest::newRow("z is 0") << "1"
                                << "2"
                                << "0" << empty;
        QTest::newRow("y empty") << "1"
                                 << ""
                                 << "3" << empty;
        QTest::newRow("0.0 is a position") << "0.0"
                                           << "2"
                                           << "3"
                                           << "";
        QTest::newRow("typing slip") << "1.5m"
                                     << "2"
                                     << "3" << notNumber;
        QTest::newRow("comma decimal") << "1,5"
                                       << "2"
                                       << "3" << notNumber;
        QTest::newRow("beyond float") << "1e39"
                                      << "2"
                                      << "3" << notNumber;
    }
    void positionError()
    {
        QFETCH(QString, x);
        QFETCH(QString, y);
        QFETCH(QString, z);
        QFETCH(QString, message);
        osg::Vec3d p;
        QCOMPARE(AnnotationStore::positionError(x, y, z, &p), message);
        if (message.isEmpty())
            QCOMPARE(p, osg::Vec3d(x.toDouble(), y.toDouble(), z.toDouble()));
    }

    void chooseDay_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("pointDate");
        QTest::addColumn<QString>("polygonDate");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<QString>("names");
        QTest::addColumn<QString>("formDates");
        QTest::newRow("point date entered") << ""
                                            << "2015-03-01"
                                            << "" << true << "2015-03-01_sf.kml 2015-03-01_dl.kml"
                                            << "|2015-03-01";
        QTest::newRow("polygon date entered") << ""
                                              << ""
                                              << "2015-03-02" << true << "2015-03-02_sf.kml 2015-03-02_dl.kml"
                                              << "2015-03-02|";
        QTest::newRow("both empty") << ""
                                    << ""
                                    << "" << false << " "
                                    << "|";
        QTest::newRow("unchanged") << "d"
                                   << "d"
                                   << "d" << false << "d_sf.kml d_dl.kml"
                                   << "|";
        QTest::newRow("point date changed, point wins") << "d"
                                                        << "e"
                                                        << "f" << true << "e_sf.kml e_dl.kml"
                                                        << "|e";
        QTest::newRow("polygon date changed") << "d"
                                              << "d"
                                              << "f" << true << "f_sf.kml f_dl.kml"
                                              << "f|";
        QTest::newRow("point date cleared keeps the day") << "d"
                                                          << ""
                                                          << "d" << false << "d_sf.kml d_dl.kml"
                                                          << "d|";
    }
    void chooseDay()
    {
        QFETCH(QString, current);
        QFETCH(QString, pointDate);
        QFETCH(QString, polygonDate);
        QFETCH(bool, changed);
        QFETCH(QString, names);
        QFETCH(QString, formDates);
        AnnotationStore store;
        if (!current.isEmpty())
            store.applyDay({true, current + "_sf.kml", current + "_dl.kml", {}, {}});
        const AnnotationStore::DayChoice choice = store.chooseDay(pointDate, polygonDate);
        QCOMPARE(choice.changed, changed);
        QCOMPARE(choice.pointFormDate + "|" + choice.polygonFormDate, formDates);
        store.applyDay(choice);
        QCOMPARE(store.layerName(LayerType::Points) + " " + store.layerName(LayerType::Polygons), names);
    }

};

QTEST_GUILESS_MAIN(TestAnnotationStore)
#include "tst_annotationstore.moc"
