#include <QtTest>

#include "common/text/LineWords.h"

#include <string>

// A record's fields are taken word by word: a word that is no number of the
// field's type stops the record where a stream would read part of it.
class TestLineWords : public QObject
{
    Q_OBJECT
private slots:
    void recordsOfMixedFields()
    {
        const std::string line = "cam_01.jpg\t1200.5 1 0 0 0 712345.674 4123456.781 37 0\r";
        LineWords words(line);
        std::string name;
        double focal = 0, w = 0, x = 0, y = 0, z = 0, e = 0, n = 0, h = 0;
        int radial = -1;
        QVERIFY(words.word(name) && words.numbers(focal, w, x, y, z, e, n, h, radial));
        QCOMPARE(name, std::string("cam_01.jpg"));
        QCOMPARE(e, 712345.674);
        QCOMPARE(n, 4123456.781);
        QCOMPARE(radial, 0);
        QVERIFY(words.atEnd());
    }

    void aFieldThatIsNoNumberStopsTheRecord_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("culprit");
        QTest::newRow("two points") << "1 3500.5.25 3"
                                    << "\"3500.5.25\"";
        QTest::newRow("a fraction for a whole number") << "1 2 3.5"
                                                       << "\"3.5\"";
        QTest::newRow("unit glued on") << "1 2m 3"
                                       << "\"2m\"";
        QTest::newRow("too few fields") << "1 2"
                                        << "\"2\"";
    }
    void aFieldThatIsNoNumberStopsTheRecord()
    {
        QFETCH(QString, line);
        QFETCH(QString, culprit);
        const std::string text = line.toStdString();
        LineWords words(text);
        double a = 0, b = 0;
        int c = 0;
        QVERIFY(!words.numbers(a, b, c));
        QCOMPARE(QString::fromStdString(words.lastQuoted()), culprit);
    }

    void restIsTheLastFieldWithItsBlanks()
    {
        const std::string line = "3 12 my photo 01.JPG  ";
        LineWords words(line);
        int a = 0, b = 0;
        QVERIFY(words.numbers(a, b));
        QCOMPARE(words.rest(), std::string("my photo 01.JPG"));
    }
};

QTEST_GUILESS_MAIN(TestLineWords)
#include "tst_linewords.moc"
