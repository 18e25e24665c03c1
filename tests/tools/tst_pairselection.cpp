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
