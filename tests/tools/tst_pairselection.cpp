#include <QtTest>

#include <set>
#include <sstream>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "FeatureDetection.h"
#include "KeybFile.h"
#include "MatchTableFile.h"
#include "PairSelection.h"
#include "PairoloRun.h"
#include "PhotoFootprint.h"
#include "ToolTestSupport.h"

namespace
{

using PairSet = std::set<std::pair<int, int>>;

std::vector<std::pair<int, int>> allPairs(int n)
{
    std::vector<std::pair<int, int>> pairs;
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j)
            pairs.emplace_back(i, j);
    return pairs;
}

// exiftool -X's GPS tags of a photo.
std::string gpsXml(double latitude, double longitude)
{
    return "<?xml version='1.0' encoding='UTF-8'?>\n<rdf:RDF>\n<rdf:Description>\n"
           " <GPS:GPSLatitudeRef>North</GPS:GPSLatitudeRef>\n <GPS:GPSLatitude>" +
           std::to_string(latitude) + "</GPS:GPSLatitude>\n <GPS:GPSLongitudeRef>West</GPS:GPSLongitudeRef>\n"
           " <GPS:GPSLongitude>" + std::to_string(longitude) + "</GPS:GPSLongitude>\n</rdf:Description>\n</rdf:RDF>\n";
}

// Photos p0.jpg .. p<n-1>.jpg with empty feature files and an EXIF XML
// each: `xml` with %1 standing for the photo's number.
std::vector<std::string> photosWithXml(const QTemporaryDir& dir, int n, const QString& xml)
{
    std::vector<std::string> keybs;
    for (int i = 0; i < n; ++i) {
        FeatureSet empty;
        empty.imageName = "p" + std::to_string(i) + ".jpg";
        keybs.push_back(dir.filePath(QStringLiteral("p%1.keyb").arg(i)).toStdString());
        KeybFile::writeFile(keybs.back(), empty);
        ToolTest::writeText(dir.filePath(QStringLiteral("p%1.xml").arg(i)), xml.arg(i).toStdString());
    }
    return keybs;
}

// exiftool -X's GPS elements around the given texts (in its escapes).
QString gpsText(const QString& latitude, const QString& longitude)
{
    return "<?xml version='1.0' encoding='UTF-8'?>\n<rdf:RDF>\n<rdf:Description>\n"
           " <GPS:GPSLatitudeRef>North</GPS:GPSLatitudeRef>\n <GPS:GPSLatitude>" +
           QString(latitude).replace('\'', "&#39;").replace('"', "&quot;") +
           "</GPS:GPSLatitude>\n <GPS:GPSLongitudeRef>East</GPS:GPSLongitudeRef>\n <GPS:GPSLongitude>" +
           longitude + "</GPS:GPSLongitude>\n</rdf:Description>\n</rdf:RDF>\n";
}

// A drone's EXIF and XMP: GPS, focal length, height above take-off, gimbal.
std::string droneXml(double latitude, double longitude, double height, double pitch, double yaw)
{
    const std::string xml = gpsXml(latitude, longitude);
    return xml.substr(0, xml.find("</rdf:Description>")) +
           " <ExifIFD:FocalLength>10.0 mm</ExifIFD:FocalLength>\n"
           " <ExifIFD:FocalPlaneXResolution>100</ExifIFD:FocalPlaneXResolution>\n"
           " <ExifIFD:FocalPlaneResolutionUnit>mm</ExifIFD:FocalPlaneResolutionUnit>\n"
           " <XMP-drone-dji:RelativeAltitude>+" + std::to_string(height) + "</XMP-drone-dji:RelativeAltitude>\n"
           " <XMP-drone-dji:GimbalPitchDegree>" + std::to_string(pitch) + "</XMP-drone-dji:GimbalPitchDegree>\n"
           " <XMP-drone-dji:GimbalYawDegree>" + std::to_string(yaw) + "</XMP-drone-dji:GimbalYawDegree>\n"
           "</rdf:Description>\n</rdf:RDF>\n";
}

} // namespace

