#include <QLocale>
#include <QtTest>

#include "ServerPosition.h"

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
        QTest::addColumn<float>("x");
        QTest::addColumn<float>("y");
        QTest::addColumn<float>("z");
        QTest::newRow("decimal") << "1.5,2,3" << true << 1.5f << 2.0f << 3.0f;
        QTest::newRow("negative, exponent") << "-12.25,1e3,0.001" << true << -12.25f << 1000.0f << 0.001f;
        QTest::newRow("blanks around parts") << " 1 , 2 ,3 " << true << 1.0f << 2.0f << 3.0f;
        QTest::newRow("two parts") << "1,2" << false << 0.0f << 0.0f << 0.0f;
        QTest::newRow("four parts") << "1,2,3,4" << false << 0.0f << 0.0f << 0.0f;
        QTest::newRow("empty") << "" << false << 0.0f << 0.0f << 0.0f;
        QTest::newRow("empty fields from Send") << ",," << false << 0.0f << 0.0f << 0.0f;
        QTest::newRow("one empty field") << "1,,3" << false << 0.0f << 0.0f << 0.0f;
        QTest::newRow("not a number") << "a,2,3" << false << 0.0f << 0.0f << 0.0f;
        QTest::newRow("comma decimals") << "1,5,2,5,3,5" << false << 0.0f << 0.0f << 0.0f;
        QTest::newRow("trailing garbage") << "1,2,3m" << false << 0.0f << 0.0f << 0.0f;
        QTest::newRow("beyond float") << "1e39,0,0" << false << 0.0f << 0.0f << 0.0f;
        QTest::newRow("infinity") << "inf,0,0" << false << 0.0f << 0.0f << 0.0f;
        QTest::newRow("nan") << "0,nan,0" << false << 0.0f << 0.0f << 0.0f;
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto position = ServerPosition::parse(text);
        QCOMPARE(position.has_value(), valid);
        if (!valid)
            return;
        QFETCH(float, x);
        QFETCH(float, y);
        QFETCH(float, z);
        QCOMPARE(position->x, x);
        QCOMPARE(position->y, y);
        QCOMPARE(position->z, z);
    }

    void formsShowSixDigits_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("vertex");
        QTest::addColumn<QString>("x");
        QTest::newRow("plain") << "1.5,2,3" << "x:1.5 y:2 z:3" << "1.5";
        QTest::newRow("large") << "1234567.8,0.5,-3" << "x:1.23457e+06 y:0.5 z:-3" << "1.23457e+06";
        QTest::newRow("float precision") << "0.1,0.2,0.3" << "x:0.1 y:0.2 z:0.3" << "0.1";
    }
    void formsShowSixDigits()
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
