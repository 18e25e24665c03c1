#pragma once

#include <QObject>
#include <QStringList>
#include <QVector>

#include <OpenThreads/Thread>

#include <atomic>

#include "core/sensors/SensorNetwork.h"
#include "core/sensors/SensorNode.h"

class SensorBuffer;

// The sensor stream worker: sleeps until the serial buffer changes, cuts
// complete frames out of it, parses their readings and applies them to its
// copy of the sensor network. It touches no widget and no scene node: the
// list texts, the nodes' new values and the smoke switches leave as signals,
// which reach receivers in the GUI thread queued.
class StreamThread : public QObject, public OpenThreads::Thread
{
    Q_OBJECT
public:
    explicit StreamThread(SensorBuffer& buffer, QObject* parent = nullptr);
    ~StreamThread() override;

    // Clears the stop flag and starts the loop; nothing when it runs already.
    void startStream();
    // Sets the stop flag, wakes the loop and waits for it to end.
    void stopStream();
    bool streaming() const { return m_started; }

    // Frames parsed since construction.
    quint64 framesParsed() const { return m_frames.load(); }

signals:
    // The list entries of one frame, in line order (possibly none).
    void sensorTexts(const QStringList& texts);
    // Every node after a frame that had readings for known nodes;
    // recoloured when a temperature changed a colour.
    void nodesChanged(const QVector<SensorNode>& nodes, bool recoloured);
    // Node 4's humidity crossed the smoke threshold: on or off.
    void smokeChanged(bool on);
    // A line for the log: a node's reading was not finite or out of range
    // and was ignored (once per node).
    void readingIgnored(const QString& text);

protected:
    void run() override;

private:
    void parseFrame(const QByteArray& frame);

    SensorBuffer& m_buffer;
    SensorNetwork m_network; // touched by the loop only
    std::atomic<bool> m_stop{false};
    std::atomic<quint64> m_frames{0};
    bool m_started = false; // GUI side: started and not joined yet
};
