#pragma once

#include <QString>
#include <QVector>

#include "core/sensors/SensorFrameParser.h"
#include "core/sensors/SensorNode.h"

// The nine sensor nodes of the site and what a reading does to them: the
// temperature colours a node, node 4's humidity switches the smoke effect.
class SensorNetwork
{
public:
    static constexpr int nodeCount = 9;
    static constexpr double smokeHumidity = 70;
    static constexpr const char* smokeTrigger = "4"; // the node whose humidity raises the smoke
    static constexpr int smokeNode = 2;              // where the smoke rises

    enum class Smoke { None, Start, Stop };
    struct Change {
        int node = -1; // -1: no node has the reading's id
        bool recoloured = false;
        Smoke smoke = Smoke::None;
        // A reading that no sensor can give was ignored: the line to log, the
        // first time only for each node (empty otherwise).
        QString ignored;
    };

    // What the nodes' sensors can measure; a reading outside (or not finite)
    // is a garbled line and leaves the node as it was.
    static constexpr double minTemperature = -90;
    static constexpr double maxTemperature = 150;
    static constexpr double minHumidity = 0;
    static constexpr double maxHumidity = 100;
    static constexpr double minWifi = -200;
    static constexpr double maxWifi = 200;
    static bool plausible(const SensorFrameParser::Reading& reading);

    SensorNetwork();

    const QVector<SensorNode>& nodes() const { return m_nodes; }
    int indexOf(const QString& id) const;

    // Applies one reading; nodes whose id is not the reading's are left alone.
    Change apply(const SensorFrameParser::Reading& reading);

    // R = 1, G = 1 - (t - 10) / 50 (kept within 0..1), B = 0, A = 0.8:
    // 10 degrees is yellow, 60 red.
    static osg::Vec4f temperatureColour(double temperature);
    // The popup's lines: id, name, ip, wifi, temperature, humidity.
    static QString popupText(const SensorNode& node);
    // A number as a default-formatted C++ stream writes it.
    static QString streamText(double value);

    // The nodes as first placed, before any reading.
    static QVector<SensorNode> initialNodes();

private:
    QVector<SensorNode> m_nodes;
    QVector<bool> m_ignoredLogged; // per node: an implausible reading was logged
};
