#include <QtTest>

#include "common/images/ExifFocal.h"
#include "SharedData.h"

namespace
{

// exiftool -X's layout with the focal values given (an empty one left out).
std::string exifXml(const char* resolution, const char* equivalent)
{
    std::string xml = "<?xml version='1.0' encoding='UTF-8'?>\n<rdf:RDF xmlns:rdf='x'>\n"
                      "<rdf:Description rdf:about='a.jpg' xmlns:et='y'>\n"
                      " <ExifIFD:FocalLength>5.4 mm</ExifIFD:FocalLength>\n"
                      " <ExifIFD:FocalPlaneResolutionUnit>inches</ExifIFD:FocalPlaneResolutionUnit>\n";
    if (*resolution)
        xml += std::string(" <ExifIFD:FocalPlaneXResolution>") + resolution +
               "</ExifIFD:FocalPlaneXResolution>\n";
    if (*equivalent)
        xml += std::string(" <ExifIFD:FocalLengthIn35mmFormat>") + equivalent +
               "</ExifIFD:FocalLengthIn35mmFormat>\n";
    return xml + "</rdf:Description>\n</rdf:RDF>\n";
}

} // namespace

class TestExifFocal : public QObject
{
    Q_OBJECT
private slots:
    void focalInPixels_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<double>("expected");
        // 5.4 mm at 3106.8 pixels per inch; Bundler's own estimate for these photos is 660.8.
        QTest::newRow("focal plane resolution") << "exif/kermit000.xml" << 640 << 480 << 660.5;
        QTest::newRow("resized photo") << "exif/kermit000.xml" << 320 << 240 << 330.25;
        // 35 mm equivalent over the diagonal; openMVG's calibration of this camera says 2905.88.
        QTest::newRow("35 mm equivalent") << "exif/sceaux_100_7100.xml" << 2832 << 2128 << 2865.6;
        QTest::newRow("35 mm equivalent, long lens") << "exif/gps_DSCN0010.xml" << 640 << 480 << 2070.88;
        QTest::newRow("no file") << "exif/none.xml" << 640 << 480 << 0.0;
    }
    void focalInPixels()
    {
        REQUIRE_SHARED_DATA();
        QFETCH(QString, file);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(double, expected);
        const double f = ExifFocal::fromXmlFile(SharedData::path(file).toStdString(), width, height);
        QVERIFY2(std::abs(f - expected) < 0.5, qPrintable(QString::number(f)));
    }

    // A photo turned upright for its EXIF orientation (6, 8) is 480 x 640 to
    // the tools, while the focal plane resolution still counts pixels of the
    // stored 640 wide image: 660.5 px, not 495.4 (scaled by the wrong side).
    void rotatedPhotoKeepsItsFocal_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("upright (1)") << 1 << 640 << 480;
        QTest::newRow("rotate 90 CW (6)") << 6 << 480 << 640;
        QTest::newRow("rotate 270 CW (8)") << 8 << 480 << 640;
        QTest::newRow("rotate 90 CW, no stored height") << 6 << 480 << 640;
    }
    void rotatedPhotoKeepsItsFocal()
    {
        REQUIRE_SHARED_DATA();
        QFETCH(int, orientation);
        QFETCH(int, width);
        QFETCH(int, height);
        const QString exiftool = QStandardPaths::findExecutable("exiftool");
        if (exiftool.isEmpty())
            QSKIP("exiftool not installed (tools/install-deps.sh)");
        QTemporaryDir dir;
        const QString photo = dir.filePath("turned.jpg");
        QVERIFY(QFile::copy(SharedData::path("images/kermit/kermit000.jpg"), photo));
        QFile::setPermissions(photo, QFile::ReadOwner | QFile::WriteOwner);
        QStringList tags{"-q", "-overwrite_original", QString("-Orientation#=%1").arg(orientation)};
        if (QByteArray(QTest::currentDataTag()).contains("no stored height"))
            tags << "-ExifIFD:ExifImageHeight=";
        QProcess tag;
        tag.start(exiftool, tags << photo);
        QVERIFY(tag.waitForFinished(30000) && tag.exitCode() == 0);
        QProcess xml;
        xml.setStandardOutputFile(dir.filePath("turned.xml"));
        xml.start(exiftool, {"-X", photo});
        QVERIFY(xml.waitForFinished(30000) && xml.exitCode() == 0);
        const double f = ExifFocal::fromXmlFile(dir.filePath("turned.xml").toStdString(), width, height);
        QVERIFY2(std::abs(f - 660.5) < 0.5, qPrintable(QString::number(f)));
    }

    // exiftool writes "inf" for a focal plane resolution of 1/0, and nothing
    // stops 1e31: such a focal length is passed over for the next source
    // with a reason, and a file that is not exiftool's XML gives nothing.
    void implausibleValuesGiveWayToTheNextSource_data()
    {
        QTest::addColumn<QString>("xml");
        QTest::addColumn<double>("expected");
        QTest::addColumn<QString>("warning");
        // 35 mm over the diagonal of 640 x 480: 647.2 px.
        QTest::newRow("plausible") << QString::fromStdString(exifXml("3106.8", "35")) << 660.5 << QString();
        QTest::newRow("resolution 1/0")
            << QString::fromStdString(exifXml("inf", "35")) << 647.2 << "focal plane resolution gives inf px";
        QTest::newRow("resolution 1e31, no equivalent")
            << QString::fromStdString(exifXml("1e31", "")) << 0.0 << "gives 2.12598e+30 px";
        QTest::newRow("tiny equivalent")
            << QString::fromStdString(exifXml("", "0.001")) << 0.0 << "35 mm equivalent focal length gives";
        QTest::newRow("not XML") << "FocalLength>5.4 mm</FocalLength FocalLengthIn35mmFormat>35</" << 0.0
                                 << "not exiftool's XML";
        QTest::newRow("elements outside an RDF root")
            << "<x><FocalLengthIn35mmFormat>35</FocalLengthIn35mmFormat></x>" << 0.0 << "not exiftool's XML";
        // Each unclosed tag used to search the rest of the file: 1 MB took 287 s.
        QTest::newRow("unclosed tags")
            << "<rdf:RDF>" + QString("<a>").repeated(100000) << 0.0 << "not exiftool's XML";
    }
    void implausibleValuesGiveWayToTheNextSource()
    {
        QFETCH(QString, xml);
        QFETCH(double, expected);
        QFETCH(QString, warning);
        std::string why;
        const double f = ExifFocal::fromXml(xml.toStdString(), 640, 480, nullptr, &why);
        QVERIFY2(std::abs(f - expected) < 0.5, qPrintable(QString::number(f)));
        QCOMPARE(why.empty(), warning.isEmpty());
        QVERIFY2(QString::fromStdString(why).contains(warning), why.c_str());
    }
};

QTEST_GUILESS_MAIN(TestExifFocal)
#include "tst_exiffocal.moc"
