#include <QtTest>

#include <cmath>

#include "SharedData.h"
#include "core/georef/ExifGps.h"
#include "core/georef/GeoReference.h"
#include "core/georef/GpsGeoreference.h"
#include "core/georef/UtmProjection.h"

class TestGpsGeoreference : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::vector<osg::Vec3d> m_model, m_survey;

    static QByteArray exifXml(const QString& latitude, const QString& latitudeRef, const QString& longitude,
                              const QString& longitudeRef, const QString& altitude)
    {
        return ("<?xml version='1.0' encoding='UTF-8'?>\n"
                "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
                "<rdf:Description xmlns:GPS='http://ns.exiftool.org/EXIF/GPS/1.0/'>\n"
                " <GPS:GPSLatitudeRef>" + latitudeRef + "</GPS:GPSLatitudeRef>\n"
                " <GPS:GPSLatitude>" + latitude.toHtmlEscaped() + "</GPS:GPSLatitude>\n"
                " <GPS:GPSLongitudeRef>" + longitudeRef + "</GPS:GPSLongitudeRef>\n"
                " <GPS:GPSLongitude>" + longitude.toHtmlEscaped() + "</GPS:GPSLongitude>\n"
                " <GPS:GPSAltitudeRef>Above Sea Level</GPS:GPSAltitudeRef>\n"
                " <GPS:GPSAltitude>" + altitude + "</GPS:GPSAltitude>\n"
                "</rdf:Description>\n</rdf:RDF>\n").toUtf8();
    }

    static bool write(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }

    // An NVM of eight cameras in a frame of its own, the photos' GPS placing
    // them by a known similarity in UTM 33N.
    void writeSurvey(const QString& folder, int withGps)
    {
        const osg::Matrixd rotation = osg::Matrixd::rotate(osg::Quat(1.1, osg::Vec3d(0.1, 0.2, 1)));
        const osg::Vec3d translation(712040.25, 4123020.5, 135.0);
        QByteArray nvm = "NVM_V3\n\n8\n";
        m_model.clear();
        m_survey.clear();
        const UtmProjection utm(32633);
        for (int i = 0; i < 8; ++i) {
            const osg::Vec3d p((i % 4) * 1.5 - 2.25, (i / 4) * 1.2 - 0.6, 0.05 * i);
            m_model.push_back(p);
            m_survey.push_back(translation + (p * rotation) * 10.0);
            const QString name = QString("IMG_%1.JPG").arg(i + 1, 4, 10, QChar('0'));
            nvm += name.toUtf8() + " 1000 1 0 0 0 " + QByteArray::number(p.x(), 'g', 17) + ' ' +
                   QByteArray::number(p.y(), 'g', 17) + ' ' + QByteArray::number(p.z(), 'g', 17) + " 0 0\n";
            if (i >= withGps)
                continue;
            double latitude, longitude;
            QVERIFY(utm.geographic(m_survey.back().x(), m_survey.back().y(), &latitude, &longitude));
            QVERIFY(write(folder + QString("/IMG_%1.xml").arg(i + 1, 4, 10, QChar('0')),
                          exifXml(QString::number(latitude, 'g', 17), "North", QString::number(longitude, 'g', 17),
                                  "East", QString::number(m_survey.back().z(), 'f', 6) + " m")));
        }
        nvm += "2\n0 0 0 200 200 200 2 0 0 1 1 1 0 2 2\n1 1 0 200 200 200 2 2 1 3 3 3 1 4 4\n";
        QVERIFY(write(folder + "/sparse.nvm", nvm));
    }

