#include <QBuffer>
#include <QtTest>

#include "core/images/FeatureFile.h"
#include "SharedData.h"

namespace
{

bool readText(const QByteArray& text, QVector<FeatureRecord>& out, QString* error = nullptr)
{
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    return FeatureFile::read(buffer, out, error);
}

// Two features with an 8-value descriptor spread over lines of 5 and 3.
const QByteArray lowe = "2 8\n"
                        "145.43 233.31 44.02 -0.117\n"
                        " 4 0 0 0 0\n 0 2 3\n"
                        "155.66 364.48 34.03 0.731\n"
                        " 49 4 0 0 0\n 1 41 116\n";

} // namespace

class TestFeatureFile : public QObject
{
    Q_OBJECT
private slots:
    // Lowe's layout spreads each descriptor over several lines; every feature
    // counts once, whatever the line breaks.
    void loweFileGivesOneFeaturePerKeypointNotPerLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("count");
        QTest::newRow("descriptor over lines") << lowe << 2;
        QTest::newRow("descriptor on the feature line")
            << QByteArray("2 3\n145.43 233.31 44.02 -0.117 1 2 3\n155.66 364.48 34.03 0.731 4 5 6\n") << 2;
        QTest::newRow("four values, header with length")
            << QByteArray("2 128\n145.43 233.31 44.02 -0.117\n155.66 364.48 34.03 0.731\n") << 2;
        QTest::newRow("four values, count only")
            << QByteArray("2\n145.43 233.31 44.02 -0.117\n155.66 364.48 34.03 0.731\n") << 2;
        QTest::newRow("crlf and blank lines")
            << QByteArray("2 8\r\n\r\n145.43 233.31 44.02 -0.117\r\n 4 0 0 0 0\r\n 0 2 3\r\n"
                          "155.66 364.48 34.03 0.731\r\n 49 4 0 0 0 1 41 116\r\n")
            << 2;
    }
    void loweFileGivesOneFeaturePerKeypointNotPerLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, count);
        QVector<FeatureRecord> features;
        QString error;
        QVERIFY2(readText(text, features, &error), qPrintable(error));
        QCOMPARE(features.size(), count);
        // Row first, then column.
        QCOMPARE(features[0].y, 145.43);
        QCOMPARE(features[0].x, 233.31);
        QCOMPARE(features[0].scale, 44.02);
        QCOMPARE(features[1].index, 1);
        QCOMPARE(features[1].orientation, 0.731);
    }

    void realSiftKeysOfKermit()
    {
        REQUIRE_SHARED_DATA();
        QVector<FeatureRecord> features;
        QString error;
        QVERIFY2(FeatureFile::readFile(SharedData::path("sift/kermit001.key"), features, &error),
                 qPrintable(error));
        QCOMPARE(features.size(), 1039);
        QCOMPARE(features.last().index, 1038);
        for (const FeatureRecord& f : features)
            QVERIFY(f.x >= 0 && f.x < 640 && f.y >= 0 && f.y < 480);
    }

    void brokenFilesKeepWhatCameBefore_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("kept");
        QTest::addColumn<QString>("reason");
        QTest::newRow("ends early") << QByteArray("3 0\n1.5 2.5 3 0.1\n2.5 3.5 3 0.1\n") << 2
                                    << "ends after 2 of 3";
        QTest::newRow("ends inside a descriptor")
            << lowe.left(lowe.size() - 5) << 2 << "inside the descriptor";
        QTest::newRow("huge count") << QByteArray("999999999 128\n1.5 2.5 3.5 0.5\n") << 1 << "ends after 1";
        QTest::newRow("no count") << QByteArray("key file\n") << 0 << "feature count";
        QTest::newRow("short feature line") << QByteArray("1\n1.5 2.5\n") << 0 << "row, column, scale";
        QTest::newRow("empty") << QByteArray() << 0 << "empty";
    }
    void brokenFilesKeepWhatCameBefore()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, kept);
        QFETCH(QString, reason);
        QVector<FeatureRecord> features;
        QString error;
        QVERIFY(!readText(text, features, &error));
        QCOMPARE(features.size(), kept);
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY2(error.contains("line"), qPrintable(error));
    }

    void pathBesideTheImage()
    {
        QCOMPARE(FeatureFile::pathFor("/site/day.1/IMG_0001.JPG"), QString("/site/day.1/IMG_0001.key"));
        QCOMPARE(FeatureFile::pathFor("/site/day.1/IMG_0001"), QString("/site/day.1/IMG_0001.key"));
    }
};

QTEST_GUILESS_MAIN(TestFeatureFile)
#include "tst_featurefile.moc"
