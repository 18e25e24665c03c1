#include <QtTest>

#include "core/georef/GcpFile.h"
#include "core/georef/UtmProjection.h"

class TestGcpFile : public QObject
{
    Q_OBJECT

    static bool parse(const QByteArray& text, GcpFile* out, QString* error)
    {
        QBuffer buffer;
        buffer.setData(text);
        buffer.open(QIODevice::ReadOnly);
        return GcpFile::read(buffer, "gcp_list.txt", out, error);
    }

private slots:
    void readsObservationsInEitherNotation_data()
    {
        QTest::addColumn<QByteArray>("system");
        QTest::addColumn<int>("epsg");
        QTest::newRow("EPSG code") << QByteArray("EPSG:32633") << 32633;
        QTest::newRow("drone software's name") << QByteArray("WGS84 UTM 33N") << 32633;
        QTest::newRow("south, lower case") << QByteArray("wgs84 utm 21s") << 32721;
        QTest::newRow("PROJ's long name") << QByteArray("WGS 84 / UTM zone 32N") << 32632;
        QTest::newRow("a national grid") << QByteArray("EPSG:25833") << 25833;
    }

    void readsObservationsInEitherNotation()
    {
        QFETCH(QByteArray, system);
        QFETCH(int, epsg);
        GcpFile file;
        QString error;
        QVERIFY2(parse("# control of trench 4\n" + system +
                           "\n712008.108 4123006.455 95.887 829.27 614.88 IMG_0001.JPG GCP01\n"
                           "\n712020.271 4123011.882 95.946 685.3 280.7 IMG_0001.JPG\n"
                           "712020.271 4123011.882 95.946 677.6 652.0 IMG_0002.JPG\r\n",
                       &file, &error),
                 qPrintable(error));
        QCOMPARE(file.epsg, epsg);
        QCOMPARE(int(file.observations.size()), 3);
        QCOMPARE(file.observations[0].x, 712008.108);
        QCOMPARE(file.observations[0].row, 614.88);
        QCOMPARE(file.observations[0].name, QString("GCP01"));
        QCOMPARE(file.observations[0].line, 3);
        // Unnamed observations of one point share a name.
        QCOMPARE(file.observations[1].name, file.observations[2].name);
        QCOMPARE(file.observations[2].image, QString("IMG_0002.JPG"));
    }

