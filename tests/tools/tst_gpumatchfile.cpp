#include <QtTest>

#include <QBuffer>

#include <sstream>

#include "GpuMatchFile.h"
#include "MatchTableFile.h"
#include "ToolTestSupport.h"
#include "core/images/MatchSets.h"

class TestGpuMatchFile : public QObject
{
    Q_OBJECT
private slots:
    // The PBA script joins the batches with "type a b > all": the joined
    // file reads as both, and a pair matched again in a later run counts once.
    void concatenatedBatchesReadAsOne()
    {
        GpuMatchFile first, second;
        first.records = {{"C:\\site\\a.jpg", "C:\\site\\b.jpg", {1, 2}, {3, 4}},
                         {"C:\\site\\a.jpg", "C:\\site\\c.jpg", {5}, {6}}};
        second.records = {{"C:\\site\\c.jpg", "C:\\site\\a.jpg", {7, 8, 9}, {1, 2, 3}}};
        std::stringstream joined;
        first.write(joined);
        second.write(joined);
        GpuMatchFile all;
        std::string error;
        QVERIFY2(all.read(joined, &error), error.c_str());
        QCOMPARE(all.records.size(), size_t(3));
        all.removeDuplicates();
        QCOMPARE(all.records.size(), size_t(2));
        QCOMPARE(all.records.back().featuresA, std::vector<int>({7, 8, 9}));
        QCOMPARE(QString::fromStdString(GpuMatchFile::imageName(all.records.front().imageB)),
                 QStringLiteral("b.jpg"));

        MatchTableFile t1, t2;
        t1.pairs = {{0, 1, {{1, 3}, {2, 4}}}, {0, 2, {{5, 6}}}};
        t2.pairs = {{2, 0, {{7, 1}}}};
        std::stringstream table;
        t1.write(table);
        t2.write(table);
        MatchTableFile both;
        QVERIFY2(both.read(table, &error), error.c_str());
        both.removeDuplicates();
        QCOMPARE(both.pairs.size(), size_t(2));
        QCOMPARE(both.pairs.back().first, 2);
        QCOMPARE(both.pairs.back().matches.size(), size_t(1));
    }

    // The matcher's records as the image viewer reads them, one grammar for
    // both: a pair without matches used to swallow the next record, and a
    // folder with a blank split its paths.
    void viewerReadsWhatTheMatcherWrites_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("empty"); // the record without matches, -1 for none
        QTest::newRow("no matches first") << "C:\\site\\" << 0;
        QTest::newRow("no matches between") << "C:\\site\\" << 1;
        QTest::newRow("no matches last") << "C:\\site\\" << 2;
        QTest::newRow("folder with a blank") << "C:\\Grabung Sued 2\\" << -1;
    }
    void viewerReadsWhatTheMatcherWrites()
    {
        QFETCH(QString, folder);
        QFETCH(int, empty);
        const std::string f = folder.toStdString();
        GpuMatchFile written;
        written.records = {{f + "a.jpg", f + "b.jpg", {1, 2}, {3, 4}},
                           {f + "a.jpg", f + "c.jpg", {5}, {6}},
                           {f + "b.jpg", f + "c.jpg", {7}, {8}}};
        if (empty >= 0) {
            written.records[size_t(empty)].featuresA.clear();
            written.records[size_t(empty)].featuresB.clear();
        }
        std::ostringstream out;
        written.write(out);

        std::istringstream in(out.str());
        GpuMatchFile back;
        std::string error;
        QVERIFY2(back.read(in, &error), error.c_str());
        QCOMPARE(back.records.size(), size_t(3));
        QCOMPARE(back.records[2].imageB, f + "c.jpg");

        QBuffer device;
        device.setData(QByteArray::fromStdString(out.str()));
        device.open(QIODevice::ReadOnly);
        MatchSets viewer;
        QString reason;
        QVERIFY2(viewer.read(device, &reason), qPrintable(reason));
        QCOMPARE(viewer.entries().size(), 3);
        QCOMPARE(viewer.matchesOf("a.jpg", 1).size(), empty == 0 ? 0 : 1);
        QCOMPARE(viewer.matchesOf("c.jpg", 6).size(), empty == 1 ? 0 : 1);
        QCOMPARE(viewer.matchesOf("c.jpg", 8).size(), empty == 2 ? 0 : 1);
    }

    void damagedRecordsAreRefusedWithTheLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("count missing") << "a.jpg b.jpg\n1\n2\n"
                                       << "line 1";
        QTest::newRow("fewer indices") << "a.jpg b.jpg 3\n1 2\n3 4 5\n"
                                       << "3 feature indices of a.jpg (line 2)";
        QTest::newRow("more indices") << "a.jpg b.jpg 1\n1\n3 4\n"
                                      << "of b.jpg (line 3)";
        QTest::newRow("huge count") << "a.jpg b.jpg 999999999\n1 2\n"
                                    << "feature indices";
        QTest::newRow("negative index") << "\na.jpg b.jpg 1\n-1\n2\n"
                                        << "line 3";
        QTest::newRow("second line missing") << "a.jpg b.jpg 1\n"
                                             << "line 1";
    }
    void damagedRecordsAreRefusedWithTheLine()
    {
        QFETCH(QString, text);
        QFETCH(QString, reason);
        std::istringstream in(text.toStdString());
        GpuMatchFile file;
        std::string error;
        QVERIFY(!file.read(in, &error));
        QVERIFY2(QString::fromStdString(error).contains(reason), error.c_str());
    }

    void damagedTablesAreRefused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("pipe");
        QTest::addColumn<QString>("reason");
        QTest::newRow("truncated") << "0 1\n2\n1 2\n" << false << "record 1 is truncated";
        QTest::newRow("huge count") << "0 1\n99999999\n1 2\n" << false << "record 1 declares more";
        QTest::newRow("word") << "0 1\n1\n1 2\nend\n" << false << "record 2 does not start";
        // Without a size to check against, the matches are taken as they come.
        QTest::newRow("2147483647 on a pipe") << "0 1\n1\n3 4\n0 2\n2147483647\n1 2\n" << true
                                              << "record 2 is truncated";
    }
    void damagedTablesAreRefused()
    {
        QFETCH(QString, text);
        QFETCH(bool, pipe);
        QFETCH(QString, reason);
        ToolTest::PipeBuffer pipeBuffer(text.toStdString());
        std::istringstream file(text.toStdString());
        std::istream pipeStream(&pipeBuffer);
        std::istream& in = pipe ? pipeStream : file;
        MatchTableFile table;
        std::string error;
        QVERIFY(!table.read(in, &error));
        QVERIFY2(QString::fromStdString(error).contains(reason), error.c_str());
    }
};

QTEST_GUILESS_MAIN(TestGpuMatchFile)
#include "tst_gpumatchfile.moc"
