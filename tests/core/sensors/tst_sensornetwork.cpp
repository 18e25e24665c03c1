#include <QtTest>

#include "core/sensors/SensorNetwork.h"

Q_DECLARE_METATYPE(osg::Vec4f)
Q_DECLARE_METATYPE(SensorNetwork::Smoke)

namespace
{

SensorFrameParser::Reading reading(const QString& id, double temperature, double humidity, double wifi = 100)
{
    SensorFrameParser::Reading r;
    r.id = id;
    r.temperature = temperature;
    r.humidity = humidity;
    r.wifi = wifi;
    return r;
}

} // namespace

class TestSensorNetwork : public QObject
{
    Q_OBJECT
private slots:
    void everyNodeStartsInTheColourOf55Degrees()
    {
        const SensorNetwork network;
        QCOMPARE(network.nodes().size(), 9);
        for (const SensorNode& node : network.nodes())
            QVERIFY(node.colour == osg::Vec4f(1.0f, 0.1f, 0.0f, 0.8f));
        QCOMPARE(network.nodes()[4].position, osg::Vec3f(1.0997f, 28.1079f, 20.2107f));
    }

    // A garbled field such as "7e308" reads as infinity; no sensor gives it
    // or a value out of its range. The node keeps its value and colour, and
    // the first such reading of a node is logged, the next ones not.
    void implausibleReadingsLeaveTheNode_data()
    {
        QTest::addColumn<double>("temperature");
        QTest::addColumn<double>("humidity");
        QTest::addColumn<double>("wifi");
        QTest::newRow("7e308 degrees") << SensorFrameParser::toNumber("7e308") << 20.0 << 100.0;
        QTest::newRow("minus infinity") << -qInf() << 20.0 << 100.0;
        QTest::newRow("NaN humidity") << 30.0 << qQNaN() << 100.0;
        QTest::newRow("1000 degrees") << 1000.0 << 20.0 << 100.0;
        QTest::newRow("humidity 150") << 30.0 << 150.0 << 100.0;
        QTest::newRow("wifi 1e9") << 30.0 << 20.0 << 1e9;
    }
    void implausibleReadingsLeaveTheNode()
    {
        QFETCH(double, temperature);
        QFETCH(double, humidity);
        QFETCH(double, wifi);
        SensorNetwork network;
        QVERIFY(network.apply(reading("4", 35, 75)).ignored.isEmpty());
        const SensorNode before = network.nodes()[4];
        const SensorNetwork::Change first = network.apply(reading("4", temperature, humidity, wifi));
        QCOMPARE(first.node, 4);
        QVERIFY(!first.recoloured);
        QCOMPARE(first.smoke, SensorNetwork::Smoke::None);
        QVERIFY2(first.ignored.startsWith("Sensor 4: ignored"), qPrintable(first.ignored));
        QVERIFY(network.apply(reading("4", temperature, humidity, wifi)).ignored.isEmpty());
        QVERIFY(!network.apply(reading("5", temperature, humidity, wifi)).ignored.isEmpty());
        const SensorNode& after = network.nodes()[4];
        QCOMPARE(after.temperature, before.temperature);
        QCOMPARE(after.humidity, before.humidity);
        QCOMPARE(after.wifi, before.wifi);
        QCOMPARE(after.colour, before.colour);
        QVERIFY(SensorNetwork::popupText(after).contains("temp:35\n"));
    }

    void temperatureColours_data()
    {
        QTest::addColumn<double>("temperature");
        QTest::addColumn<osg::Vec4f>("colour");
        QTest::addColumn<bool>("recoloured");
        QTest::newRow("35") << 35.0 << osg::Vec4f(1, 0.5f, 0, 0.8f) << true;
        QTest::newRow("10 yellow") << 10.0 << osg::Vec4f(1, 1, 0, 0.8f) << true;
        QTest::newRow("60 red") << 60.0 << osg::Vec4f(1, 0, 0, 0.8f) << true;
        QTest::newRow("0 leaves the colour") << 0.0 << osg::Vec4f(1, 0.1f, 0, 0.8f) << false;
        QTest::newRow("unchanged") << 55.0 << osg::Vec4f(1, 0.1f, 0, 0.8f) << false;
        QTest::newRow("above 60 stays red") << 75.0 << osg::Vec4f(1, 0, 0, 0.8f) << true;
    }
    void temperatureColours()
    {
        QFETCH(double, temperature);
        QFETCH(osg::Vec4f, colour);
        QFETCH(bool, recoloured);
        SensorNetwork network;
        const SensorNetwork::Change change = network.apply(reading("6", temperature, 20));
        QCOMPARE(change.node, 6);
        QCOMPARE(change.recoloured, recoloured);
        const osg::Vec4f got = network.nodes()[6].colour;
        QVERIFY2((got - colour).length() < 1e-6f, qPrintable(QString("%1 %2").arg(got.g()).arg(colour.g())));
        QCOMPARE(network.nodes()[5].colour, osg::Vec4f(1, 0.1f, 0, 0.8f));
    }

    void smokeRule_data()
    {
        using Smoke = SensorNetwork::Smoke;
        QTest::addColumn<QString>("node");
        QTest::addColumn<QVector<double>>("humidities");
        QTest::addColumn<QVector<Smoke>>("smoke");
        QTest::newRow("node 4") << "4" << QVector<double>{65, 72, 71, 60}
                                << QVector<Smoke>{Smoke::None, Smoke::Start, Smoke::None, Smoke::Stop};
        QTest::newRow("node 4 from exactly 70") << "4" << QVector<double>{70, 69.9, 70}
                                                << QVector<Smoke>{Smoke::Start, Smoke::Stop, Smoke::Start};
        QTest::newRow("node 3 never") << "3" << QVector<double>{65, 72, 71, 60}
                                      << QVector<Smoke>{Smoke::None, Smoke::None, Smoke::None, Smoke::None};
    }
    void smokeRule()
    {
        using Smoke = SensorNetwork::Smoke;
        QFETCH(QString, node);
        QFETCH(QVector<double>, humidities);
        QFETCH(QVector<Smoke>, smoke);
        SensorNetwork network;
        for (int i = 0; i < humidities.size(); ++i)
            QCOMPARE(int(network.apply(reading(node, 30, humidities[i])).smoke), int(smoke[i]));
    }

    void unknownIdsTouchNothing()
    {
        SensorNetwork network;
        const QVector<SensorNode> before = network.nodes();
        QCOMPARE(network.apply(reading("9", 35, 80)).node, -1);
        QCOMPARE(network.apply(reading("04", 35, 80)).node, -1);
        for (int i = 0; i < before.size(); ++i)
            QCOMPARE(network.nodes()[i].temperature, before[i].temperature);
    }

    void popupText()
    {
        SensorNetwork network;
        network.apply(reading("7", 23.456789, 41.5, 87));
        QCOMPARE(SensorNetwork::popupText(network.nodes()[7]),
                 QString("ID:7\nName:7\nip:192.168.0.7\nwifi:87\ntemp:23.4568\nhumidity:41.5"));
    }
};

QTEST_MAIN(TestSensorNetwork)
#include "tst_sensornetwork.moc"
