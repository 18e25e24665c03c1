#include <QtTest>

#include <sstream>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "FeatureDetection.h"
#include "KeybFile.h"
#include "LoweKeyFile.h"
#include "PhotoDecoder.h"
#include "SiftExtractor.h"
#include "ToolProcess.h"
#include "ToolTestSupport.h"

namespace
{

// A PNG's signature and header chunk: all a size is read from.
QByteArray pngHeader(quint32 width, quint32 height)
{
    QByteArray bytes = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452");
    for (quint32 v : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes += char((v >> shift) & 0xFF);
    return bytes + QByteArray::fromHex("0806000000");
}

} // namespace

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

    // A photo the list cannot use is left out with empty feature files and a
    // line naming it; the photos beside it are done and the run goes on.
    void badPhotoIsLeftOut_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("blank photo") << "blank.jpg" << "left out: no features";
        QTest::newRow("truncated JPEG") << "cut.jpg" << "left out: damaged JPEG";
        QTest::newRow("not an image") << "text.jpg" << "left out: cannot read image";
        QTest::newRow("missing photo") << "gone.jpg" << "left out: not found";
    }
    void badPhotoIsLeftOut()
    {
        REQUIRE_SHARED_DATA();
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QStringList photos = ToolTest::copyKermit(dir.path(), {2, 3});
        cv::imwrite(dir.filePath("blank.jpg").toStdString(), cv::Mat(200, 200, CV_8U, cv::Scalar(128)));
        ToolTest::writeText(dir.filePath("text.jpg"), "not a photo, but long enough to have a header");
        QFile whole(photos[0]);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        ToolTest::writeText(dir.filePath("cut.jpg"), whole.read(whole.size() / 2).toStdString());
        const QString bad = dir.filePath(name);
        ToolTest::writeText(dir.filePath("sfmlist_1.txt"), ToolTest::jpgName(photos[0]) + "\n" +
                                                               ToolTest::jpgName(bad) + "\n" +
                                                               ToolTest::jpgName(photos[1]));
        std::ostringstream out, err;
        QCOMPARE(FeatureDetection::run(dir.filePath("sfmlist_1.txt").toStdString(), {}, 2, out, err), 0);
        const QString printed = QString::fromStdString(out.str());
        const QString stem = bad.left(bad.size() - 3);
        QVERIFY2(printed.contains(stem + "jpg " + reason) || printed.contains(stem + "JPG " + reason),
                 qPrintable(printed));
        FeatureSet left;
        QVERIFY(KeybFile::readFile(dir.filePath(QFileInfo(name).completeBaseName() + ".keyb").toStdString(), left));
        QCOMPARE(left.size(), size_t(0));
        for (const QString& photo : photos) {
            FeatureSet good;
            QVERIFY(KeybFile::readFile(photo.left(photo.size() - 3).toStdString() + "keyb", good));
            QVERIFY(good.size() > 500);
        }
    }

    // A photo that made a library throw (a scan header running past the end
    // of the file threw length_error out of the header reader; OpenCV throws
    // on sizes beyond its limits) aborted the real tool, and the good photos
    // of its list got no features either. Now only that photo is left out.
    void damagedPhotoLeavesTheOthersDone_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("scan header past the end")
            << QByteArray::fromHex("ffd8ffc10011f8f0b80fa0030322000211010311"
                                   "01ffda000c")
            << "left out: damaged JPEG";
        QTest::newRow("size OpenCV refuses")
            << QByteArray("P5\n60000 60000\n255\n") + QByteArray(64, '\0') << "left out: cannot read image";
        QTest::newRow("PNG header of absurd size")
            << pngHeader(1024000, 536870912) << "left out: PNG header says 1024000 x 536870912 pixels";
    }
    void damagedPhotoLeavesTheOthersDone()
    {
        REQUIRE_SHARED_DATA();
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QStringList photos = ToolTest::copyKermit(dir.path(), {0});
        const QString bad = dir.filePath("bad.jpg");
        ToolTest::writeText(bad, bytes.toStdString());
        const QString list = dir.filePath("sfmlist_0.txt");
        ToolTest::writeText(list, ToolTest::jpgName(bad) + "\n" + ToolTest::jpgName(photos[0]));
        const ToolProcess run =
            ToolProcess::run("SfM/FeatureDetectors/SiftGPUMax", {ToolProcess::windows(list)});
        QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
        QVERIFY2(run.out.contains(bad + " " + reason), qPrintable(run.out));
        FeatureSet left, good;
        QVERIFY(KeybFile::readFile(dir.filePath("bad.keyb").toStdString(), left));
        QCOMPARE(left.size(), size_t(0));
        QVERIFY(KeybFile::readFile(dir.filePath("kermit000.keyb").toStdString(), good));
        QVERIFY2(good.size() > 500, qPrintable(run.out));
    }

    // A header whose size no photo has is refused with its numbers, not
    // clamped into one that looks plausible.
    void absurdHeaderSizeIsRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        QTest::newRow("PNG wider and taller than any photo")
            << pngHeader(1024000, 536870912)
            << "PNG header says 1024000 x 536870912 pixels, more than a photo can have";
        QTest::newRow("PNG of two gigapixels") << pngHeader(65536, 32768) << "65536 x 32768 pixels";
        QTest::newRow("JPEG of four gigapixels")
            << QByteArray::fromHex("ffd8ffc0000b08ffffffff01011100ffda0008010100003f00ffd9")
            << "JPEG header says 65535 x 65535 pixels";
        QTest::newRow("TIFF 4294967295 wide")
            << QByteArray::fromHex("49492a000800000002000001040001000000ffffffff010103000100000010000000")
            << "TIFF header says 4294967295 x 16 pixels";
        QTest::newRow("PNG of a large photo") << pngHeader(12000, 8000) << "";
    }
    void absurdHeaderSizeIsRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        std::istringstream in(bytes.toStdString());
        PhotoDecoder::Header header;
        std::string error;
        QCOMPARE(PhotoDecoder::readHeader(in, "photo", header, &error), reason.isEmpty());
        QVERIFY2(QString::fromStdString(error).contains(reason), error.c_str());
        if (reason.isEmpty())
            QVERIFY(header.width == 12000 && header.height == 8000);
    }

    // "Add Images" takes other photo types; the scripts still call each
    // photo by its "JPG name" (x.png is x.JPG, x.tiff is x.tJPG).
    void otherPhotoTypesByTheirJpgName_data()
    {
        QTest::addColumn<QString>("photo");
        QTest::addColumn<QString>("listed");
        QTest::newRow("png") << "shot.png" << "shot.JPG";
        QTest::newRow("tif") << "shot.tif" << "shot.JPG";
        QTest::newRow("tiff") << "shot.tiff" << "shot.tJPG";
        QTest::newRow("jpeg by its stem") << "shot.jpeg" << "shot.JPG";
    }
    void otherPhotoTypesByTheirJpgName()
    {
        REQUIRE_SHARED_DATA();
        QFETCH(QString, photo);
        QFETCH(QString, listed);
        QTemporaryDir dir;
        const cv::Mat image = cv::imread(SharedData::path("images/kermit/kermit005.jpg").toStdString());
        QVERIFY(cv::imwrite(dir.filePath(photo).toStdString(), image));
        ToolTest::writeText(dir.filePath("sfmlist_0.txt"), ToolTest::backslashes(dir.filePath(listed)));
        std::ostringstream out, err;
        QCOMPARE(FeatureDetection::run(dir.filePath("sfmlist_0.txt").toStdString(), {}, 1, out, err), 0);
        const QString printed = QString::fromStdString(out.str());
        QVERIFY2(printed.contains("using " + dir.filePath(photo)), qPrintable(printed));
        FeatureSet keyb;
        QVERIFY(KeybFile::readFile(dir.filePath(listed.left(listed.size() - 3) + "keyb").toStdString(), keyb));
        QVERIFY2(keyb.size() > 500, qPrintable(QString::number(keyb.size())));
        QCOMPARE(QString::fromStdString(keyb.imageName), photo);
        QCOMPARE(keyb.width, 640);
        QVERIFY(QFile::exists(dir.filePath("shot.key")));
    }

    void missingListSaysWhy()
    {
        QTemporaryDir dir;
        std::ostringstream out, err;
        QCOMPARE(FeatureDetection::run(dir.filePath("sfmlist_1.txt").toStdString(), {}, 1, out, err), 1);
        QVERIFY2(ToolTest::lastLine(err).contains("cannot read the image list"), err.str().c_str());
    }

    // Detection on the reduced photo gives its keypoints in the photo's own
    // pixels: where a detection on the full photo finds them.
    void reducedDetectionLandsOnPhotoPixels()
    {
        REQUIRE_SHARED_DATA();
        QTemporaryDir dir;
        const cv::Mat small =
            cv::imread(SharedData::path("images/kermit/kermit004.jpg").toStdString(), cv::IMREAD_GRAYSCALE)(
                cv::Rect(160, 120, 320, 240));
        cv::Mat large;
        cv::resize(small, large, cv::Size(1280, 960), 0, 0, cv::INTER_CUBIC);
        const std::string photo = dir.filePath("large.jpg").toStdString();
        QVERIFY(cv::imwrite(photo, large, {cv::IMWRITE_JPEG_QUALITY, 98}));
        SiftExtractor::Settings settings;
        settings.maxFeatures = 0;
        settings.maxImageSide = 0;
        FeatureSet full, reduced;
        QVERIFY(SiftExtractor(settings).extract(photo, full));
        settings.maxImageSide = 320; // a quarter: JPEG's own reduction, no resize
        QVERIFY(SiftExtractor(settings).extract(photo, reduced));
        QCOMPARE(reduced.width, 1280);
        QCOMPARE(reduced.height, 960);
        QVERIFY2(reduced.size() > 100, qPrintable(QString::number(reduced.size())));
        int near = 0;
        for (const auto& r : reduced.keypoints) {
            double best = 1e9;
            for (const auto& f : full.keypoints)
                if (f.scale > r.scale / 1.3 && f.scale < r.scale * 1.3)
                    best = std::min(best, double(std::hypot(f.x - r.x, f.y - r.y)));
            near += best < 1.0;
        }
        QVERIFY2(near > 0.6 * reduced.size(), qPrintable(QStringLiteral("%1 of %2").arg(near).arg(reduced.size())));
    }

    // The half-size first pass keeps what the full size keeps: on a rich
    // photo the same features within a pixel, but for some of the weakest of
    // the octave the limit cuts (their responses differ a little between the
    // two pyramids), also where the limit reaches into the half size's
    // doubled octave (features finer than its first octave's, under 3.2 px
    // at this size); on a poor one (too few features) the full size's exactly.
    void halfSizePassKeepsTheFullSizesFeatures_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<bool>("fine");
        QTest::newRow("its coarse octaves give the limit") << 3000 << false;
        QTest::newRow("its doubled octave is needed") << 12000 << true;
    }
    void halfSizePassKeepsTheFullSizesFeatures()
    {
        QFETCH(int, limit);
        QFETCH(bool, fine);
        QTemporaryDir dir;
        cv::Mat rich(1800, 2400, CV_8U);
        cv::RNG random(7);
        random.fill(rich, cv::RNG::UNIFORM, 0, 255);
        cv::GaussianBlur(rich, rich, cv::Size(0, 0), 3);
        cv::normalize(rich, rich, 0, 255, cv::NORM_MINMAX);
        cv::Mat poor(1800, 2400, CV_8U, cv::Scalar(128));
        for (int k = 0; k < 40; ++k)
            cv::circle(poor, {60 + 57 * k, 200 + 31 * k}, 12 + k % 7, cv::Scalar(20 + 5 * k), -1);
        SiftExtractor::Settings settings;
        settings.maxImageSide = 2400;
        settings.maxFeatures = limit;
        const SiftExtractor extractor(settings);
        for (const auto& [name, pixels] : {std::pair<const char*, cv::Mat>{"rich.png", rich}, {"poor.png", poor}}) {
            const std::string photo = dir.filePath(name).toStdString();
            QVERIFY(cv::imwrite(photo, pixels));
            FeatureSet quick, full;
            QVERIFY(extractor.extract(photo, quick));
            PhotoDecoder::Header header;
            PhotoDecoder::Reduced whole;
            QVERIFY(PhotoDecoder::readHeader(photo, header) && PhotoDecoder::decode(photo, header, 2400, whole));
            QVERIFY(extractor.extract(whole, full));
            QCOMPARE(quick.size(), full.size());
            size_t near = 0;
            for (const auto& q : quick.keypoints)
                near += std::any_of(full.keypoints.begin(), full.keypoints.end(), [&](const auto& f) {
                    return std::hypot(f.x - q.x, f.y - q.y) < 1.0 && std::abs(f.scale / q.scale - 1) < 0.2;
                });
            const bool finer = std::any_of(quick.keypoints.begin(), quick.keypoints.end(),
                                           [](const auto& k) { return k.scale < 3.2f; });
            if (std::string(name) == "rich.png")
                QVERIFY2(quick.size() == size_t(limit) && near > 0.85 * quick.size() && finer == fine,
                         qPrintable(QString::number(near)));
            else
                QVERIFY2(quick.size() < 3000 && near == quick.size(), qPrintable(QString::number(near)));
        }
    }

    // A photo's size without decoding it whole is the size OpenCV decodes:
    // odd sides a reduced decode would round, a turn its EXIF asks for, and
    // a PNG that has no JPEG header.
    void photoSizeIsTheDecodedSize()
    {
        QTemporaryDir dir;
        cv::Mat pixels(601, 1001, CV_8UC3, cv::Scalar(30, 90, 200));
        cv::circle(pixels, {300, 200}, 80, cv::Scalar(250, 250, 250), -1);
        const std::string jpeg = dir.filePath("p.jpg").toStdString(), turned = dir.filePath("t.jpg").toStdString(),
                          png = dir.filePath("p.png").toStdString();
        QVERIFY(cv::imwrite(jpeg, pixels) && cv::imwrite(turned, pixels) && cv::imwrite(png, pixels));
        QCOMPARE(QProcess::execute("exiftool", {"-q", "-overwrite_original", "-n", "-Orientation=6",
                                                 QString::fromStdString(turned)}),
                 0);
        for (const std::string& photo : {jpeg, turned, png}) {
            const cv::Mat decoded = cv::imread(photo, cv::IMREAD_GRAYSCALE);
            int width = 0, height = 0;
            QVERIFY(PhotoDecoder::photoSize(photo, width, height));
            QCOMPARE(width, decoded.cols);
            QCOMPARE(height, decoded.rows);
        }
        QCOMPARE(cv::imread(turned).cols, 601); // the turn was taken
        std::string error;
        int width = 0, height = 0;
        QVERIFY(!PhotoDecoder::photoSize(dir.filePath("none.jpg").toStdString(), width, height, &error));
        QVERIFY(!error.empty());
    }

    // Photos in flight are bounded by memory, not threads: a budget that
    // holds one photo runs them one at a time.
    void smallBudgetRunsPhotosOneAtATime()
    {
        REQUIRE_SHARED_DATA();
        QTemporaryDir dir;
        const QStringList photos = ToolTest::copyKermit(dir.path(), {0, 1, 2});
        ToolTest::writeText(dir.filePath("sfmlist_0.txt"), ToolTest::jpgName(photos[0]) + "\n" +
                                                               ToolTest::jpgName(photos[1]) + "\n" +
                                                               ToolTest::jpgName(photos[2]));
        PhotoDecoder::Header header;
        QVERIFY(PhotoDecoder::readHeader(photos[0].toStdString(), header));
        QCOMPARE(header.width, 640);
        const std::uint64_t one = PhotoDecoder::memoryCost(header, SiftExtractor::Settings().maxImageSide);
        std::ostringstream out, err;
        QCOMPARE(FeatureDetection::run(dir.filePath("sfmlist_0.txt").toStdString(), {}, 3, out, err, one * 3 / 2),
                 0);
        QVERIFY2(QString::fromStdString(out.str()).contains("at most 1 photo(s) at once"), out.str().c_str());
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
