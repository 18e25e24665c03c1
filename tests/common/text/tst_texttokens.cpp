#include <QtTest>

#include "common/numbers/NumberText.h"
#include "common/text/TextTokens.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// The words of a line are read whole: what is not a number as a whole is
// noticed, and every number written as shortest text reads back exactly.
class TestTextTokens : public QObject
{
    Q_OBJECT
private slots:
    void wordsThatAreNoNumber_data()
    {
        QTest::addColumn<QString>("word");
        QTest::newRow("two points") << "3500.5.25";
        QTest::newRow("letters glued on") << "12.5m";
        QTest::newRow("not a number") << "nan";
        QTest::newRow("infinite") << "inf";
        QTest::newRow("too large for a double") << "1e400";
        QTest::newRow("a word") << "height";
        QTest::newRow("comma decimal") << "0,5";
    }
    void wordsThatAreNoNumber()
    {
        QFETCH(QString, word);
        const std::string text = word.toStdString();
        double value = 7;
        QVERIFY(!TextTokens::number(text, value));
        const char* p = text.data();
        QVERIFY(!TextTokens::readExact(p, text.data() + text.size(), value));
        QVERIFY(p == text.data()); // readExact leaves a word it does not take
        QVERIFY(!TextTokens::readNumber(p, text.data() + text.size(), value));
        QVERIFY(p == text.data() + text.size()); // readNumber passes over it
        QCOMPARE(value, 7.0);
    }

    void integersAreWhole()
    {
        int count = 0;
        QVERIFY(TextTokens::number(std::string_view("42"), count) && count == 42);
        QVERIFY(!TextTokens::number(std::string_view("42.0"), count));
        QVERIFY(!TextTokens::number(std::string_view("99999999999"), count));
        QVERIFY(!TextTokens::number(std::string_view(""), count));
        QCOMPARE(count, 42);
    }

    // The pointer steps and the words agree on one line with every kind of
    // blank, words longer than the eight bytes read at a time, and shortest
    // texts of survey coordinates that must come back bit for bit.
    void stepsAndWordsReadTheSameLine()
    {
        const std::vector<double> values = {712345.674, 4123456.781, 0.1 + 0.2, -0.0, 5e-324, 1.5};
        std::string line = " \t";
        for (double v : values) {
            char text[NumberText::maxLength];
            line += std::string(text, NumberText::write(text, v)) + " \v\f\r";
        }
        const std::vector<std::string_view> words = TextTokens::split(line);
        QCOMPARE(words.size(), values.size());
        const char* p = line.data();
        const char* end = line.data() + line.size();
        for (size_t i = 0; i < values.size(); ++i) {
            double fromWord = 0, fromStep = 0;
            QVERIFY(TextTokens::number(words[i], fromWord));
            QVERIFY(TextTokens::toToken(p, end));
            QVERIFY(p == words[i].data());
            QVERIFY(TextTokens::readNumber(p, end, fromStep));
            QVERIFY(std::memcmp(&fromWord, &values[i], sizeof(double)) == 0);
            QVERIFY(std::memcmp(&fromStep, &values[i], sizeof(double)) == 0);
        }
        QVERIFY(!TextTokens::toToken(p, end));
    }

    void restKeepsBlanksInsideTheLastField()
    {
        const std::string line = "12 my photo 01.JPG \r";
        const std::vector<std::string_view> words = TextTokens::split(line);
        QCOMPARE(words.size(), size_t(4));
        QCOMPARE(TextTokens::rest(line, words[1]), std::string("my photo 01.JPG"));
        QCOMPARE(TextTokens::quoted(std::string(50, 'x')), "\"" + std::string(40, 'x') + "...\"");
    }

    void countLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("count");
        QTest::newRow("plain") << "1200" << true << qint64(1200);
        QTest::newRow("blanks around") << "  35 \r" << true << qint64(35);
        QTest::newRow("eighteen digits") << "999999999999999999" << true << qint64(999999999999999999LL);
        QTest::newRow("nineteen digits") << "1000000000000000000" << false << qint64(0);
        QTest::newRow("a point line") << "1 2 3" << false << qint64(0);
        QTest::newRow("negative") << "-5" << false << qint64(0);
        QTest::newRow("blank") << " \t" << false << qint64(0);
    }
    void countLines()
    {
        QFETCH(QString, line);
        QFETCH(bool, ok);
        QFETCH(qint64, count);
        const std::string text = line.toStdString();
        long long read = 0;
        QCOMPARE(TextTokens::readCountLine(text.data(), text.data() + text.size(), read), ok);
        QCOMPARE(qint64(read), count);
    }
};

QTEST_GUILESS_MAIN(TestTextTokens)
#include "tst_texttokens.moc"
