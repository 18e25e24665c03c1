// The sensor gateway's stream as the stream thread cuts it: frames, control
// blocks, readings, and what they do to the nine nodes. Whatever arrives, a
// node's values stay finite and within what a sensor gives, and its colour
// within 0..1.
#include "core/sensors/SensorFrameParser.h"
#include "core/sensors/SensorNetwork.h"

#include "FuzzSupport.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray stream = fuzz::bytes(data, size);
    SensorNetwork network;
    int position = 0, begin = 0, end = 0;
    while (SensorFrameParser::findFrame(stream, position, &begin, &end)) {
        fuzz::check(begin >= position && end > begin && end <= stream.size());
        const QByteArray frame = SensorFrameParser::removeControlBlocks(stream.mid(begin, end - begin));
        fuzz::check(!frame.contains(SensorFrameParser::controlMarker));
        for (const SensorFrameParser::Reading& r : SensorFrameParser::readings(frame)) {
            SensorFrameParser::listText(r);
            network.apply(r);
        }
        position = end;
    }
    for (const SensorNode& n : network.nodes()) {
        fuzz::check(n.temperature >= SensorNetwork::minTemperature &&
                    n.temperature <= SensorNetwork::maxTemperature);
        fuzz::check(n.humidity >= SensorNetwork::minHumidity && n.humidity <= SensorNetwork::maxHumidity);
        fuzz::check(n.wifi >= SensorNetwork::minWifi && n.wifi <= SensorNetwork::maxWifi);
        for (int c = 0; c < 4; ++c)
            fuzz::check(n.colour[c] >= 0 && n.colour[c] <= 1);
    }
    return 0;
}
