#include <QBuffer>
#include <QtTest>

#include <cmath>

#include "SharedData.h"
#include "core/georef/ExifGps.h"

namespace
{

QByteArray exifXml(const QString& latitude, const QString& latitudeRef, const QString& longitude,
                   const QString& longitudeRef)
{
    return ("<?xml version='1.0' encoding='UTF-8'?>\n"
            "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
            "<rdf:Description xmlns:GPS='http://ns.exiftool.org/EXIF/GPS/1.0/'>\n"
            " <GPS:GPSLatitudeRef>" +
            latitudeRef.toHtmlEscaped() +
            "</GPS:GPSLatitudeRef>\n"
            " <GPS:GPSLatitude>" +
            latitude.toHtmlEscaped() +
            "</GPS:GPSLatitude>\n"
            " <GPS:GPSLongitudeRef>" +
            longitudeRef.toHtmlEscaped() +
            "</GPS:GPSLongitudeRef>\n"
            " <GPS:GPSLongitude>" +
            longitude.toHtmlEscaped() +
            "</GPS:GPSLongitude>\n"
            "</rdf:Description>\n</rdf:RDF>\n")
        .toUtf8();
}

bool readXml(QByteArray xml, ExifGps::Position& position, QString& error)
{
    QBuffer buffer(&xml);
    buffer.open(QIODevice::ReadOnly);
    return ExifGps::read(buffer, &position, &error);
}

constexpr double dms(double degrees, double minutes, double seconds)
{
    return degrees + minutes / 60 + seconds / 3600;
}

} // namespace