class TestPairSelection : public QObject
{
    Q_OBJECT
private slots:
    // Six photos 10 m apart along a line: each keeps its two nearest.
    void nearestByGps()
    {
        QTemporaryDir dir;
        std::vector<std::string> keybs;
        for (int i = 0; i < 6; ++i) {
            FeatureSet empty;
            empty.imageName = "p" + std::to_string(i) + ".jpg";
            keybs.push_back(dir.filePath(QStringLiteral("p%1.keyb").arg(i)).toStdString());
            QVERIFY(KeybFile::writeFile(keybs.back(), empty));
            ToolTest::writeText(dir.filePath(QStringLiteral("p%1.xml").arg(i)),
                                gpsXml(48.0 + i * 10 / 111195.0, 2.0));
        }
        PairSelection::Settings settings;
        settings.perPhoto = 2;
        const auto pairs = allPairs(6);
        const auto choice = PairSelection::choose(keybs, pairs, settings, 2);
        PairSet kept;
        for (size_t p = 0; p < pairs.size(); ++p)
            if (choice.verify[p])
                kept.insert(pairs[p]);
        QCOMPARE(kept, (PairSet{{0, 1}, {0, 2}, {1, 2}, {2, 3}, {3, 4}, {3, 5}, {4, 5}}));
        QVERIFY2(QString::fromStdString(choice.how).contains("GPS"), choice.how.c_str());
    }

    // A photo of 4000 x 3000 px through 1000 px of focal length, 50 m up,
    // sees 200 x 150 m, turned with its yaw and pushed ahead by its pitch.
    void footprintOnTheGround()
    {
        PhotoFootprint::View v;
        v.east = 1000;
        v.north = 2000;
        v.aboveGround = 50;
        v.focal = 1000;
        v.imageWidth = 4000;
        v.imageHeight = 3000;
        auto near = [](cv::Point2d a, cv::Point2d b) { return cv::norm(a - b) < 1e-6; };
        const auto north = PhotoFootprint::ground(v); // top edge to the north: top-left corner north-west
        QCOMPARE(north.size(), size_t(4));
        QVERIFY(near(north[0], {900, 2075}) && near(north[2], {1100, 1925}));
        v.yaw = 90; // top edge to the east: top-left corner north-east
        QVERIFY(near(PhotoFootprint::ground(v)[0], {1075, 2100}));
        v.pitch = -75; // tilted 15 degrees forward: the edges 15 -/+ atan(1.5) degrees from straight down
        const auto tilted = PhotoFootprint::ground(v);
        const double halfField = std::atan(1.5) * 180 / M_PI;
        QCOMPARE(tilted.size(), size_t(4));
        QVERIFY(std::abs(tilted[3].x - (1000 + 50 * std::tan((15 - halfField) * M_PI / 180))) < 1e-6);
        QVERIFY(std::abs(tilted[0].x - (1000 + 50 * std::tan((15 + halfField) * M_PI / 180))) < 1e-6);
        v.pitch = -30; // its top corners above the horizon
        QVERIFY(PhotoFootprint::ground(v).empty());

        v.pitch = -90;
        v.yaw = 0;
        const auto a = PhotoFootprint::ground(v);
        v.east += 100; // half a footprint along
        const auto o = PhotoFootprint::overlap(a, PhotoFootprint::ground(v));
        QVERIFY(std::abs(o.ofSmaller - 0.5) < 1e-3 && std::abs(o.ofUnion - 1.0 / 3) < 1e-3);
        v.east += 100;
        QCOMPARE(PhotoFootprint::overlap(a, PhotoFootprint::ground(v)).ofSmaller, 0.0);
    }

