#include "core/sensors/SensorNetwork.h"

#include <QStringList>

#include <algorithm>

namespace
{

const osg::Vec3f positions[SensorNetwork::nodeCount] = {
    {-88.4645f, -158.0620f, 5.0114f}, {37.1747f, -155.1540f, 8.2388f}, {164.2700f, -121.5780f, 13.4530f},
    {-54.6485f, 21.0017f, 16.0773f},  {1.0997f, 28.1079f, 20.2107f},   {38.4478f, 27.6204f, 18.1167f},
    {-30.3212f, 54.7241f, 18.8300f},  {0.7128f, 64.5625f, 20.1557f},   {32.5862f, 52.4709f, 19.6802f},
};

} // namespace

SensorNetwork::SensorNetwork() : m_nodes(initialNodes()), m_ignoredLogged(nodeCount, false) {}

bool SensorNetwork::plausible(const SensorFrameParser::Reading& r)
{
    // NaN fails every comparison, infinity the bounds.
    return r.temperature >= minTemperature && r.temperature <= maxTemperature && r.humidity >= minHumidity &&
           r.humidity <= maxHumidity && r.wifi >= minWifi && r.wifi <= maxWifi;
}

QVector<SensorNode> SensorNetwork::initialNodes()
{
    QVector<SensorNode> nodes;
    for (int id = 0; id < nodeCount; ++id) {
        SensorNode n;
        n.id = id;
        n.name = QString::number(id);
        n.ip = QStringLiteral("192.168.0.") + QString::number(id);
        n.position = positions[id];
        n.colour = temperatureColour(n.temperature);
        nodes.append(n);
    }
    return nodes;
}

int SensorNetwork::indexOf(const QString& id) const
{
    for (int i = 0; i < m_nodes.size(); ++i)
        if (m_nodes[i].idText() == id)
            return i;
    return -1;
}

osg::Vec4f SensorNetwork::temperatureColour(double t)
{
    const double green = std::clamp(1.0 - (t - 10.0) / 50.0, 0.0, 1.0);
    return osg::Vec4f(1.0f, float(green), 0.0f, 0.8f);
}

SensorNetwork::Change SensorNetwork::apply(const SensorFrameParser::Reading& r)
{
    Change change;
    change.node = indexOf(r.id);
    if (change.node < 0)
        return change;
    SensorNode& node = m_nodes[change.node];
    if (!plausible(r)) {
        if (!m_ignoredLogged[change.node]) {
            m_ignoredLogged[change.node] = true;
            change.ignored =
                QStringLiteral("Sensor %1: ignored a reading no sensor gives (Temp: %2 Humidity: %3 "
                               "Wifi: %4); further ones of this node are ignored without a word")
                    .arg(node.idText(), r.temperatureText, r.humidityText, r.wifiText);
        }
        return change;
    }
    // A temperature of 0 is what an unreadable field gives: it leaves the colour.
    if (r.temperature != node.temperature && r.temperature != 0) {
        node.colour = temperatureColour(r.temperature);
        node.temperature = r.temperature;
        change.recoloured = true;
    }
    if (r.humidity != node.humidity) {
        if (node.idText() == QLatin1String(smokeTrigger)) {
            if (r.humidity >= smokeHumidity && node.humidity < smokeHumidity) {
                change.smoke = Smoke::Start;
                node.smokeOn = true;
            } else if (r.humidity < smokeHumidity && node.smokeOn) {
                change.smoke = Smoke::Stop;
                node.smokeOn = false;
            }
        }
        node.humidity = r.humidity;
    }
    if (r.wifi != node.wifi)
        node.wifi = r.wifi;
    return change;
}

QString SensorNetwork::streamText(double value)
{
    return QString::number(value, 'g', 6);
}

QString SensorNetwork::popupText(const SensorNode& node)
{
    return QStringList{QStringLiteral("ID:") + node.idText(),
                       QStringLiteral("Name:") + node.name,
                       QStringLiteral("ip:") + node.ip,
                       QStringLiteral("wifi:") + streamText(node.wifi),
                       QStringLiteral("temp:") + streamText(node.temperature),
                       QStringLiteral("humidity:") + streamText(node.humidity)}
        .join('\n');
}
