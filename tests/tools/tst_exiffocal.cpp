#include <QtTest>

#include "ExifFocal.h"
#include "SharedData.h"

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
};

QTEST_GUILESS_MAIN(TestExifFocal)
#include "tst_exiffocal.moc"