    // Eight photos 10 m apart along a line, each seeing 30 m of it from
    // straight above: only photos up to two apart share ground, the nearer
    // the more. Photo 3's GPS put it 100 m aside: it shares ground with none
    // and keeps its two nearest by GPS instead. Photo 7 looked at the horizon:
    // no footprint, so its two nearest too.
    void footprintsChooseWhatSharesGround()
    {
        QTemporaryDir dir;
        std::vector<std::string> keybs;
        for (int i = 0; i < 8; ++i) {
            FeatureSet empty;
            empty.imageName = "p" + std::to_string(i) + ".jpg";
            empty.width = 4000; // 1000 px of focal length (10 mm at 100 px a mm), 7.5 m up: 30 m
            empty.height = 3000;
            keybs.push_back(dir.filePath(QStringLiteral("p%1.keyb").arg(i)).toStdString());
            QVERIFY(KeybFile::writeFile(keybs.back(), empty));
            ToolTest::writeText(dir.filePath(QStringLiteral("p%1.xml").arg(i)),
                                droneXml(48.0 + i * 10 / 111195.0, 2.0 + (i == 3 ? 100 / 74500.0 : 0), 7.5,
                                         i == 7 ? -45 : -90, 90));
        }
        PairSelection::Settings settings;
        settings.perPhoto = 2;
        settings.minPartners = 2;
        const auto pairs = allPairs(8);
        const auto choice = PairSelection::choose(keybs, pairs, settings, 2);
        PairSet kept;
        for (size_t p = 0; p < pairs.size(); ++p)
            if (choice.verify[p])
                kept.insert(pairs[p]);
        // By footprint, each its two best: 0-1 0-2 1-2 | 2: 1-2 0-2 | 4: 4-5 2-4 | 5: 4-5 5-6 | 6: 5-6 4-6.
        QCOMPARE(kept, (PairSet{{0, 1}, {0, 2}, {1, 2}, {2, 4}, {4, 5}, {5, 6}, {4, 6}, //
                                {2, 3}, {3, 4}, {6, 7}, {5, 7}}));
        QVERIFY2(QString::fromStdString(choice.how).contains("footprint"), choice.how.c_str());
        QVERIFY2(QString::fromStdString(choice.how).contains("2 nearest by GPS"), choice.how.c_str());
    }

    // The matcher reads positions as the workbench does: what no camera
    // writes places no photo (its own reader used to take each of these as
    // a position some metres from the next).
    void gpsNoCameraWritesIsNotUsed_data()
    {
        QTest::addColumn<QString>("xml");
        QTest::newRow("minutes beyond 60") << gpsText("48 deg 99' %1\"", "2.5");
        QTest::newRow("sign inside") << gpsText("48 deg -30' %1\"", "2.5");
        QTest::newRow("hexadecimal") << gpsText("0x30", "2.00%1");
        QTest::newRow("decimal comma") << gpsText("48,%1", "2.5");
        QTest::newRow("tag in an attribute")
            << QString("<rdf:RDF><rdf:Description rdf:about='x:GPSLatitude>48.00%1'>"
                       "<GPS:GPSLongitude>2.5</GPS:GPSLongitude></rdf:Description></rdf:RDF>");
    }
    void gpsNoCameraWritesIsNotUsed()
    {
        QFETCH(QString, xml);
        QTemporaryDir dir;
        const std::vector<std::string> keybs = photosWithXml(dir, 6, xml);
        PairSelection::Settings settings;
        settings.perPhoto = 2;
        const auto choice = PairSelection::choose(keybs, allPairs(6), settings, 2);
        QVERIFY2(!QString::fromStdString(choice.how).contains("GPS"), choice.how.c_str());
        QCOMPARE(int(std::count(choice.verify.begin(), choice.verify.end(), true)), 15);
    }

