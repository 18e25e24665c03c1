#include <QtTest>

#include <sstream>

#include <opencv2/imgcodecs.hpp>

#include "FeatureDetection.h"
#include "KeybFile.h"
#include "LoweKeyFile.h"
#include "ToolTestSupport.h"

class TestFeatureDetection : public QObject
{
    Q_OBJECT
private slots:
    // The scripts call kermit000.jpg "kermit000.JPG": the tool finds the
    // photo, says so, and leaves kermit000.keyb and kermit000.key beside it.
    void featureFilesForJpgNames()
    {
        REQUIRE_SHARED_DATA();
        QTemporaryDir dir;
        const QStringList photos = ToolTest::copyKermit(dir.path(), {0, 1});
        ToolTest::writeText(dir.filePath("sfmlist_0.txt"),
                            ToolTest::jpgName(photos[0]) + "\n" + ToolTest::jpgName(photos[1]));
        std::ostringstream out, err;
        QCOMPARE(FeatureDetection::run(ToolTest::backslashes(dir.filePath("sfmlist_0.txt")), {}, 2, out, err),
                 0);
        const QString printed = QString::fromStdString(out.str());
        QVERIFY2(printed.contains("using " + photos[0]), qPrintable(printed));
        for (const QString& photo : photos) {
            FeatureSet keyb, key;
            std::string error;
            QVERIFY2(KeybFile::readFile(photo.left(photo.size() - 3).toStdString() + "keyb", keyb, &error),
                     error.c_str());
            QVERIFY(LoweKeyFile::readFile(photo.left(photo.size() - 3).toStdString() + "key", key));
            QVERIFY2(keyb.size() > 500, qPrintable(QString::number(keyb.size())));
            QVERIFY(printed.contains(QStringLiteral("%1: %2 features").arg(photo).arg(keyb.size())));
            QCOMPARE(key.size(), keyb.size());
            QCOMPARE(keyb.width, 640);
            QCOMPARE(QString::fromStdString(keyb.imageName), QFileInfo(photo).fileName());
            // Same features in the same order in both files.
            const size_t last = keyb.size() - 1;
            QVERIFY(std::abs(key.keypoints[last].x - keyb.keypoints[last].x) < 1e-3);
            QVERIFY(std::equal(key.descriptors.begin(), key.descriptors.end(), keyb.descriptors.begin()));
            for (const auto& k : keyb.keypoints)
                QVERIFY(k.x >= -0.5f && k.x < 640 && k.y >= -0.5f && k.y < 480 && k.scale > 0);
        }
        QCOMPARE(QDir(dir.path()).entryList({"*.part*"}, QDir::Files).size(), 0);
    }

    void badInputSaysWhy_data()
    {
        QTest::addColumn<QString>("list"); // %1: a real photo's JPG name, %2: the folder
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing photo") << "%1\n%2\\gone.JPG" << 1 << "1 of 2 images failed; first: ";
        QTest::newRow("blank photo") << "%2\\blank.JPG" << 1 << "no features found";
        QTest::newRow("not an image") << "%2\\text.JPG" << 1 << "cannot read image";
        QTest::newRow("no list") << "" << 1 << "cannot read the image list";
    }
    void badInputSaysWhy()
    {
        REQUIRE_SHARED_DATA();
        QFETCH(QString, list);
        QFETCH(int, code);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QStringList photos = ToolTest::copyKermit(dir.path(), {2});
        cv::imwrite(dir.filePath("blank.jpg").toStdString(), cv::Mat(200, 200, CV_8U, cv::Scalar(128)));
        ToolTest::writeText(dir.filePath("text.jpg"), "not a photo");
        const QString listPath = dir.filePath("sfmlist_1.txt");
        if (!list.isEmpty())
            ToolTest::writeText(listPath,
                                QString(list)
                                    .replace("%1", QString::fromStdString(ToolTest::jpgName(photos[0])))
                                    .replace("%2", QString::fromStdString(ToolTest::backslashes(dir.path())))
                                    .toStdString());
        std::ostringstream out, err;
        QCOMPARE(FeatureDetection::run(listPath.toStdString(), {}, 1, out, err), code);
        QVERIFY2(ToolTest::lastLine(err).contains(reason), err.str().c_str());
        // What could be done is done.
        if (list.startsWith("%1"))
            QVERIFY(QFile::exists(dir.filePath("kermit002.keyb")));
    }

    void emptyListIsNoError()
    {
        QTemporaryDir dir;
        ToolTest::writeText(dir.filePath("sfmlist_0.txt"), "");
        std::ostringstream out, err;
        QCOMPARE(FeatureDetection::run(dir.filePath("sfmlist_0.txt").toStdString(), {}, 1, out, err), 0);
        QVERIFY(err.str().empty());
    }
};

QTEST_GUILESS_MAIN(TestFeatureDetection)
#include "tst_featuredetection.moc"
