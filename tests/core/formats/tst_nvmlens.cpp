#include <QtTest>

#include <clocale>
#include <cstring>

#include "core/formats/NvmLens.h"

// The adjusted lens beside an NVM: what is written reads back as the same
// doubles, in any locale, and a damaged file is refused with its line.
class TestNvmLens : public QObject
{
    Q_OBJECT

private slots:
    void numbersAndNamesComeBackExactly()
    {
        // A comma-decimal locale must not reach the file.
        const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
        NvmLens::Camera c;
        c.width = 5472;
        c.height = 3648;
        c.fx = 3658.123456789012;
        c.fy = c.fx;
        c.cx = 2735.5 + 0.1 + 0.2;
        c.cy = 1823.4999999999998;
        c.k1 = -0.10000000000000002;
        c.k2 = 4.9e-324;
        c.image = "flight 2/DJI 0001.JPG";
        const QByteArray text = NvmLens::text({c, c});
        std::vector<NvmLens::Camera> read;
        std::string error;
        QVERIFY2(NvmLens::read(text.constData(), text.constData() + text.size(), read, &error), error.c_str());
        if (german)
            std::setlocale(LC_NUMERIC, "C");
        QCOMPARE(read.size(), size_t(2));
        const NvmLens::Camera& r = read[1];
        QCOMPARE(r.width, c.width);
        QCOMPARE(r.height, c.height);
        for (auto [a, b] : {std::pair{r.fx, c.fx}, {r.fy, c.fy}, {r.cx, c.cx}, {r.cy, c.cy}, {r.k1, c.k1}, {r.k2, c.k2}})
            QVERIFY2(std::memcmp(&a, &b, sizeof a) == 0, text.constData());
        QCOMPARE(r.image, c.image);
        QCOMPARE(NvmLens::pathFor("/site/sparse.nvm"), std::string("/site/sparse-intrinsics.txt"));
    }

    void damagedFilesSayWhere_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("why");
        const QByteArray head = "# Camera intrinsics v1\n";
        QTest::newRow("not ours") << QByteArray("NVM_V3\n") << "line 1: not a camera intrinsics file";
        QTest::newRow("huge count") << head + "99999999999\n" << "line 2: no camera count";
        QTest::newRow("missing camera") << head + "2\n60 40 50 50 30 20 0 0 a.jpg\n" << "line 4: camera 1 is missing";
        QTest::newRow("no image") << head + "1\n60 40 50 50 30 20 0 0\n" << "line 3: a camera needs";
        QTest::newRow("not a number") << head + "1\n60 40 50 50 30 20 0,1 0 a.jpg\n" << "line 3: \"0,1\"";
        QTest::newRow("no focal") << head + "1\n60 40 0 50 30 20 0 0 a.jpg\n" << "line 3: both focal";
        QTest::newRow("nan") << head + "1\n60 40 50 50 30 20 nan 0 a.jpg\n" << "line 3: \"nan\"";
    }

    void damagedFilesSayWhere()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, why);
        std::vector<NvmLens::Camera> read;
        std::string error;
        QVERIFY(!NvmLens::read(text.constData(), text.constData() + text.size(), read, &error));
        QVERIFY2(QString::fromStdString(error).startsWith(why), error.c_str());
        QVERIFY(read.empty());
    }
};

QTEST_GUILESS_MAIN(TestNvmLens)
#include "tst_nvmlens.moc"