    // Blanks inside a latitude were scanned again for each of them: half a
    // megabyte took minutes a photo. Now they take one pass; the bound
    // only catches the square.
    void blanksInGpsReadInLinearTime()
    {
        QTemporaryDir dir;
        const QString blanks(1 << 19, ' ');
        const std::vector<std::string> keybs =
            photosWithXml(dir, 3, gpsText("48" + blanks + "deg 0' %1\"", "2.5"));
        PairSelection::Settings settings;
        settings.perPhoto = 1;
        QElapsedTimer timer;
        timer.start();
        const auto choice = PairSelection::choose(keybs, allPairs(3), settings, 1);
        QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY2(QString::fromStdString(choice.how).contains("GPS"), choice.how.c_str());
        // One second of latitude apart in a row: the ends are not each other's nearest.
        QCOMPARE(choice.verify, (std::vector<bool>{true, false, true}));
    }

    // Without GPS, or with one position for all, the photos' own features
    // decide: each of two scenes keeps its own pair, across the batches of
    // the plan, and the pairs left are written as having no match.
    void alikePhotosWithoutGps_data()
    {
        QTest::addColumn<bool>("sameGps");
        QTest::newRow("no GPS") << false;
        QTest::newRow("one position for all") << true;
    }
    void alikePhotosWithoutGps()
    {
        REQUIRE_SHARED_DATA();
        QFETCH(bool, sameGps);
        QTemporaryDir dir;
        QStringList photos = ToolTest::copyKermit(dir.path(), {0, 1});
        for (const char* name : {"100_7100", "100_7101"}) {
            const cv::Mat castle =
                cv::imread(SharedData::path(QStringLiteral("images/sceaux_castle/%1.JPG").arg(name)).toStdString());
            cv::Mat small;
            cv::resize(castle, small, cv::Size(640, 480), 0, 0, cv::INTER_AREA);
            photos << dir.filePath(QStringLiteral("%1.jpg").arg(name));
            QVERIFY(cv::imwrite(photos.last().toStdString(), small));
        }
        std::string list, batches[2];
        for (int i = 0; i < photos.size(); ++i) {
            list += ToolTest::jpgName(photos[i]) + "\n";
            if (sameGps)
                ToolTest::writeText(photos[i].left(photos[i].size() - 3) + "xml", gpsXml(48.1, 2.2));
        }
        ToolTest::writeText(dir.filePath("sfmlist_0.txt"), list);
        std::ostringstream out, err;
        QCOMPARE(FeatureDetection::run(dir.filePath("sfmlist_0.txt").toStdString(), {}, 2, out, err), 0);
        const auto pairs = allPairs(4);
        for (size_t p = 0; p < pairs.size(); ++p) {
            auto keyb = [&](int i) { return ToolTest::backslashes(photos[i].left(photos[i].size() - 3) + "keyb"); };
            batches[p % 2] += keyb(pairs[p].first) + " " + keyb(pairs[p].second) + " " +
                              std::to_string(pairs[p].first) + " " + std::to_string(pairs[p].second) + "\n";
        }
        PairSelection::Settings settings;
        settings.perPhoto = 1;
        PairSet verified;
        int examined = 0;
        for (int b = 0; b < 2; ++b)
            ToolTest::writeText(dir.filePath(QStringLiteral("matchList_%1.txt").arg(b)), batches[b]);
        for (int b = 0; b < 2; ++b) {
            const QString table = dir.filePath(QStringLiteral("matches.init_%1.txt").arg(b));
            std::ostringstream matched, failed;
            QCOMPARE(PairoloRun::run(dir.filePath(QStringLiteral("matchList_%1.txt").arg(b)).toStdString(),
                                     table.toStdString(), {}, 2, matched, failed, settings),
                     0);
            const QString said = QString::fromStdString(matched.str());
            QVERIFY2(said.contains("most alike"), qPrintable(said));
            examined += QRegularExpression("Verifying (\\d+) of").match(said).captured(1).toInt();
            MatchTableFile read;
            QVERIFY(read.readFile(table.toStdString()));
            for (const auto& p : read.pairs)
                verified.insert({p.first, p.second});
        }
        QCOMPARE(examined, 2);
        QCOMPARE(verified, (PairSet{{0, 1}, {2, 3}}));
    }
};

QTEST_GUILESS_MAIN(TestPairSelection)
#include "tst_pairselection.moc"
