#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "core/annotation/AnnotationValues.h"
#include "core/annotation/CategoryColour.h"
#include "core/annotation/DCodeIcon.h"

namespace
{

QStringList range(int low, int high)
{
    QStringList out;
    for (int i = low; i <= high; ++i)
        out << QString::number(i);
    return out;
}

void writeFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

} // namespace

class TestAnnotationValues : public QObject
{
    Q_OBJECT
private slots:
    void lociRange_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("loci");
        QTest::newRow("5-8") << "5-8" << range(5, 8);
        QTest::newRow("one locus") << "7-7" << range(7, 7);
        QTest::newRow("blanks") << " 10 - 12 " << range(10, 12);
        QTest::newRow("no dash") << "58" << range(0, 200);
        QTest::newRow("letters") << "a-b" << range(0, 200);
        QTest::newRow("reversed") << "8-5" << range(0, 200);
        QTest::newRow("open end") << "5-" << range(0, 200);
        QTest::newRow("three parts") << "1-2-3" << range(0, 200);
        QTest::newRow("empty") << "" << range(0, 200);
        QTest::newRow("huge") << "0-2000000000" << range(0, 200);
    }
    void lociRange()
    {
        QFETCH(QString, line);
        QFETCH(QStringList, loci);
        QCOMPARE(AnnotationValues::lociRange(line), loci);
    }

    void codeList()
    {
        QByteArray text("PO|PO-POTTERY\r\n\nBO|BO-BONE|extra\nPLAIN\n  ME | ME-METAL  \n|\n");
        QBuffer buffer(&text);
        buffer.open(QIODevice::ReadOnly | QIODevice::Text);
        QCOMPARE(AnnotationValues::readCodeList(buffer),
                 (QStringList{"PO-POTTERY", "BO-BONE|extra", "PLAIN", "ME-METAL"}));
    }

    void readFolder()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("d_code.txt"), "PO|PO-POTTERY\nBO|BO-BONE\n");
        writeFile(dir.filePath("siteyear.txt"), "Tel Orvalis,2015\nignored,line\n");
        writeFile(dir.filePath("lociRange.txt"), "5-8\n");
        writeFile(dir.filePath("squareRange.txt"), "A1, A2,B1\nC9\n");
        const AnnotationValues v = AnnotationValues::read(dir.path());
        QCOMPARE(v.dCodes, (QStringList{"PO-POTTERY", "BO-BONE"}));
        QVERIFY(v.locusDescs.isEmpty()); // missing file
        QCOMPARE(v.site, QString("Tel Orvalis"));
        QCOMPARE(v.year, QString("2015"));
        QCOMPARE(v.loci, range(5, 8));
        QCOMPARE(v.squares, (QStringList{"A1", "A2", "B1"}));
        QVERIFY(v.areas.isEmpty());

        writeFile(dir.filePath("siteyear.txt"), "Tel Orvalis,2015,extra\n"); // not exactly two parts
        QVERIFY(AnnotationValues::read(dir.path()).site.isEmpty());

        const AnnotationValues none = AnnotationValues::read(dir.filePath("missing"));
        QVERIFY(none.dCodes.isEmpty() && none.site.isEmpty());
        QCOMPARE(none.loci, range(0, 200));
    }

    // What the build puts beside the program must let a new user record at once.
    void shippedProjectFolder()
    {
        const QString app = ORVALIS_APP_DIR;
        const AnnotationValues v = AnnotationValues::read(app + "/project/");
        QCOMPARE(v.locusDescs,
                 (QStringList{"IN-INSTALLATION", "FL-FLOOR", "WA-WALL", "WF-WALL_COLLAPSE_FILL",
                              "FS-FILL_OVER_SURFACE", "FI-FILL", "ML-METALLURGY_LAYER", "SK-SLAG_LAYER",
                              "WC-WALL_COLLAPSE", "AA-ASH_LAYER", "TL-TOP_SOIL"}));
        QVERIFY(v.dCodes.size() >= 3);
        QVERIFY(!v.site.isEmpty() && !v.year.isEmpty());
        QVERIFY(!v.squares.isEmpty() && !v.areas.isEmpty() && !v.loci.isEmpty());
        QVERIFY(v.site.size() <= 15 && v.year.size() <= 15); // fits the form's fields
        QVERIFY(QFile::exists(app + "/d_code/generic.png"));
        for (const QString& code : v.dCodes)
            QCOMPARE(DCodeIcon::path(app, code), app + "/d_code/" + code.left(2) + ".png");
        QCOMPARE(DCodeIcon::path(app, "XX-UNKNOWN"), app + "/d_code/generic.png");
        QCOMPARE(DCodeIcon::path(app, "P"), app + "/d_code/generic.png");
        QCOMPARE(DCodeIcon::path(app, "./"), app + "/d_code/generic.png");
    }

    void listBuilders()
    {
        QCOMPARE(AnnotationValues::numberList(3, 5, false), (QStringList{"3", "4", "5"}));
        QCOMPARE(AnnotationValues::numberList(24, 27, true), (QStringList{"Y", "Z", "AA", "AB"}));
        QVERIFY(AnnotationValues::numberList(5, 3, false).isEmpty());
        QVERIFY(AnnotationValues::numberList(0, 2000000000, false).isEmpty());
        QCOMPARE(AnnotationValues::columnName(702), QString("AAA"));
        QCOMPARE(AnnotationValues::gridNames(1, "B", "S", 2, 2), (QStringList{"SB1", "SC1", "SB2", "SC2"}));
        QVERIFY(AnnotationValues::gridNames(1, "b", "", 2, 2).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestAnnotationValues)
#include "tst_annotationvalues.moc"
