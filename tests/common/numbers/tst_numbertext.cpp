#include <QtTest>

#include "core/CommaLocale.h"
#include "common/numbers/NumberText.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

class TestNumberText : public QObject
{
    Q_OBJECT
private slots:
    void shortestTexts_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("short stays short") << 1.5 << "1.5";
        QTest::newRow("integer") << 2.0 << "2";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("UTM easting") << 712345.674 << "712345.674";
        QTest::newRow("UTM northing") << 4123456.781 << "4123456.781";
        QTest::newRow("a tenth") << 0.1 << "0.1";
        QTest::newRow("a million") << 1e6 << "1e+06";
        QTest::newRow("small") << 0.00001 << "1e-05";
        QTest::newRow("negative") << -863.725 << "-863.725";
        QTest::newRow("all seventeen digits") << 0.1 + 0.2 << "0.30000000000000004";
    }
    void shortestTexts()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(NumberText::shortestString(value)), text);
    }

    // A user in Germany writes the same files: no comma creeps in.
    void ignoresTheUsersLocale()
    {
        CommaLocale comma;
        if (!comma.active())
            QSKIP("no comma-decimal locale on this machine");
        QCOMPARE(QString::fromStdString(NumberText::shortestString(712345.674)), QString("712345.674"));
        char text[NumberText::maxLength];
        QCOMPARE(QByteArray(text, int(NumberText::write(text, 1.5f) - text)), QByteArray("1.5"));
    }

    // read() is the exact reverse of write(): every finite double and the
    // special values come back bit for bit, where a digit-by-digit parser gives another
    // double for most values with many digits (712345.674 came back as
    // 712345.67399999988) and none for the extremes.
    void readGivesBackEveryWrittenDouble()
    {
        const double special[] = {712345.674,
                                  4123456.781,
                                  -0.0,
                                  0.0,
                                  std::numeric_limits<double>::denorm_min(),
                                  -std::numeric_limits<double>::denorm_min(),
                                  std::numeric_limits<double>::min(),
                                  std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::lowest(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity()};
        QVector<double> values(std::begin(special), std::end(special));
        std::mt19937_64 random(7);
        while (values.size() < 200000) {
            const quint64 bits = random();
            double v;
            std::memcpy(&v, &bits, sizeof v);
            if (!std::isnan(v))
                values << v;
        }
        for (double v : values) {
            char text[NumberText::maxLength];
            const char* end = NumberText::write(text, v);
            double back = 1.0;
            QVERIFY2(NumberText::read(text, end, back),
                     qPrintable(QString::fromLatin1(text, int(end - text))));
            QVERIFY2(std::memcmp(&back, &v, sizeof v) == 0,
                     qPrintable(QString::fromLatin1(text, int(end - text))));
        }
        char text[NumberText::maxLength];
        const char* end = NumberText::write(text, std::nan(""));
        double back = 0;
        QVERIFY(NumberText::read(text, end, back) && std::isnan(back));
    }

    // The float reading rounds once, to the float: every float's text comes
    // back as that float, also where the double nearest to the text lies
    // halfway between two floats (7.038531e-26) and where the text itself
    // does (1.203e+09).
    void readGivesBackEveryWrittenFloat()
    {
        QVector<float> values = {7.038531e-26f,
                                 1.203e9f,
                                 -0.0f,
                                 std::numeric_limits<float>::denorm_min(),
                                 std::numeric_limits<float>::min(),
                                 std::numeric_limits<float>::max(),
                                 std::numeric_limits<float>::lowest(),
                                 std::numeric_limits<float>::infinity()};
        std::mt19937 random(7);
        while (values.size() < 200000) {
            const quint32 bits = random();
            float v;
            std::memcpy(&v, &bits, sizeof v);
            if (!std::isnan(v))
                values << v;
        }
        for (float v : values) {
            char text[NumberText::maxLength];
            const char* end = NumberText::write(text, v);
            float back = 1.0f;
            QVERIFY2(NumberText::read(text, end, back), qPrintable(QString::fromLatin1(text, int(end - text))));
            QVERIFY2(std::memcmp(&back, &v, sizeof v) == 0,
                     qPrintable(QString::fromLatin1(text, int(end - text))));
        }
        const QByteArray tooLarge("1e39");
        float value = 42;
        QVERIFY(!NumberText::read(tooLarge.constData(), tooLarge.constData() + tooLarge.size(), value));
        QCOMPARE(value, 42.0f);
    }

    void readRefusesWhatIsNoWholeNumber_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("sign only") << QByteArray("+");
        QTest::newRow("exponent without digits") << QByteArray("1e");
        QTest::newRow("exponent sign without digits") << QByteArray("2e+");
        QTest::newRow("exponent minus without digits") << QByteArray("3E-");
        QTest::newRow("two points") << QByteArray("3500.5.25");
        QTest::newRow("leading blank") << QByteArray(" 1");
        QTest::newRow("trailing blank") << QByteArray("1 ");
        QTest::newRow("decimal comma") << QByteArray("1,5");
        QTest::newRow("hexadecimal") << QByteArray("0x10");
        QTest::newRow("two signs") << QByteArray("+-1");
        QTest::newRow("too large") << QByteArray("1e400");
        QTest::newRow("too small") << QByteArray("1e-400");
    }
    void readRefusesWhatIsNoWholeNumber()
    {
        QFETCH(QByteArray, text);
        double value = 42;
        QVERIFY(!NumberText::read(text.constData(), text.constData() + text.size(), value));
        QCOMPARE(value, 42.0);
    }

    void readTakesAPlusSign()
    {
        const QByteArray text("+7.5e-1");
        double value = 0;
        QVERIFY(NumberText::read(text.constData(), text.constData() + text.size(), value));
        QCOMPARE(value, 0.75);
    }

    // A word of a command line or a list holds one finite number, blanks
    // around it allowed; the leading number of a token is what the lenient
    // readers take, and where it ends.
    void wordsAndLeadingNumbers_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("word");
        QTest::addColumn<int>("leadingLength");
        QTest::addColumn<double>("value");
        QTest::newRow("number") << QByteArray("4882.14155") << true << 10 << 4882.14155;
        QTest::newRow("blanks around") << QByteArray(" 0.5\t") << true << 0 << 0.5;
        QTest::newRow("unit glued on") << QByteArray("12.5m") << false << 4 << 12.5;
        QTest::newRow("plus sign") << QByteArray("+7e-1;") << false << 5 << 0.7;
        QTest::newRow("decimal comma") << QByteArray("1,5") << false << 1 << 1.0;
        QTest::newRow("two numbers") << QByteArray("2 3") << false << 1 << 2.0;
        QTest::newRow("word") << QByteArray("abc") << false << 0 << 42.0;
        QTest::newRow("infinity") << QByteArray("inf") << false << 3 << std::numeric_limits<double>::infinity();
        QTest::newRow("empty") << QByteArray() << false << 0 << 42.0;
        QTest::newRow("too large") << QByteArray("-1e400 ") << false << 6 << -std::numeric_limits<double>::infinity();
        QTest::newRow("too small") << QByteArray("1e-400") << false << 6 << 0.0;
    }
    void wordsAndLeadingNumbers()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, word);
        QFETCH(int, leadingLength);
        QFETCH(double, value);
        double read = 42;
        QCOMPARE(NumberText::readWord(std::string_view(text.constData(), size_t(text.size())), read), word);
        if (word)
            QCOMPARE(read, value);
        else
            QCOMPARE(read, 42.0);
        read = 42;
        const char* end = NumberText::readLeading(text.constData(), text.constData() + text.size(), read);
        QCOMPARE(int(end - text.constData()), leadingLength);
        if (leadingLength > 0)
            QCOMPARE(read, value);
        else
            QCOMPARE(read, 42.0);
    }

    // A coordinate kept as a float relative to a kilometre corner comes back
    // with the decimals it was read with.
    void fewestDecimalsGiveBackTheReadText_data()
    {
        QTest::addColumn<double>("read");
        QTest::addColumn<double>("origin");
        QTest::newRow("easting") << 712345.674 << 712000.0;
        QTest::newRow("northing") << 4123456.781 << 4123000.0;
        QTest::newRow("below the corner") << 711987.5 << 712000.0;
        QTest::newRow("tenth of a millimetre") << 712345.6741 << 712000.0;
        QTest::newRow("near the true origin") << 12.3457 << 0.0;
        QTest::newRow("on the corner") << 712000.0 << 712000.0;
    }
    void fewestDecimalsGiveBackTheReadText()
    {
        QFETCH(double, read);
        QFETCH(double, origin);
        const float local = float(read - origin);
        const double world = NumberText::fewestDecimals(origin + double(local), NumberText::halfFloatStep(local));
        QCOMPARE(world, read);
        QCOMPARE(float(world - origin), local);
    }

};

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
