#include <QtTest>

#include <cmath>
#include <sstream>

#include "BundlerFile.h"
#include "ImageListFile.h"
#include "SharedData.h"
#include "ToolPaths.h"
#include "ToolTestSupport.h"

class TestBundlerFile : public QObject
{
    Q_OBJECT
private slots:
    // Bundler's own result: unregistered cameras are recognised, and every
    // registered observation lies within a few pixels of its point's projection.
    void realBundleProjectsOntoItsViews()
    {
        REQUIRE_SHARED_DATA();
        BundlerFile bundle;
        std::string error;
        QVERIFY2(
            bundle.readFile(SharedData::path("bundler/kermit_bundler_example.out").toStdString(), &error),
            error.c_str());
        QCOMPARE(int(bundle.cameras.size()), 11);
        QCOMPARE(int(bundle.points.size()), 634);
        int unregistered = 0;
        for (const auto& c : bundle.cameras)
            unregistered += c.registered() ? 0 : 1;
        QCOMPARE(unregistered, 2);
        double worst = 0;
        for (const auto& p : bundle.points) {
            for (const auto& v : p.views) {
                double x = 0, y = 0;
                QVERIFY(bundle.cameras[v.camera].project(p.position, x, y));
                worst = std::max(worst, std::hypot(x - v.x, y - v.y));
            }
        }
        QVERIFY2(worst < 8.0, qPrintable(QString::number(worst)));
    }

    void writtenBundleReadsBackTheSameValues()
    {
        REQUIRE_SHARED_DATA();
        BundlerFile first, second;
        QVERIFY(first.readFile(SharedData::path("bundler/kermit_runsfm_bundle.out").toStdString()));
        std::stringstream text;
        first.write(text);
        QVERIFY(second.read(text));
        QCOMPARE(second.points.size(), first.points.size());
        for (size_t i = 0; i < first.cameras.size(); ++i) {
            QCOMPARE(second.cameras[i].focal, first.cameras[i].focal);
            QVERIFY(second.cameras[i].rotation == first.cameras[i].rotation);
            QVERIFY(second.cameras[i].translation == first.cameras[i].translation);
        }
        QVERIFY(second.points.back().position == first.points.back().position);
        QCOMPARE(second.points.back().views.size(), first.points.back().views.size());
    }

    void damagedBundlesAreRefusedWithTheLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        const QString cam = "1 0 0\n1 0 0\n0 1 0\n0 0 1\n0 0 -5\n";
        QTest::newRow("no header") << "1 0\n"
                                   << "v0.3";
        QTest::newRow("huge counts") << "# Bundle file v0.3\n99999999 99999999\n" + cam << "larger";
        QTest::newRow("truncated camera") << "# Bundle file v0.3\n1 0\n1 0 0\n1 0"
                                          << "camera";
        QTest::newRow("view of a missing camera")
            << "# Bundle file v0.3\n1 1\n" + cam + "0 0 0\n255 0 0\n1 3 0 1.5 2.5\n"
            << "camera 3";
    }
    // A pipe gives no size to check the counts against: records are taken
    // as they arrive, so huge counts end with the data, not in bad_alloc.
    void hugeCountsOnAPipeEndWithTheData_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        const QString cam = "1 0 0\n1 0 0\n0 1 0\n0 0 1\n0 0 -5\n";
        QTest::newRow("cameras") << "# Bundle file v0.3\n4611686018427387904 0\n" + cam + "1 0 0\n"
                                 << "camera (line 9)";
        QTest::newRow("points") << "# Bundle file v0.3\n1 4611686018427387904\n" + cam +
                                       "0 0 0\n255 0 0\n0\n0 0 0\n"
                                << "point (line 12)";
    }
    void hugeCountsOnAPipeEndWithTheData()
    {
        QFETCH(QString, text);
        QFETCH(QString, reason);
        ToolTest::PipeBuffer pipe(text.toStdString());
        std::istream in(&pipe);
        BundlerFile bundle;
        std::string error;
        QVERIFY(!bundle.read(in, &error));
        QVERIFY2(QString::fromStdString(error).contains("truncated or malformed " + reason), error.c_str());
    }

    void damagedBundlesAreRefusedWithTheLine()
    {
        QFETCH(QString, text);
        QFETCH(QString, reason);
        std::istringstream in(text.toStdString());
        BundlerFile bundle;
        std::string error;
        QVERIFY(!bundle.read(in, &error));
        QVERIFY2(QString::fromStdString(error).contains(reason), error.c_str());
    }

    void listLinesAndJpgNamesResolve()
    {
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString();
        QFile image(dir.filePath("a.jpg"));
        QVERIFY(image.open(QIODevice::WriteOnly));
        image.close();
        std::string note;
        QCOMPARE(QString::fromStdString(ToolPaths::resolveFile(folder + "\\a.JPG", &note)),
                 dir.filePath("a.jpg"));
        QVERIFY(!note.empty());
        QVERIFY(ToolPaths::resolveFile(folder + "/b.JPG").empty());

        ImageListFile list;
        list.entries = {{"C:\\site\\a.JPG", 4882.14}, {"C:\\site\\b.JPG", 0.1}};
        QVERIFY(list.writeFile(folder + "/list.txt", true));
        ImageListFile back;
        QVERIFY(back.readFile(folder + "/list.txt"));
        QCOMPARE(back.entries.size(), size_t(2));
        QCOMPARE(back.entries[1].focal, 0.1);
        QCOMPARE(QString::fromStdString(back.entries[0].image), QStringLiteral("C:\\site\\a.JPG"));
    }
};

QTEST_GUILESS_MAIN(TestBundlerFile)
#include "tst_bundlerfile.moc"
