#include <QtTest>

#include "CommaLocale.h"
#include "core/io/NumberParser.h"

#include <cstring>
#include <random>
#include <string>

namespace
{

// The digit-by-digit rules written out the slow, obvious way: a division for
// every fraction digit and the power of ten multiplied together step by step.
double referenceParse(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    double value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10.0;
        value = value + (text[i] - '0');
        ++i;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        double divisor = 1;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            divisor = divisor * 10.0;
            value += (text[i] - '0') / divisor;
            ++i;
        }
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const bool negativeExponent = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '-' || text[i] == '+'))
            ++i;
        long exponent = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            exponent = std::min(exponent * 10 + (text[i] - '0'), 100000L);
            ++i;
        }
        exponent = std::min(exponent, 308L);
        double power = 1;
        while (exponent >= 50) {
            power *= 1e50;
            exponent -= 50;
        }
        while (exponent >= 8) {
            power *= 1e8;
            exponent -= 8;
        }
        while (exponent > 0) {
            power *= 10;
            --exponent;
        }
        value = negativeExponent ? value / power : value * power;
    }
    return negative ? -value : value;
}

quint64 bitsOf(double d)
{
    quint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

std::string randomDigits(std::mt19937& rng, int count)
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s += static_cast<char>('0' + rng() % 10);
    return s;
}

// Number-like texts of every shape the readers meet and some they should not.
std::string randomNumberText(std::mt19937& rng)
{
    std::string s;
    if (rng() % 4 == 0)
        s += rng() % 2 ? " " : "\t";
    switch (rng() % 4) {
    case 0:
        s += '-';
        break;
    case 1:
        s += '+';
        break;
    default:
        break;
    }
    s += randomDigits(rng, static_cast<int>(rng() % 22));
    if (rng() % 3) {
        s += '.';
        s += randomDigits(rng, static_cast<int>(rng() % 32));
    }
    if (rng() % 3 == 0) {
        s += rng() % 2 ? 'e' : 'E';
        switch (rng() % 3) {
        case 0:
            s += '-';
            break;
        case 1:
            s += '+';
            break;
        default:
            break;
        }
        s += randomDigits(rng, static_cast<int>(rng() % 5));
    }
    if (rng() % 5 == 0)
        s += "x7";
    return s;
}

} // namespace

class TestNumberParser : public QObject
{
    Q_OBJECT
private slots:
    void values_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("exponent") << QByteArray("1.5e3") << 1500.0;
        QTest::newRow("negative exponent upper case") << QByteArray("-2.5E-2") << -0.025;
        QTest::newRow("blank and plus") << QByteArray(" +7") << 7.0;
        QTest::newRow("tab before number") << QByteArray("\t-3.25") << -3.25;
        QTest::newRow("exponent clamped") << QByteArray("1e400") << 1e308;
        QTest::newRow("negative exponent clamped") << QByteArray("1e-400") << 1.0 / 1e308;
        QTest::newRow("windows exponent") << QByteArray("4.4408920985e-016") << 4.4408920985e-16;
        QTest::newRow("three digit exponent") << QByteArray("-7.06294e-005") << -7.06294e-05;
        QTest::newRow("word") << QByteArray("abc") << 0.0;
        QTest::newRow("empty") << QByteArray("") << 0.0;
        QTest::newRow("stops at garbage") << QByteArray("12abc") << 12.0;
        QTest::newRow("comma is no separator") << QByteArray("1,5") << 1.0;
        QTest::newRow("second point ends") << QByteArray("1.5.3") << 1.5;
        QTest::newRow("no integer part") << QByteArray(".25") << 0.25;
        QTest::newRow("exponent without digits") << QByteArray("7e") << 7.0;
        QTest::newRow("carriage return is not skipped") << QByteArray("\r5") << 0.0;
        QTest::newRow("one sign only") << QByteArray("+-5") << 0.0;
        QTest::newRow("long exponent") << QByteArray("2e0000000000000000000000000000000003") << 2000.0;
    }
    void values()
    {
        QFETCH(QByteArray, text);
        QFETCH(double, expected);
        const double got = NumberParser::parseNumber(text.constData());
        // The clamped and digit-built values are exact by construction; the
        // others must equal the slow rules to the bit.
        QCOMPARE(bitsOf(got), bitsOf(referenceParse(text.toStdString())));
        QCOMPARE(got, expected);
    }

    void negativeZeroKeepsSign()
    {
        QVERIFY(std::signbit(parseNumber("-0")));
        QVERIFY(std::signbit(parseNumber("-")));
    }

    // The lookup tables must give the very bits of the division rules, for
    // long integer parts, fractions past the table and every exponent.
    void matchesDigitRulesBitForBit()
    {
        std::mt19937 rng(20240607);
        for (int i = 0; i < 200000; ++i) {
            const std::string text = randomNumberText(rng);
            const double got = parseNumber(text.c_str());
            const double want = referenceParse(text);
            if (bitsOf(got) != bitsOf(want))
                QFAIL(qPrintable(QStringLiteral("%1: %2 instead of %3")
                                     .arg(QString::fromStdString(text))
                                     .arg(got, 0, 'g', 17)
                                     .arg(want, 0, 'g', 17)));
        }
        for (int e = 0; e <= 320; ++e) {
            const std::string text = "3.5e" + std::to_string(e);
            QCOMPARE(bitsOf(parseNumber(text.c_str())), bitsOf(referenceParse(text)));
        }
    }

    void boundedStopsAtEnd_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("length");
        QTest::addColumn<double>("expected");
        QTest::addColumn<int>("consumed");
        QTest::newRow("cut integer") << QByteArray("123456") << 3 << 123.0 << 3;
        QTest::newRow("cut fraction") << QByteArray("1.2345") << 4 << 1.23 << 4;
        QTest::newRow("cut before exponent digits") << QByteArray("2e5") << 2 << 2.0 << 2;
        QTest::newRow("stops before letters") << QByteArray("1.5e3xyz") << 8 << 1500.0 << 5;
        QTest::newRow("stops before blank") << QByteArray("  -4 5") << 6 << -4.0 << 4;
        QTest::newRow("nothing") << QByteArray("") << 0 << 0.0 << 0;
        QTest::newRow("only blanks") << QByteArray("   ") << 3 << 0.0 << 3;
    }
    void boundedStopsAtEnd()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, length);
        QFETCH(double, expected);
        QFETCH(int, consumed);
        // A copy on the heap of exactly length bytes lets the address
        // sanitizer catch a read past the end.
        std::unique_ptr<char[]> exact(new char[static_cast<size_t>(length) + 1]);
        std::memcpy(exact.get(), text.constData(), static_cast<size_t>(length));
        const char* p = exact.get();
        const double got = NumberParser::parseNumber(p, exact.get() + length);
        QCOMPARE(got, expected);
        QCOMPARE(int(p - exact.get()), consumed);
    }

    void commaLocaleChangesNothing()
    {
        std::mt19937 rng(7);
        std::vector<std::string> texts;
        std::vector<quint64> before;
        for (int i = 0; i < 2000; ++i) {
            texts.push_back(randomNumberText(rng));
            before.push_back(bitsOf(parseNumber(texts.back().c_str())));
        }
        CommaLocale comma;
        if (!comma.active())
            QSKIP("no locale with a decimal comma can be installed here");
        QCOMPARE(parseNumber("0.5"), 0.5);
        for (size_t i = 0; i < texts.size(); ++i)
            QCOMPARE(bitsOf(parseNumber(texts[i].c_str())), before[i]);
    }
};

QTEST_GUILESS_MAIN(TestNumberParser)
#include "tst_numberparser.moc"
