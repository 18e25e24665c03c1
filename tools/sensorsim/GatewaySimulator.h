#pragma once

#include <QByteArray>
#include <QVector>

#include <random>

// What a site's sensor gateway sends: frame after frame, each a "Hardware"
// header line, one tab-separated line per node (id, sensor model,
// temperature, humidity, battery volts, Wi-Fi signal) and a trailer line,
// now and then with a radio control block ("~~E" with 2 bytes before and 8
// after) in the middle of the text. Temperatures and humidities drift;
// node 4's humidity swings across 70 % and back every couple of minutes.
class GatewaySimulator
{
public:
    static constexpr int nodeCount = 9;

    explicit GatewaySimulator(quint32 seed = 1);

    QByteArray nextFrame();
    int framesMade() const { return m_sequence; }

    struct Node {
        double temperature;
        double humidity;
        double battery;
        double wifi;
    };
    const QVector<Node>& nodes() const { return m_nodes; }

private:
    double step(double value, double spread, double low, double high);

    std::mt19937 m_random;
    QVector<Node> m_nodes;
    int m_sequence = 0;
};
