#include <QtTest>

#include <cmath>
#include <set>
#include <sstream>

#include "BundlerFile.h"
#include "FeatureDetection.h"
#include "GpuMatchFile.h"
#include "KeybFile.h"
#include "MatchTableFile.h"
#include "PairoloRun.h"
#include "ToolPaths.h"
#include "ToolTestSupport.h"

namespace
{

using Vec = std::array<double, 3>;

// The viewing ray (camera coordinates, Bundler's -z forward) of a pixel of
// a 640 x 480 photo, with Bundler's radial distortion taken out.
Vec ray(const BundlerFile::Camera& c, double col, double row)
{
    const double dx = (col - 320) / c.focal, dy = (240 - row) / c.focal;
    double ux = dx, uy = dy;
    for (int i = 0; i < 20; ++i) {
        const double r2 = ux * ux + uy * uy;
        const double s = 1 + c.k1 * r2 + c.k2 * r2 * r2;
        ux = dx / s;
        uy = dy / s;
    }
    return {ux, uy, -1};
}

Vec toWorld(const BundlerFile::Camera& c, const Vec& v)
{
    const auto& R = c.rotation;
    return {R[0] * v[0] + R[3] * v[1] + R[6] * v[2], R[1] * v[0] + R[4] * v[1] + R[7] * v[2],
            R[2] * v[0] + R[5] * v[1] + R[8] * v[2]};
}

Vec cross(const Vec& a, const Vec& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double dot(const Vec& a, const Vec& b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Distance in pixels of ray b from the epipolar plane of ray a, both in world directions.
double epipolarError(const BundlerFile::Camera& ca, const Vec& a, const BundlerFile::Camera& cb, const Vec& b)
{
    const Vec ea = ca.centre(), eb = cb.centre();
    Vec n = cross(toWorld(ca, a), {eb[0] - ea[0], eb[1] - ea[1], eb[2] - ea[2]});
    const double nn = std::sqrt(dot(n, n));
    const Vec wb = toWorld(cb, b);
    return std::abs(dot(n, wb)) / nn / std::sqrt(dot(wb, wb)) * cb.focal;
}

} // namespace

class TestPairoloRun : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QStringList m_photos;

    std::string keyb(int i) const
    {
        return ToolTest::backslashes(m_photos[i].left(m_photos[i].size() - 3) + "keyb");
    }

    int runPairs(const std::string& pairs, const QString& table, std::ostringstream& err)
    {
        ToolTest::writeText(m_dir.filePath("matchList_0.txt"), pairs);
        std::ostringstream out;
        return PairoloRun::run(ToolTest::backslashes(m_dir.filePath("matchList_0.txt")),
                               ToolTest::backslashes(table), {}, 2, out, err);
    }

private slots:
    void initTestCase()
    {
        REQUIRE_SHARED_DATA();
        m_photos = ToolTest::copyKermit(m_dir.path(), {0, 1, 2, 3});
        std::string list;
        for (const QString& p : m_photos)
            list += ToolTest::jpgName(p) + "\n";
        ToolTest::writeText(m_dir.filePath("sfmlist_0.txt"), list);
        std::ostringstream out, err;
        QCOMPARE(FeatureDetection::run(m_dir.filePath("sfmlist_0.txt").toStdString(), {}, 2, out, err), 0);
    }

    // Bundler's own reconstruction of these photos is the reference: nearly
    // every verified match lies on the epipolar line its cameras give.
    void verifiedMatchesAgreeWithBundlersCameras()
    {
        std::ostringstream err;
        const QString table = m_dir.filePath("matches.init_0.txt");
        const std::string pairs = keyb(0) + " " + keyb(1) + " 0 1\n" + keyb(0) + " " + keyb(2) + " 0 2\n" +
                                  keyb(1) + " " + keyb(2) + " 1 2";
        QCOMPARE(runPairs(pairs, table, err), 0);
        BundlerFile reference;
        QVERIFY(reference.readFile(SharedData::path("bundler/kermit_bundler_example.out").toStdString()));
        GpuMatchFile records;
        std::string error;
        QVERIFY2(records.readFile(m_dir.filePath("gpu_matches.init_0.txt").toStdString(), &error),
                 error.c_str());
        QCOMPARE(records.records.size(), size_t(3));
        MatchTableFile indexed;
        QVERIFY(indexed.readFile(table.toStdString()));
        QCOMPARE(indexed.pairs.size(), size_t(3));
        for (size_t r = 0; r < records.records.size(); ++r) {
            const auto& rec = records.records[r];
            // The viewer cuts the name after the last backslash.
            QVERIFY(rec.imageA.find('/') == std::string::npos);
            const int a = QString::fromStdString(GpuMatchFile::imageName(rec.imageA)).mid(6, 3).toInt();
            const int b = QString::fromStdString(GpuMatchFile::imageName(rec.imageB)).mid(6, 3).toInt();
            FeatureSet fa, fb;
            QVERIFY(KeybFile::readFile(ToolPaths::native(keyb(a)), fa));
            QVERIFY(KeybFile::readFile(ToolPaths::native(keyb(b)), fb));
            QVERIFY2(rec.featuresA.size() >= 50, qPrintable(QString::number(rec.featuresA.size())));
            int good = 0;
            for (size_t i = 0; i < rec.featuresA.size(); ++i) {
                const auto& ka = fa.keypoints.at(size_t(rec.featuresA[i]));
                const auto& kb = fb.keypoints.at(size_t(rec.featuresB[i]));
                const auto& ca = reference.cameras[size_t(a)];
                const auto& cb = reference.cameras[size_t(b)];
                good += epipolarError(ca, ray(ca, ka.x, ka.y), cb, ray(cb, kb.x, kb.y)) < 3.0;
            }
            QVERIFY2(good >= 0.9 * rec.featuresA.size(),
                     qPrintable(QStringLiteral("%1 of %2").arg(good).arg(rec.featuresA.size())));
            // The index table holds the same matches under the list indices.
            const auto& p = indexed.pairs[r];
            QCOMPARE(std::make_pair(p.first, p.second), std::make_pair(a, b));
            QCOMPARE(int(p.matches.size()), int(rec.featuresA.size()));
        }
    }

    // A later run over other pairs (new images) keeps the earlier records.
    void laterRunKeepsOtherPairs()
    {
        const QString table = m_dir.filePath("matches.init_1.txt");
        std::ostringstream err;
        QCOMPARE(runPairs(keyb(0) + " " + keyb(1) + " 0 1", table, err), 0);
        QCOMPARE(runPairs(keyb(1) + " " + keyb(2) + " 1 2\n" + keyb(0) + " " + keyb(1) + " 0 1", table, err),
                 0);
        GpuMatchFile records;
        QVERIFY(records.readFile(m_dir.filePath("gpu_matches.init_1.txt").toStdString()));
        QCOMPARE(records.records.size(), size_t(2));
        MatchTableFile indexed;
        QVERIFY(indexed.readFile(table.toStdString()));
        QCOMPARE(indexed.pairs.size(), size_t(2));
    }

    // The table keys its records by list index. Between two runs photo B
    // leaves the list and D joins it; the second run pairs only D with the
    // photos before it. Kept under their old indices, the earlier records
    // spoke of other photos: (0, 1), once A-B, read as A-C. Every record
    // must follow its photos by name to their places in the new list.
    void recordsFollowThePhotosWhenTheListChanges_data()
    {
        QTest::addColumn<QList<int>>("list"); // the second run's photos (0 A, 1 B, 2 C, 3 D)
        QTest::addColumn<bool>("listFile");   // listfocal.txt beside the plan names the whole list
        QTest::newRow("B removed, D added at the end") << QList<int>{0, 2, 3} << false;
        QTest::newRow("B removed, D added before C") << QList<int>{0, 3, 2} << true;
    }
    void recordsFollowThePhotosWhenTheListChanges()
    {
        QFETCH(QList<int>, list);
        QFETCH(bool, listFile);
        QTemporaryDir run;
        const QString table = run.filePath("matches.init_0.txt");
        const auto pairLine = [this](int a, int b, int ia, int ib) {
            return keyb(a) + " " + keyb(b) + " " + std::to_string(ia) + " " + std::to_string(ib) + "\n";
        };
        const auto runPlan = [&](const std::string& plan) {
            ToolTest::writeText(run.filePath("matchList_0.txt"), plan);
            std::ostringstream out, err;
            return PairoloRun::run(ToolTest::backslashes(run.filePath("matchList_0.txt")),
                                   ToolTest::backslashes(table), {}, 2, out, err);
        };
        // First run: A, B, C, every pair.
        QCOMPARE(runPlan(pairLine(0, 1, 0, 1) + pairLine(0, 2, 0, 2) + pairLine(1, 2, 1, 2)), 0);
        // Second run: the new photo D with those listed before it.
        const int d = list.indexOf(3);
        std::string plan, listed;
        for (int v = 0; v < d; ++v)
            plan += pairLine(3, list[v], d, v);
        for (int photo : list)
            listed += ToolTest::jpgName(m_photos[photo]) + "\n";
        if (listFile)
            ToolTest::writeText(run.filePath("listfocal.txt"), listed);
        QCOMPARE(runPlan(plan), 0);

        MatchTableFile indexed;
        GpuMatchFile records;
        QVERIFY(indexed.readFile(table.toStdString()));
        QVERIFY(records.readFile(run.filePath("gpu_matches.init_0.txt").toStdString()));
        const auto photoOf = [this](const std::string& image) {
            for (int i = 0; i < m_photos.size(); ++i)
                if (QFileInfo(m_photos[i]).fileName().toStdString() == GpuMatchFile::imageName(image))
                    return i;
            return -1;
        };
        // B's records are gone; A-C and the pairs of D are there, each under
        // the indices its photos have now, with the same matches in both files.
        std::set<std::pair<int, int>> expected{{0, 2}, {0, 3}, {2, 3}};
        if (d == 1)
            expected.erase({2, 3}); // D is paired only with the photos before it
        std::set<std::pair<int, int>> found;
        QCOMPARE(indexed.pairs.size(), records.records.size());
        for (const MatchTableFile::Pair& p : indexed.pairs) {
            const int a = list.value(p.first, -1), b = list.value(p.second, -1);
            QVERIFY(a >= 0 && b >= 0);
            found.insert(std::minmax(a, b));
            bool same = false;
            for (const GpuMatchFile::Record& r : records.records) {
                if (photoOf(r.imageA) != a || photoOf(r.imageB) != b)
                    continue;
                std::vector<std::pair<int, int>> matches;
                for (size_t k = 0; k < r.featuresA.size(); ++k)
                    matches.push_back({r.featuresA[k], r.featuresB[k]});
                same = matches == p.matches;
            }
            QVERIFY2(same, qPrintable(QStringLiteral("table pair %1 %2").arg(p.first).arg(p.second)));
        }
        QVERIFY(found == expected);
    }

    void badInputSaysWhy_data()
    {
        QTest::addColumn<QString>("pairs"); // %1, %2: feature files of two photos
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing features") << "%1 %2x 0 1"
                                          << "could not be matched; first: cannot open";
        QTest::newRow("malformed line") << "%1 %2 0"
                                        << "line 1 is not";
        QTest::newRow("negative index") << "%1 %2 0 -1"
                                        << "line 1 is not";
    }
    void badInputSaysWhy()
    {
        QFETCH(QString, pairs);
        QFETCH(QString, reason);
        std::ostringstream err;
        const QString table = m_dir.filePath("matches.init_2.txt");
        QCOMPARE(
            runPairs(
                pairs.arg(QString::fromStdString(keyb(0)), QString::fromStdString(keyb(1))).toStdString(),
                table, err),
            1);
        QVERIFY2(ToolTest::lastLine(err).contains(reason), err.str().c_str());
    }

    // The same photos give the same tables whatever the threads and the
    // memory: FLANN's trees draw from a per-thread generator, seeded here per
    // image, and a photo let go for want of memory is loaded again the same.
    void sameTableWhateverTheThreadsAndMemory()
    {
        const std::string pairs = keyb(0) + " " + keyb(1) + " 0 1\n" + keyb(0) + " " + keyb(2) + " 0 2\n" +
                                  keyb(1) + " " + keyb(2) + " 1 2\n" + keyb(0) + " " + keyb(3) + " 0 3";
        ToolTest::writeText(m_dir.filePath("matchList_5.txt"), pairs);
        QByteArray tables[3];
        const struct {
            int threads;
            std::uint64_t memory;
        } runs[] = {{1, 0}, {3, 0}, {2, 1}};
        for (int r = 0; r < 3; ++r) {
            const QString table = m_dir.filePath(QStringLiteral("matches.init_t%1.txt").arg(r));
            std::ostringstream out, err;
            QCOMPARE(PairoloRun::run(ToolTest::backslashes(m_dir.filePath("matchList_5.txt")),
                                     ToolTest::backslashes(table), {}, runs[r].threads, out, err, {},
                                     runs[r].memory),
                     0);
            QFile file(table);
            QVERIFY(file.open(QIODevice::ReadOnly));
            tables[r] = file.readAll();
        }
        QVERIFY(!tables[0].isEmpty());
        QVERIFY(tables[0] == tables[1]);
        QVERIFY(tables[0] == tables[2]);
    }

    // A photo left out by feature detection has an empty feature file: its
    // pairs have no match, and the run goes on.
    void leftOutPhotoHasNoMatch()
    {
        FeatureSet empty;
        empty.imageName = "blank.jpg";
        QVERIFY(KeybFile::writeFile(m_dir.filePath("blank.keyb").toStdString(), empty));
        std::ostringstream err;
        const QString table = m_dir.filePath("matches.init_4.txt");
        QCOMPARE(runPairs(keyb(0) + " " + ToolTest::backslashes(m_dir.filePath("blank.keyb")) + " 0 9\n" +
                              keyb(0) + " " + keyb(1) + " 0 1",
                          table, err),
                 0);
        MatchTableFile indexed;
        QVERIFY(indexed.readFile(table.toStdString()));
        QCOMPARE(indexed.pairs.size(), size_t(1));
        QCOMPARE(indexed.pairs[0].second, 1);
    }

    // Photos that share nothing are no error: the batch leaves readable
    // (empty) files for the script that joins the batches.
    void noVerifiedPairStillWritesTheFiles()
    {
        FeatureSet a, b;
        QVERIFY(KeybFile::readFile(ToolPaths::native(keyb(0)), a));
        b = a;
        for (auto& d : b.descriptors)
            d = std::uint8_t(255 - d);
        b.imageName = "other.jpg";
        QVERIFY(KeybFile::writeFile(m_dir.filePath("other.keyb").toStdString(), b));
        std::ostringstream err;
        const QString table = m_dir.filePath("matches.init_3.txt");
        QCOMPARE(runPairs(keyb(0) + " " + ToolTest::backslashes(m_dir.filePath("other.keyb")) + " 0 9", table,
                          err),
                 0);
        QVERIFY(QFile::exists(table));
        GpuMatchFile records;
        QVERIFY(records.readFile(m_dir.filePath("gpu_matches.init_3.txt").toStdString()));
        QVERIFY(records.records.empty());
    }
};

QTEST_GUILESS_MAIN(TestPairoloRun)
#include "tst_pairolorun.moc"