class TestExifGps : public QObject
{
    Q_OBJECT
private slots:
    // exiftool's own files read as they always did.
    void realExiftoolFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("found");
        QTest::addColumn<double>("latitude");
        QTest::addColumn<double>("longitude");
        QTest::newRow("Nikon with GPS")
            << "exif/gps_DSCN0010.xml" << true << dms(43, 28, 2.81) << dms(11, 53, 6.46);
        QTest::newRow("Canon without GPS") << "exif/kermit000.xml" << false << 0.0 << 0.0;
        QTest::newRow("two photos, no GPS") << "exif/kermit000_001_multi.xml" << false << 0.0 << 0.0;
        QTest::newRow("Kodak without GPS") << "exif/sceaux_100_7100.xml" << false << 0.0 << 0.0;
    }
    void realExiftoolFiles()
    {
        QFETCH(QString, file);
        QFETCH(bool, found);
        QFETCH(double, latitude);
        QFETCH(double, longitude);
        REQUIRE_SHARED_DATA_FOR(file);
        ExifGps::Position p;
        QString error;
        QCOMPARE(ExifGps::readFile(SharedData::path(file), &p, &error), found);
        if (found) {
            QVERIFY(std::abs(p.latitude - latitude) < 1e-12 && std::abs(p.longitude - longitude) < 1e-12);
        } else {
            QCOMPARE(error, QString("no GPS position"));
        }
    }

    // What exiftool writes, with and without -n, in the GPS group and the
    // composite one.
    void readsExiftoolsNotations_data()
    {
        QTest::addColumn<QString>("latitude");
        QTest::addColumn<QString>("latitudeRef");
        QTest::addColumn<QString>("longitude");
        QTest::addColumn<QString>("longitudeRef");
        QTest::addColumn<double>("expectedLatitude");
        QTest::addColumn<double>("expectedLongitude");
        QTest::newRow("south and west") << "33 deg 51' 24.48\""
                                        << "South"
                                        << "151 deg 12' 55.08\""
                                        << "West" << -dms(33, 51, 24.48) << -dms(151, 12, 55.08);
        QTest::newRow("composite, hemisphere in the value")
            << "33 deg 51' 24.48\" S"
            << ""
            << "151 deg 12' 55.08\" E"
            << "" << -dms(33, 51, 24.48) << dms(151, 12, 55.08);
        QTest::newRow("-n") << "33.8568"
                            << "S"
                            << "151.2153"
                            << "W" << -33.8568 << -151.2153;
        QTest::newRow("-n composite, signed") << "-33.8568"
                                              << ""
                                              << "-151.2153"
                                              << "" << -33.8568 << -151.2153;
        QTest::newRow("signed and its reference agree") << "-33.8568"
                                                        << "South"
                                                        << "151.2153"
                                                        << "E" << -33.8568 << 151.2153;
        QTest::newRow("decimal minutes, blanks around") << " 43 deg 28.5' \n"
                                                        << "N"
                                                        << "11 deg"
                                                        << "E" << dms(43, 28.5, 0) << 11.0;
        QTest::newRow("on the equator") << "0 deg 0' 0.00\""
                                        << "North"
                                        << "11.5"
                                        << "East" << 0.0 << 11.5;
    }
    void readsExiftoolsNotations()
    {
        QFETCH(QString, latitude);
        QFETCH(QString, latitudeRef);
        QFETCH(QString, longitude);
        QFETCH(QString, longitudeRef);
        QFETCH(double, expectedLatitude);
        QFETCH(double, expectedLongitude);
        ExifGps::Position p;
        QString error;
        QVERIFY2(readXml(exifXml(latitude, latitudeRef, longitude, longitudeRef), p, error),
                 qPrintable(error));
        QVERIFY2(
            std::abs(p.latitude - expectedLatitude) < 1e-12 &&
                std::abs(p.longitude - expectedLongitude) < 1e-12,
            qPrintable(QStringLiteral("%1 %2").arg(p.latitude, 0, 'g', 17).arg(p.longitude, 0, 'g', 17)));
    }

    // The matcher's own reader took "43 deg 99' 99\"" as 44.68, "43 deg
    // -30'" as 42.5, "0x2A" as 42 and "43,5" as 43 deg 5'; this one took
    // exponents and the 0, 0 that cameras write without a fix. Neither is a
    // position.
    void refusesWhatNoCameraWrites_data()
    {
        QTest::addColumn<QString>("latitude");
        QTest::addColumn<QString>("latitudeRef");
        QTest::addColumn<QString>("longitude");
        QTest::addColumn<QString>("reason");
        QTest::newRow("minutes and seconds beyond 60") << "43 deg 99' 99\""
                                                       << "North"
                                                       << "11.5"
                                                       << "not in degrees";
        QTest::newRow("seconds of 60") << "43 deg 28' 60\""
                                       << "North"
                                       << "11.5"
                                       << "not in degrees";
        QTest::newRow("sign inside") << "43 deg -30'"
                                     << "North"
                                     << "11.5"
                                     << "not in degrees";
        QTest::newRow("hexadecimal") << "0x2A"
                                     << "North"
                                     << "11.5"
                                     << "not in degrees";
        QTest::newRow("decimal comma") << "43,5"
                                       << "North"
                                       << "11.5"
                                       << "not in degrees";
        QTest::newRow("exponent") << "4.3e1"
                                  << "North"
                                  << "11.5"
                                  << "not in degrees";
        QTest::newRow("not a number") << "nan"
                                      << "North"
                                      << "11.5"
                                      << "not in degrees";
        QTest::newRow("seconds before minutes") << "43 deg 2\" 28'"
                                                << "North"
                                                << "11.5"
                                                << "not in degrees";
        QTest::newRow("sign and hemisphere") << "-43.5 N"
                                             << ""
                                             << "11.5"
                                             << "not in degrees";
        QTest::newRow("hemisphere of the other axis") << "43.5 E"
                                                      << ""
                                                      << "11.5"
                                                      << "not in degrees";
        QTest::newRow("reference contradicts the value") << "43.5 S"
                                                         << "North"
                                                         << "11.5"
                                                         << "contradicts";
        QTest::newRow("reference of no hemisphere") << "43.5"
                                                    << "Unknown ()"
                                                    << "11.5"
                                                    << "names no hemisphere";
        QTest::newRow("beyond the pole") << "90 deg 0' 1\""
                                         << "North"
                                         << "11.5"
                                         << "beyond 90";
        QTest::newRow("null island") << "0"
                                     << "North"
                                     << "0"
                                     << "0, 0";
        QTest::newRow("null island, exiftool's notation") << "0 deg 0' 0.00\""
                                                          << "North"
                                                          << "0 deg 0' 0.00\""
                                                          << "0, 0";
    }
    void refusesWhatNoCameraWrites()
    {
        QFETCH(QString, latitude);
        QFETCH(QString, latitudeRef);
        QFETCH(QString, longitude);
        QFETCH(QString, reason);
        ExifGps::Position p;
        QString error;
        QVERIFY(!readXml(exifXml(latitude, latitudeRef, longitude, "East"), p, error));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    // Tags count as elements only: not inside an attribute's text, nor in
    // a comment.
    void tagsInTextAreNoElements_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::newRow("in an attribute")
            << QByteArray("<rdf:RDF><rdf:Description rdf:about='a:GPSLongitude>11.5'>"
                          "<GPS:GPSLatitude>43.5</GPS:GPSLatitude></rdf:Description></rdf:RDF>");
        QTest::newRow("in a comment")
            << QByteArray("<rdf:RDF><rdf:Description><!-- <GPS:GPSLongitude>11.5</GPS:GPSLongitude> -->"
                          "<GPS:GPSLatitude>43.5</GPS:GPSLatitude></rdf:Description></rdf:RDF>");
    }
    void tagsInTextAreNoElements()
    {
        QFETCH(QByteArray, xml);
        ExifGps::Position p;
        QString error;
        QVERIFY(!readXml(xml, p, error));
        QCOMPARE(error, QString("no GPS position"));
    }

    // What a receiver says of its fix: a DJI drone's RTK flag and standard
    // deviations in its XMP, EXIF's horizontal positioning error.
    void readsTheAccuracyOfTheFix_data()
    {
        QTest::addColumn<QByteArray>("tags");
        QTest::addColumn<double>("east");
        QTest::addColumn<double>("north");
        QTest::addColumn<double>("height");
        QTest::addColumn<bool>("rtk");
        const double nan = std::nan("");
        QTest::newRow("none") << QByteArray() << nan << nan << nan << false;
        QTest::newRow("DJI RTK fixed")
            << QByteArray(
                   "<drone-dji:RtkFlag>50</drone-dji:RtkFlag><drone-dji:RtkStdLon>0.012</drone-dji:RtkStdLon>"
                   "<drone-dji:RtkStdLat>0.015</drone-dji:RtkStdLat><drone-dji:RtkStdHgt>0.031</"
                   "drone-dji:RtkStdHgt>")
            << 0.012 << 0.015 << 0.031 << true;
        QTest::newRow("DJI RTK float")
            << QByteArray("<drone-dji:RtkFlag>34</drone-dji:RtkFlag>") << nan << nan << nan << false;
        QTest::newRow("EXIF horizontal error")
            << QByteArray("<GPS:GPSHPositioningError>1.5 m</GPS:GPSHPositioningError>") << 1.5 << 1.5 << nan
            << false;
        QTest::newRow("zero says nothing")
            << QByteArray("<GPS:GPSHPositioningError>0</GPS:GPSHPositioningError>") << nan << nan << nan
            << false;
    }

    void readsTheAccuracyOfTheFix()
    {
        QFETCH(QByteArray, tags);
        QFETCH(double, east);
        QFETCH(double, north);
        QFETCH(double, height);
        QFETCH(bool, rtk);
        QByteArray xml = exifXml("43.5", "North", "11.5", "East");
        xml.replace("</rdf:Description>", tags + "</rdf:Description>");
        ExifGps::Position p;
        QString error;
        QVERIFY2(readXml(xml, p, error), qPrintable(error));
        const auto same = [](double a, double b) { return std::isnan(a) ? std::isnan(b) : a == b; };
        QVERIFY(same(p.sigmaEast, east));
        QVERIFY(same(p.sigmaNorth, north));
        QVERIFY(same(p.sigmaHeight, height));
        QCOMPARE(p.rtkFixed, rtk);
    }

    // Where a DJI camera looked from, as its XMP says: signed plain numbers;
    // a pitch past straight down says nothing.
    void readsTheGimbalAndHeight()
    {
        const auto read = [](const QByteArray& tags) {
            QByteArray xml = exifXml("43.5", "North", "11.5", "East");
            xml.replace("</rdf:Description>", tags + "</rdf:Description>");
            ExifGps::Position p;
            QString error;
            if (!readXml(xml, p, error))
                qWarning() << error;
            return p;
        };
        const ExifGps::Position dji = read("<drone-dji:RelativeAltitude>+60.25</drone-dji:RelativeAltitude>"
                                           "<drone-dji:GimbalPitchDegree>-89.90</drone-dji:GimbalPitchDegree>"
                                           "<drone-dji:GimbalYawDegree>-12.5</drone-dji:GimbalYawDegree>");
        QCOMPARE(dji.heightAboveTakeOff, 60.25);
        QCOMPARE(dji.gimbalPitch, -89.9);
        QCOMPARE(dji.gimbalYaw, -12.5);
        const ExifGps::Position none = read("<drone-dji:GimbalPitchDegree>-120</drone-dji:GimbalPitchDegree>");
        QVERIFY(std::isnan(none.heightAboveTakeOff) && std::isnan(none.gimbalPitch) && std::isnan(none.gimbalYaw));
    }

    // Blanks between the numbers used to be scanned again for every one of
    // them. A megabyte of them reads in one pass; the bound only catches the
    // square.
    void megabyteOfBlanksReadsInLinearTime()
    {
        const QString latitude = "43" + QString(1 << 20, ' ') + "deg 28' 2.81\"";
        ExifGps::Position p;
        QString error;
        QElapsedTimer timer;
        timer.start();
        QVERIFY2(readXml(exifXml(latitude, "North", "11.5", "East"), p, error), qPrintable(error));
        QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(std::abs(p.latitude - dms(43, 28, 2.81)) < 1e-12);
        // A message quotes a little of such a text, not all of it.
        QVERIFY(!readXml(exifXml(latitude + "x", "North", "11.5", "East"), p, error));
        QVERIFY2(error.size() < 200, qPrintable(error.left(200)));
    }
};

QTEST_GUILESS_MAIN(TestExifGps)
#include "tst_exifgps.moc"