private slots:
    void readsExiftoolsNotations_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<double>("latitude");
        QTest::addColumn<double>("longitude");
        QTest::addColumn<double>("altitude");
        QTest::newRow("degrees, minutes, seconds") << exifXml("43 deg 28' 2.81\"", "North", "11 deg 53' 6.46\"", "East", "52.5 m")
                                                   << 43 + 28 / 60.0 + 2.81 / 3600 << 11 + 53 / 60.0 + 6.46 / 3600 << 52.5;
        QTest::newRow("south and west") << exifXml("34 deg 36' 0\"", "South", "58 deg 22' 48\"", "West", "25 m")
                                        << -34.6 << -58.38 << 25.0;
        QTest::newRow("plain numbers (-n)") << exifXml("40.5", "N", "17.25", "E", "133.531") << 40.5 << 17.25 << 133.531;
    }

    void readsExiftoolsNotations()
    {
        QFETCH(QByteArray, xml);
        QFETCH(double, latitude);
        QFETCH(double, longitude);
        QFETCH(double, altitude);
        QBuffer buffer(&xml);
        buffer.open(QIODevice::ReadOnly);
        ExifGps::Position p;
        QString error;
        QVERIFY2(ExifGps::read(buffer, &p, &error), qPrintable(error));
        QVERIFY(std::abs(p.latitude - latitude) < 1e-9 && std::abs(p.longitude - longitude) < 1e-9);
        QVERIFY(p.hasAltitude && std::abs(p.altitude - altitude) < 1e-9);
    }

    void readsARealCameraFile()
    {
        REQUIRE_SHARED_DATA_FOR("exif/gps_DSCN0010.xml");
        ExifGps::Position p;
        QString error;
        QVERIFY2(ExifGps::readFile(SharedData::path("exif/gps_DSCN0010.xml"), &p, &error), qPrintable(error));
        QVERIFY(std::abs(p.latitude - (43 + 28 / 60.0 + 2.81 / 3600)) < 1e-9);
        QVERIFY(std::abs(p.longitude - (11 + 53 / 60.0 + 6.46 / 3600)) < 1e-9);
    }

    void placesTheCamerasAtTheirGpsPositions()
    {
        const QString folder = m_dir.filePath("full");
        QVERIFY(QDir().mkpath(folder));
        writeSurvey(folder, 7); // the eighth photo has no EXIF file
        const GpsGeoreference::Outcome outcome = GpsGeoreference::run(folder + "/sparse.nvm");
        QVERIFY2(outcome.written, qPrintable(outcome.message));
        QCOMPARE(outcome.epsg, 32633);
        QCOMPARE(outcome.withGps, 7);
        QCOMPARE(outcome.used, 7);
        QVERIFY2(outcome.message.contains("EPSG:32633") && outcome.message.contains("7 of 8 photos used"),
                 qPrintable(outcome.message));
        // The companion file, read back as the scene reads it, puts every
        // camera (the one without GPS too) where the survey has it.
        GeoReference geo;
        QVERIFY(GeoReference::read(folder + "/sparse.txt", geo));
        for (size_t i = 0; i < m_model.size(); ++i)
            QVERIFY2((geo.apply(m_model[i]) - m_survey[i]).length() < 1e-3,
                     qPrintable(QString::number((geo.apply(m_model[i]) - m_survey[i]).length())));
    }

    void keepsTheOldCompanionWithTooFewFixes()
    {
        const QString folder = m_dir.filePath("few");
        QVERIFY(QDir().mkpath(folder));
        writeSurvey(folder, 2);
        const QByteArray old = "1 0 0\n0 1 0\n0 0 1\n5 5 5\n1 1 1\n";
        QVERIFY(write(folder + "/sparse.txt", old));
        const GpsGeoreference::Outcome outcome = GpsGeoreference::run(folder + "/sparse.nvm");
        QVERIFY(!outcome.written);
        QVERIFY2(outcome.message.contains("GPS on 2 of 8 photos"), qPrintable(outcome.message));
        QFile kept(folder + "/sparse.txt");
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), old);
    }
};

QTEST_GUILESS_MAIN(TestGpsGeoreference)
#include "tst_gpsgeoreference.moc"
