#include <QtTest>

#include "core/io/NumberString.h"

#include <cmath>
#include <limits>

class TestNumberString : public QObject
{
    Q_OBJECT
private slots:
    void shortestTexts_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("short stays short") << 1.5 << "1.5";
        QTest::newRow("UTM easting") << 712345.674 << "712345.674";
        QTest::newRow("a million") << 1e6 << "1e+06";
        QTest::newRow("all seventeen digits") << 0.1 + 0.2 << "0.30000000000000004";
    }
    void shortestTexts()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(NumberString::shortest(value), text);
        QCOMPARE(NumberString::shortest(float(value)).toFloat(), float(value));
    }

    // The extremes read back too, through Qt and through NumberText;
    // the fixed form (CAD export, user feature file) never uses an exponent.
    void extremesReadBack_data()
    {
        QTest::addColumn<double>("value");
        QTest::newRow("largest") << std::numeric_limits<double>::max();
        QTest::newRow("lowest") << std::numeric_limits<double>::lowest();
        QTest::newRow("smallest normal") << std::numeric_limits<double>::min();
        QTest::newRow("denormal") << std::numeric_limits<double>::denorm_min();
        QTest::newRow("UTM northing") << 4123456.781;
    }
    void extremesReadBack()
    {
        QFETCH(double, value);
        QCOMPARE(NumberString::shortest(value).toDouble(), value);
        const QByteArray fixed = NumberString::fixed(value);
        QVERIFY(!fixed.contains('e'));
        QCOMPARE(fixed.toDouble(), value);
        double back = 0;
        QVERIFY(NumberText::read(fixed.constData(), fixed.constData() + fixed.size(), back));
        QCOMPARE(back, value);
    }

    void keepsAFixedLayoutWhereItSuffices_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<char>("format");
        QTest::addColumn<int>("precision");
        QTest::addColumn<QString>("text");
        QTest::newRow("focal length") << 4882.14155 << 'f' << 5 << "4882.14155";
        QTest::newRow("whole number keeps its zeros") << 1.0 << 'f' << 5 << "1.00000";
        QTest::newRow("distortion term") << -0.09343 << 'g' << 6 << "-0.09343";
        QTest::newRow("zero") << 0.0 << 'g' << 6 << "0";
        QTest::newRow("eye at UTM needs more") << 712345.6740112305 << 'f' << 5 << "712345.6740112305";
        QTest::newRow("seven significant digits") << -0.093431234 << 'g' << 6 << "-0.093431234";
    }
    void keepsAFixedLayoutWhereItSuffices()
    {
        QFETCH(double, value);
        QFETCH(char, format);
        QFETCH(int, precision);
        QFETCH(QString, text);
        QCOMPARE(NumberString::keepOrShortest(value, format, precision), text);
        QCOMPARE(text.toDouble(), value);
    }

    void lengthsKeepTheirMillimetres_data()
    {
        QTest::addColumn<double>("metres");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << 5.0 << "5";
        QTest::newRow("six digits") << std::sqrt(10.0) << "3.16228";
        QTest::newRow("a kilometre and a bit") << 1234.5678 << "1234.568";
        QTest::newRow("across a zone") << 712345.6744 << "712345.674";
    }
    void lengthsKeepTheirMillimetres()
    {
        QFETCH(double, metres);
        QFETCH(QString, text);
        QCOMPARE(NumberString::length(metres), text);
    }
};

QTEST_GUILESS_MAIN(TestNumberString)
#include "tst_numberstring.moc"
