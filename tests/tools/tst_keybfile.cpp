#include <QtTest>

#include <sstream>

#include "KeybFile.h"
#include "LoweKeyFile.h"
#include "SharedData.h"

namespace
{

FeatureSet sample()
{
    FeatureSet f;
    f.imageName = "a.jpg";
    f.width = 640;
    f.height = 480;
    f.keypoints = {{12.25f, 400.5f, 1.75f, -3.1f}, {639.f, 0.f, 30.f, 0.5f}};
    f.descriptors.resize(2 * FeatureSet::descriptorSize);
    for (size_t i = 0; i < f.descriptors.size(); ++i)
        f.descriptors[i] = std::uint8_t(i * 7);
    return f;
}

} // namespace

class TestKeybFile : public QObject
{
    Q_OBJECT
private slots:
    void keybReadsBackWhatWasWritten()
    {
        std::stringstream bytes;
        KeybFile::write(bytes, sample());
        FeatureSet back;
        std::string error;
        QVERIFY2(KeybFile::read(bytes, back, &error), error.c_str());
        QCOMPARE(QString::fromStdString(back.imageName), QStringLiteral("a.jpg"));
        QCOMPARE(back.width, 640);
        QCOMPARE(back.keypoints[1].x, 639.f);
        QCOMPARE(back.keypoints[0].orientation, -3.1f);
        QVERIFY(back.descriptors == sample().descriptors);
    }

    void damagedKeybIsRefused_data()
    {
        QTest::addColumn<int>("cut");     // bytes taken off the end
        QTest::addColumn<int>("patchAt"); // byte offset overwritten with 0xff, -1: none
        QTest::addColumn<QString>("reason");
        QTest::newRow("truncated descriptors") << 5 << -1 << "size";
        QTest::newRow("header only") << 2 * (16 + 128) + 5 << -1 << "size";
        QTest::newRow("huge count") << 0 << 19 << "size";
        QTest::newRow("not ours") << 0 << 0 << "not a keyb";
        QTest::newRow("empty") << 100000 << -1 << "not a keyb";
    }
    void damagedKeybIsRefused()
    {
        QFETCH(int, cut);
        QFETCH(int, patchAt);
        QFETCH(QString, reason);
        std::stringstream bytes;
        KeybFile::write(bytes, sample());
        std::string text = bytes.str();
        text.resize(size_t(std::max(0, int(text.size()) - cut)));
        if (patchAt >= 0)
            text[size_t(patchAt)] = char(0xff);
        std::istringstream in(text);
        FeatureSet back;
        std::string error;
        QVERIFY(!KeybFile::read(in, back, &error));
        QVERIFY2(QString::fromStdString(error).contains(reason), error.c_str());
    }

    // Lowe's own files spread a keypoint over eight lines (here the key file
    // of the Bundler distribution's kermit000.jpg).
    void loweKeyReadsLowesLayout()
    {
        REQUIRE_SHARED_DATA();
        FeatureSet f;
        std::string error;
        QVERIFY2(LoweKeyFile::readFile(SharedData::path("sift/kermit000.key").toStdString(), f, &error),
                 error.c_str());
        QCOMPARE(int(f.size()), 1031);
        QVERIFY(f.keypoints[0].y >= 0 && f.keypoints[0].y < 480 && f.keypoints[0].x >= 0 &&
                f.keypoints[0].x < 640);
        QVERIFY(
            std::any_of(f.descriptors.begin(), f.descriptors.end(), [](std::uint8_t d) { return d > 100; }));
    }

    // The viewer takes the first four numbers of line i + 1 as keypoint i:
    // each keypoint must stand on a line of its own, row first.
    void loweKeyWritesOneKeypointPerLine()
    {
        std::stringstream text;
        LoweKeyFile::write(text, sample());
        std::string line;
        std::getline(text, line);
        QCOMPARE(QString::fromStdString(line), QStringLiteral("2 128"));
        for (const auto& k : sample().keypoints) {
            QVERIFY(std::getline(text, line));
            std::istringstream words(line);
            double y = 0, x = 0, scale = 0, orientation = 0;
            QVERIFY(words >> y >> x >> scale >> orientation);
            QCOMPARE(float(x), k.x);
            QCOMPARE(float(y), k.y);
            QCOMPARE(float(orientation), k.orientation);
        }
        text.seekg(0);
        FeatureSet back;
        QVERIFY(LoweKeyFile::read(text, back));
        QVERIFY(back.descriptors == sample().descriptors);
    }

    void damagedLoweKeyIsRefused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no header") << ""
                                   << "first line";
        QTest::newRow("wrong size") << "1 64\n1 2 3 4\n"
                                    << "first line";
        QTest::newRow("huge count") << "99999999 128\n1 2 3 4\n"
                                    << "larger";
        QTest::newRow("truncated") << "2 128\n1 2 3 4" + QString(" 1").repeated(128) + "\n5 6 7"
                                   << "keypoint 1";
        QTest::newRow("value above 255") << "1 128\n1 2 3 4 300" + QString(" 1").repeated(127) << "range";
    }
    void damagedLoweKeyIsRefused()
    {
        QFETCH(QString, text);
        QFETCH(QString, reason);
        std::istringstream in(text.toStdString());
        FeatureSet f;
        std::string error;
        QVERIFY(!LoweKeyFile::read(in, f, &error));
        QVERIFY2(QString::fromStdString(error).contains(reason), error.c_str());
    }

    void featureFileNamesFollowTheScripts_data()
    {
        QTest::addColumn<QString>("image");
        QTest::addColumn<QString>("keyb");
        QTest::addColumn<QString>("key");
        QTest::newRow("JPG name") << "C:\\site\\a.JPG"
                                  << "C:\\site\\a.keyb"
                                  << "C:\\site\\a.key";
        QTest::newRow("png") << "/site/b.png"
                             << "/site/b.keyb"
                             << "/site/b.key";
    }
    void featureFileNamesFollowTheScripts()
    {
        QFETCH(QString, image);
        QFETCH(QString, keyb);
        QFETCH(QString, key);
        QCOMPARE(QString::fromStdString(KeybFile::pathForImage(image.toStdString())), keyb);
        QCOMPARE(QString::fromStdString(LoweKeyFile::pathForImage(image.toStdString())), key);
    }
};

QTEST_GUILESS_MAIN(TestKeybFile)
#include "tst_keybfile.moc"
