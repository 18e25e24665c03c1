#include <QLocale>
#include <QtTest>

#include "core/annotation/ServerPosition.h"

class TestServerPosition : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // A comma-decimal locale must change nothing.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<double>("z");
        QTest::newRow("decimal") << "1.5,2,3" << true << 1.5 << 2.0 << 3.0;
        QTest::newRow("negative, exponent") << "-12.25,1e3,0.001" << true << -12.25 << 1000.0 << 0.001;
        // Survey coordinates keep every digit sent (as floats they moved by 6 cm and 25 cm).
        QTest::newRow("UTM") << "712345.674,4123456.781,101.752" << true << 712345.674 << 4123456.781 << 101.752;
        QTest::newRow("blanks around parts") << " 1 , 2 ,3 " << true << 1.0 << 2.0 << 3.0;
        QTest::newRow("two parts") << "1,2" << false << 0.0 << 0.0 << 0.0;
        QTest::newRow("four parts") << "1,2,3,4" << false << 0.0 << 0.0 << 0.0;
        QTest::newRow("empty") << "" << false << 0.0 << 0.0 << 0.0;
        QTest::newRow("empty fields from Send") << ",," << false << 0.0 << 0.0 << 0.0;
        QTest::newRow("one empty field") << "1,,3" << false << 0.0 << 0.0 << 0.0;
        QTest::newRow("not a number") << "a,2,3" << false << 0.0 << 0.0 << 0.0;
        QTest::newRow("comma decimals") << "1,5,2,5,3,5" << false << 0.0 << 0.0 << 0.0;
        QTest::newRow("trailing garbage") << "1,2,3m" << false << 0.0 << 0.0 << 0.0;
        QTest::newRow("beyond float") << "1e39,0,0" << false << 0.0 << 0.0 << 0.0;
        QTest::newRow("infinity") << "inf,0,0" << false << 0.0 << 0.0 << 0.0;
        QTest::newRow("nan") << "0,nan,0" << false << 0.0 << 0.0 << 0.0;
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto position = ServerPosition::parse(text);
        QCOMPARE(position.has_value(), valid);
        if (!valid)
            return;
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(double, z);
        QCOMPARE(position->x, x);
        QCOMPARE(position->y, y);
        QCOMPARE(position->z, z);
    }

    // Every digit the value holds, and no more.
    void formsShowEveryDigit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("vertex");
        QTest::addColumn<QString>("x");
        QTest::newRow("plain") << "1.5,2,3" << "x:1.5 y:2 z:3" << "1.5";
        QTest::newRow("large") << "1234567.8,0.5,-3" << "x:1234567.8 y:0.5 z:-3" << "1234567.8";
        QTest::newRow("UTM") << "712345.674,4123456.781,101.752" << "x:712345.674 y:4123456.781 z:101.752"
                             << "712345.674";
        QTest::newRow("float precision") << "0.1,0.2,0.3" << "x:0.1 y:0.2 z:0.3" << "0.1";
    }
    void formsShowEveryDigit()
    {
        QFETCH(QString, text);
        QFETCH(QString, vertex);
        QFETCH(QString, x);
        const auto position = ServerPosition::parse(text);
        QVERIFY(position);
        QCOMPARE(ServerPosition::vertexText(*position), vertex);
        QCOMPARE(ServerPosition::formatCoordinate(position->x), x);
    }
};

QTEST_GUILESS_MAIN(TestServerPosition)
#include "tst_serverposition.moc"
