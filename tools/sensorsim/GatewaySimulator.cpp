#include "GatewaySimulator.h"

#include <QString>

#include <algorithm>
#include <cmath>

namespace
{
constexpr int humidityNode = 4;
constexpr double humidityPeriod = 240; // frames: two minutes at the default interval
} // namespace

GatewaySimulator::GatewaySimulator(quint32 seed) : m_random(seed)
{
    for (int id = 0; id < nodeCount; ++id)
        m_nodes.append(Node{14.0 + 4.0 * id, 35.0 + 3.0 * id, 3.3, 70.0 + 3.0 * id});
}

double GatewaySimulator::step(double value, double spread, double low, double high)
{
    std::normal_distribution<double> drift(0.0, spread);
    return std::clamp(value + drift(m_random), low, high);
}

QByteArray GatewaySimulator::nextFrame()
{
    ++m_sequence;
    QByteArray frame = "Hardware GW-433 seq=" + QByteArray::number(m_sequence) +
                       " nodes=" + QByteArray::number(nodeCount) + "\n";
    const int headerLength = frame.size();
    for (int id = 0; id < nodeCount; ++id) {
        Node& n = m_nodes[id];
        n.temperature = step(n.temperature, 0.25, 5.0, 65.0);
        if (id == humidityNode) {
            const double wave =
                64.0 + 14.0 * std::sin(2.0 * 3.14159265358979323846 * m_sequence / humidityPeriod);
            n.humidity = std::clamp(wave + std::normal_distribution<double>(0.0, 0.4)(m_random), 0.0, 100.0);
        } else {
            n.humidity = step(n.humidity, 0.6, 10.0, 95.0);
        }
        n.battery = step(n.battery, 0.002, 2.9, 3.4);
        n.wifi = std::round(step(n.wifi, 1.5, 30.0, 100.0));
        frame += QByteArray::number(id) + "\tTH22\t" + QByteArray::number(n.temperature, 'f', 2) + "\t" +
                 QByteArray::number(n.humidity, 'f', 1) + "\t" + QByteArray::number(n.battery, 'f', 2) +
                 "\t" + QByteArray::number(n.wifi, 'f', 0) + "\n";
    }
    frame += "END seq=" + QByteArray::number(m_sequence) + "\n";

    // About one frame in four carries a control block somewhere after the
    // header line.
    if (std::uniform_int_distribution<int>(0, 3)(m_random) == 0) {
        const int at = std::uniform_int_distribution<int>(headerLength, frame.size() - 1)(m_random);
        const QByteArray block =
            QByteArray("\x10\x02~~E", 5) +
            QByteArray::number(std::uniform_int_distribution<quint32>(0, 0xffffffffu)(m_random), 16)
                .rightJustified(8, '0');
        frame.insert(at, block);
    }
    return frame;
}