    void refusesWithTheLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("unknown system") << QByteArray("Gauss-Krueger 4\n1 2 3 4 5 a.jpg\n")
                                        << "line 1: unknown reference system 'Gauss-Krueger 4'";
        QTest::newRow("EPSG PROJ does not know") << QByteArray("EPSG:999999\n") << "line 1: unknown reference system";
        QTest::newRow("word for a number") << QByteArray("EPSG:32633\n1 2 3 4 5 a.jpg\n1 2 z 4 5 b.jpg\n")
                                           << "line 3: 'z' is not a number";
        QTest::newRow("no photo") << QByteArray("EPSG:32633\n1 2 3 4 5\n") << "line 2: expected geo_x";
        QTest::newRow("outside the photo") << QByteArray("EPSG:32633\n1 2 3 -4 5 a.jpg\n") << "line 2: the photo position";
        QTest::newRow("infinite") << QByteArray("EPSG:32633\n1 2 inf 4 5 a.jpg\n") << "line 2: 'inf' is not a number";
        QTest::newRow("empty") << QByteArray("# nothing\n") << "no reference system";
        // Systems that cannot hold survey coordinates.
        QTest::newRow("degrees")
            << QByteArray("EPSG:4326\n37.2 15.1 95 4 5 a.jpg\n")
            << "line 1: EPSG:4326 (WGS 84) gives latitude and longitude in degrees: survey "
               "coordinates need a projected system in metres";
        QTest::newRow("geocentric") << QByteArray("EPSG:4978\n")
                                    << "line 1: EPSG:4978 (WGS 84) is geocentric";
        QTest::newRow("heights only")
            << QByteArray("EPSG:5780\n") << "line 1: EPSG:5780 (Cascais height) holds heights only";
        QTest::newRow("feet") << QByteArray("EPSG:2263\n") << "measures in US survey foot";
        QTest::newRow("Web Mercator") << QByteArray("EPSG:3857\n1669792 4467021 95 4 5 a.jpg\n")
                                      << "line 1: EPSG:3857 stretches distances by 25.";
        // Found by fuzzing.
        QTest::newRow("NUL byte") << QByteArray(
                                         "EPSG:32633\n1 2 3 4 5 a.jpg T1\n712001 4123001 95 4 5 a.jpg T") +
                                         '\0' + "2\n"
                                  << "line 3: a NUL byte";
        // A point's standard deviations: numbers above zero, the message names the point.
        QTest::newRow("zero deviation")
            << QByteArray("EPSG:32633\n712001 4123001 95 4 5 a.jpg T1 0.02 0\n")
            << "line 2: point T1: the vertical standard deviation 0 m is not above zero";
        QTest::newRow("negative deviation")
            << QByteArray(
                   "EPSG:32633\n712001 4123001 95 4 5 a.jpg T1\n712001 4123001 95 6 5 b.jpg T1 -0.01\n")
            << "line 3: point T1: the horizontal standard deviation -0.01 m is not above zero";
        QTest::newRow("word for a deviation")
            << QByteArray("EPSG:32633\n712001 4123001 95 4 5 a.jpg T1 2cm\n")
            << "line 2: point T1: the horizontal standard deviation '2cm' is not a number";
        QTest::newRow("column too many")
            << QByteArray("EPSG:32633\n712001 4123001 95 4 5 a.jpg T1 0.01 0.02 0.03\n")
            << "line 2: expected geo_x";
        QTest::newRow("control character in a name")
            << QByteArray("EPSG:32633\n712001 4123001 95 4 5 a.jpg T\x01\n")
            << "line 2: 'T': the name holds a control character (U+0001)";
    }

    void refusesWithTheLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        GcpFile file;
        QString error;
        QVERIFY(!parse(text, &file, &error));
        QVERIFY2(error.startsWith("gcp_list.txt") && error.contains(reason), qPrintable(error));
    }

    // Optional trailing columns after the name: horizontal, then vertical
    // standard deviation in metres; what is not given stays NaN (the defaults).
    void readsStandardDeviations()
    {
        GcpFile file;
        QString error;
        QVERIFY2(parse("EPSG:32633\n712001 4123001 95 4 5 a.jpg T1 0.005 0.0125\n"
                       "712009 4123002 96 7 8 a.jpg T2 0.03\n712020 4123005 94 1 2 b.jpg T3\n"
                       "712030 4123005 94 1 2 b.jpg\n",
                       &file, &error),
                 qPrintable(error));
        QCOMPARE(int(file.observations.size()), 4);
        QCOMPARE(file.observations[0].sigmaHorizontal, 0.005);
        QCOMPARE(file.observations[0].sigmaVertical, 0.0125);
        QCOMPARE(file.observations[1].sigmaHorizontal, 0.03);
        QVERIFY(std::isnan(file.observations[1].sigmaVertical));
        for (int i : {2, 3})
            QVERIFY(std::isnan(file.observations[size_t(i)].sigmaHorizontal) &&
                    std::isnan(file.observations[size_t(i)].sigmaVertical));
    }

    // A file mixing named and unnamed points: the unnamed one's automatic
    // name must not be one the file gives another point.
    void automaticNamesDoNotTakeGivenOnes()
    {
        GcpFile file;
        QString error;
        QVERIFY2(parse("EPSG:32633\n712001 4123001 95 4 5 a.jpg\n712001 4123001 95 6 5 b.jpg\n"
                       "712009 4123002 96 7 8 a.jpg GCP1\n712020 4123005 94 1 2 b.jpg\n",
                       &file, &error),
                 qPrintable(error));
        QCOMPARE(int(file.observations.size()), 4);
        QCOMPARE(file.observations[0].name, QString("GCP2"));
        QCOMPARE(file.observations[1].name, QString("GCP2"));
        QCOMPARE(file.observations[2].name, QString("GCP1"));
        QCOMPARE(file.observations[3].name, QString("GCP3"));
    }

    // The system's name goes into the project: a control character in it
    // made the project unsavable (found by fuzzing).
    void controlCharacterLeavesTheSystemName()
    {
        GcpFile file;
        QString error;
        QVERIFY2(parse("EPSG:\x0b"
                       "32633\n712001 4123001 95 4 5 a.jpg\n",
                       &file, &error),
                 qPrintable(error));
        QCOMPARE(file.system, QString("EPSG:32633"));
        QCOMPARE(file.epsg, 32633);
    }

    void zoneFollowsTheLongitude_data()
    {
        QTest::addColumn<double>("latitude");
        QTest::addColumn<double>("longitude");
        QTest::addColumn<int>("epsg");
        QTest::newRow("Apulia") << 40.6 << 17.3 << 32633;
        QTest::newRow("zone edge at 12 E") << 45.0 << 12.0 << 32633;
        QTest::newRow("Buenos Aires") << -34.6 << -58.4 << 32721;
        QTest::newRow("antimeridian") << 10.0 << 180.0 << 32601;
    }

    void zoneFollowsTheLongitude()
    {
        QFETCH(double, latitude);
        QFETCH(double, longitude);
        QFETCH(int, epsg);
        QCOMPARE(UtmProjection::zoneCode(latitude, longitude), epsg);
    }
};

QTEST_APPLESS_MAIN(TestGcpFile)
#include "tst_gcpfile.moc"
