#include <QtTest>

#include <QBuffer>

#include "core/images/ExifXmlReader.h"
#include "SharedData.h"

using Values = ExifXmlReader::Values;

// exiftool -X files as the real tool writes them, and documents that are not.
class TestExifXmlReader : public QObject
{
    Q_OBJECT
private slots:
    void makerNotesDoNotOverrideExif_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("make");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("focalLength");
        QTest::addColumn<QString>("exposureTime");
        QTest::addColumn<QString>("fNumber");
        // The maker notes that follow repeat exposure, aperture and focal
        // length with values of their own (Kodak 1/444, Canon 1/17 and 5.40625 mm).
        QTest::newRow("castle") << "exif/sceaux_100_7100.xml"
                                << "EASTMAN KODAK COMPANY"
                                << "KODAK Z612 ZOOM DIGITAL CAMERA"
                                << "5.8 mm"
                                << "1/400"
                                << "2.8";
        QTest::newRow("gps with entities") << "exif/gps_DSCN0010.xml"
                                           << "NIKON"
                                           << "COOLPIX P6000"
                                           << "24.0 mm"
                                           << "1/75"
                                           << "5.9";
        // Two photographs in one file: the first description counts.
        QTest::newRow("two descriptions") << "exif/kermit000_001_multi.xml"
                                          << "Canon"
                                          << "Canon PowerShot A10"
                                          << "5.4 mm"
                                          << "1/20"
                                          << "2.8";
    }
    void makerNotesDoNotOverrideExif()
    {
        REQUIRE_SHARED_DATA();
        QFETCH(QString, file);
        Values v;
        QString error;
        QVERIFY2(ExifXmlReader::readFile(SharedData::path(file), v, &error), qPrintable(error));
        QTEST(v.make, "make");
        QTEST(v.model, "model");
        QTEST(v.focalLength, "focalLength");
        QTEST(v.exposureTime, "exposureTime");
        QTEST(v.fNumber, "fNumber");
        QVERIFY(!v.fileSize.isEmpty());
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("make");
        QTest::newRow("other root") << QByteArray("<prj version='1.0'><Make>X</Make></prj>") << "kept";
        QTest::newRow("no description")
            << QByteArray("<rdf:RDF xmlns:rdf='r'><rdf:Other/></rdf:RDF>") << "kept";
        QTest::newRow("empty") << QByteArray() << "kept";
        // What came before the break stays read.
        QTest::newRow("truncated") << QByteArray(
                                          "<rdf:RDF xmlns:rdf='r'><rdf:Description><IFD0:Make xmlns:IFD0='i'>"
                                          "Kodak</IFD0:Make><IFD0:Mo")
                                   << "Kodak";
    }
    void refusals()
    {
        QFETCH(QByteArray, xml);
        QBuffer buffer(&xml);
        buffer.open(QIODevice::ReadOnly);
        Values v;
        v.make = "kept";
        v.model = "untouched";
        QString error;
        QVERIFY(!ExifXmlReader::read(buffer, v, &error));
        QVERIFY(!error.isEmpty());
        QTEST(v.make, "make");
        QCOMPARE(v.model, QString("untouched"));
    }
};

QTEST_MAIN(TestExifXmlReader)
#include "tst_exifxmlreader.moc"
