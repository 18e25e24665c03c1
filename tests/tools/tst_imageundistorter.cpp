#include <QtTest>

#include <sstream>

#include <opencv2/imgcodecs.hpp>

#include "ImageUndistorter.h"
#include "ToolTestSupport.h"

class TestImageUndistorter : public QObject
{
    Q_OBJECT

    static std::vector<std::string> args(const QString& image, const QString& numbers)
    {
        std::vector<std::string> a{ToolTest::backslashes(image)};
        for (const QString& n : numbers.split(' ', Qt::SkipEmptyParts))
            a.push_back(n.toStdString());
        return a;
    }

private slots:
    // The original moves to uncalibrated/ untouched; the bent image takes its
    // place and name, and a second run cannot bend it twice.
    void originalKeptAndUndistortedInPlace()
    {
        REQUIRE_SHARED_DATA();
        QTemporaryDir dir;
        const QString photo = ToolTest::copyKermit(dir.path(), {4}).first();
        QFile original(photo);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QByteArray bytes = original.readAll();
        original.close();
        std::ostringstream out, err;
        QCOMPARE(ImageUndistorter::run(
                     args(photo.left(photo.size() - 3) + "JPG", "660.5 660.5 320 240 0.2 0.05 0.001 0 0"),
                     out, err),
                 0);
        QFile kept(dir.filePath("uncalibrated/kermit004.jpg"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), bytes);
        const cv::Mat before = cv::imread(kept.fileName().toStdString());
        const cv::Mat after = cv::imread(photo.toStdString());
        QCOMPARE(after.cols, 640);
        QCOMPARE(after.rows, 480);
        // Pincushion distortion taken out: the corners are pulled from outside the
        // photo (black), the centre stays where it was.
        QVERIFY(cv::norm(after.at<cv::Vec3b>(2, 2)) < 30);
        QVERIFY(cv::norm(after.at<cv::Vec3b>(240, 320), before.at<cv::Vec3b>(240, 320)) < 40);
        QCOMPARE(QDir(dir.path()).entryList({"*.part*"}, QDir::Files).size(), 0);

        std::ostringstream out2, err2;
        QCOMPARE(ImageUndistorter::run(args(photo, "660.5 660.5 320 240 0.2 0.05 0.001 0 0"), out2, err2), 1);
        QVERIFY2(ToolTest::lastLine(err2).contains("was undistorted before"), err2.str().c_str());
    }

    void badInputSaysWhy_data()
    {
        QTest::addColumn<QString>("image");
        QTest::addColumn<QString>("numbers");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("too few numbers") << "kermit005.jpg"
                                         << "660 660 320 240" << 2 << "usage";
        QTest::newRow("not a number") << "kermit005.jpg"
                                      << "660 660 320 240 0 0 0 0 x" << 2 << "\"x\" is not a number";
        QTest::newRow("comma decimal") << "kermit005.jpg"
                                       << "660,5 660 320 240 0 0 0 0 0" << 2 << "not a number";
        QTest::newRow("zero focal") << "kermit005.jpg"
                                    << "0 660 320 240 0 0 0 0 0" << 1 << "focal lengths";
        QTest::newRow("missing photo") << "gone.jpg"
                                       << "660 660 320 240 0 0 0 0 0" << 1 << "image not found";
    }
    void badInputSaysWhy()
    {
        REQUIRE_SHARED_DATA();
        QFETCH(QString, image);
        QFETCH(QString, numbers);
        QFETCH(int, code);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        ToolTest::copyKermit(dir.path(), {5});
        std::ostringstream out, err;
        QCOMPARE(ImageUndistorter::run(args(dir.filePath(image), numbers), out, err), code);
        QVERIFY2(ToolTest::lastLine(err).contains(reason), err.str().c_str());
        QVERIFY(!QFile::exists(dir.filePath("uncalibrated/kermit005.jpg")));
    }
};

QTEST_GUILESS_MAIN(TestImageUndistorter)
#include "tst_imageundistorter.moc"
