#include "core/sensors/StreamThread.h"

#include "core/log/LogSink.h"
#include "core/sensors/SensorBuffer.h"
#include "core/sensors/SensorFrameParser.h"

#include <cstdio>

StreamThread::StreamThread(SensorBuffer& buffer, QObject* parent) : QObject(parent), m_buffer(buffer)
{
    static const int registered = [] {
        qRegisterMetaType<SensorNode>();
        qRegisterMetaType<QVector<SensorNode>>();
        return 0;
    }();
    Q_UNUSED(registered);
}

StreamThread::~StreamThread()
{
    stopStream();
}

void StreamThread::startStream()
{
    if (m_started)
        return;
    m_stop = false;
    if (start() == 0)
        m_started = true;
}

void StreamThread::stopStream()
{
    m_stop = true;
    m_buffer.wake();
    if (m_started) {
        join();
        m_started = false;
    }
}

void StreamThread::run()
{
    while (m_buffer.waitForChange(m_stop)) {
        bool reset = false;
        QByteArray data = m_buffer.take(&reset);
        // Offsets count from the start of what the buffer holds now; a
        // cleared buffer has nothing of the old data left, so each round
        // starts at 0.
        int position = 0;
        int begin = 0;
        int end = 0;
        while (!m_stop && SensorFrameParser::findFrame(data, position, &begin, &end)) {
            parseFrame(data.mid(begin, end - begin));
            // The next frame starts at the marker that ended this one, even
            // when this frame is shorter than a header line.
            position = end;
        }
        data.clear(); // not shared any longer, so consume() need not copy
        m_buffer.consume(position);
    }
}

void StreamThread::parseFrame(const QByteArray& frame)
{
    const QVector<SensorFrameParser::Reading> readings =
        SensorFrameParser::readings(SensorFrameParser::removeControlBlocks(frame));
    QStringList texts;
    QVector<bool> smoke;
    bool known = false;
    bool recoloured = false;
    for (const SensorFrameParser::Reading& reading : readings) {
        texts << SensorFrameParser::listText(reading);
        const SensorNetwork::Change change = m_network.apply(reading);
        if (!change.ignored.isEmpty())
            emit readingIgnored(change.ignored);
        if (change.node < 0)
            continue;
        known = true;
        if (change.recoloured) {
            recoloured = true;
            for (const SensorNode& node : m_network.nodes())
                LogSink::printf(LogLevel::Debug, "%g %g %g\n", node.colour.r(), node.colour.g(),
                                node.colour.b());
        }
        if (change.smoke != SensorNetwork::Smoke::None)
            smoke << (change.smoke == SensorNetwork::Smoke::Start);
    }
    emit sensorTexts(texts);
    if (known)
        emit nodesChanged(m_network.nodes(), recoloured);
    for (bool on : smoke)
        emit smokeChanged(on);
    ++m_frames;
}
