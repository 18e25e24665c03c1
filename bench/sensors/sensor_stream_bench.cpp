// Frames per second through the sensor reader and its thread, and the CPU
// the thread takes while no data arrives. Usage: sensor_stream_bench <frames> <idle seconds>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <thread>

#include <sys/resource.h>

#include "BenchSupport.h"
#include "GatewaySimulator.h"
#include "PtyPair.h"
#include "core/sensors/SensorBuffer.h"
#include "core/sensors/SensorFrameParser.h"
#include "core/sensors/SensorNetwork.h"
#include "core/sensors/StreamThread.h"
#include "core/sensors/comReader.h"

namespace
{

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for a while.
void runFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// The baseline of the first figure: the same frames cut and parsed in memory.
double parseInMemory(const QVector<QByteArray>& frames)
{
    QByteArray all;
    for (const QByteArray& f : frames)
        all += f;
    all += "Hardware";
    SensorNetwork network;
    BenchSupport::Stopwatch clock;
    int position = 0;
    int begin = 0;
    int end = 0;
    long parsed = 0;
    while (SensorFrameParser::findFrame(all, position, &begin, &end)) {
        const auto readings =
            SensorFrameParser::readings(SensorFrameParser::removeControlBlocks(all.mid(begin, end - begin)));
        QStringList texts;
        for (const auto& r : readings) {
            texts << SensorFrameParser::listText(r);
            network.apply(r);
        }
        position = end;
        ++parsed;
    }
    return double(parsed) / clock.seconds();
}

// The loop the stream thread used to run: look, sleep 1 us, look again.
struct PollingLoop {
    SensorBuffer& buffer;
    std::atomic<bool> stop{false};
    std::thread thread;

    explicit PollingLoop(SensorBuffer& b) : buffer(b)
    {
        thread = std::thread([this] {
            int position = 0;
            while (!stop) {
                bool reset = false;
                const QByteArray data = buffer.take(&reset);
                if (reset)
                    position = 0;
                int begin = 0;
                int end = 0;
                if (data.size() > position && SensorFrameParser::findFrame(data, position, &begin, &end))
                    position = end;
                std::this_thread::sleep_for(std::chrono::microseconds(1));
            }
        });
    }
    ~PollingLoop()
    {
        stop = true;
        thread.join();
    }
};

// Sends the frames in bursts under 8000 bytes; after each burst waits until
// all but its last frame (completed by the next burst's header) are parsed.
template <typename Write>
void feed(const QVector<QByteArray>& frames, const StreamThread& thread, Write write)
{
    int sent = 0;
    while (sent < frames.size()) {
        QByteArray burst;
        while (sent < frames.size() && burst.size() + frames[sent].size() < 8000)
            burst += frames[sent++];
        write(burst);
        while (thread.framesParsed() + 1 < quint64(sent))
            std::this_thread::yield();
    }
    write("Hardware");
}

// The buffer and the thread without a device: the main thread appends as
// the reader does.
double throughBuffer(const QVector<QByteArray>& frames)
{
    SensorBuffer buffer;
    StreamThread thread(buffer);
    thread.startStream();
    BenchSupport::Stopwatch clock;
    double seconds = 0;
    BenchSupport::quiet([&] {
        feed(frames, thread, [&](const QByteArray& b) { buffer.append(b); });
        while (thread.framesParsed() < quint64(frames.size()))
            std::this_thread::yield();
        seconds = clock.seconds();
        return 0LL;
    });
    thread.stopStream();
    return double(frames.size()) / seconds;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int frameCount = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;

    GatewaySimulator gateway(11);
    QVector<QByteArray> frames;
    long long bytes = 0;
    for (int i = 0; i < frameCount; ++i) {
        frames << gateway.nextFrame();
        bytes += frames.last().size();
    }
    std::printf("sensor stream: %d gateway frames, %.0f bytes each on average\n", frameCount,
                double(bytes) / frameCount);

    const double memoryRate = parseInMemory(frames);
    const double bufferRate = throughBuffer(frames);

    PtyPair pty;
    if (!pty.isReady()) {
        std::fprintf(stderr, "sensor_stream_bench: %s\n", qPrintable(pty.error()));
        return 1;
    }
    comReader reader(pty.deviceEnd());
    StreamThread thread(reader.buffer());
    if (!reader.open())
        return 1;
    thread.startStream();

    // Bursts of whole frames (under 8000 bytes, so the unparsed rest stays
    // within the receive buffer's bound), each sent once the parser has
    // caught up with the one before.
    const QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    std::thread feeder([&] { feed(frames, thread, [&](const QByteArray& b) { pty.write(b); }); });
    double throughSeconds = 0;
    quint64 parsed = 0;
    BenchSupport::quiet([&] {
        while (thread.framesParsed() < quint64(frameCount) && clock.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        throughSeconds = clock.nsecsElapsed() / 1e9;
        parsed = thread.framesParsed();
        return 0LL;
    });
    feeder.join();
    runFor(200); // the queued signals of the last frames
    const double portRate = double(parsed) / throughSeconds;

    // Idle: the port open, no data, the event loop running.
    double cpu = processCpuSeconds();
    runFor(idleSeconds * 1000);
    const double waitingCpu = processCpuSeconds() - cpu;
    thread.stopStream();
    reader.close();

    SensorBuffer idleBuffer;
    double pollingCpu = 0;
    {
        PollingLoop polling(idleBuffer);
        cpu = processCpuSeconds();
        runFor(idleSeconds * 1000);
        pollingCpu = processCpuSeconds() - cpu;
    }

    std::printf("frames parsed through the pseudo-terminal, reader and thread: %llu of %d\n",
                (unsigned long long)parsed, frameCount);
    std::printf("  %.0f frames/s; parsed in memory (baseline, same frames): %.0f frames/s; ratio %.3f\n",
                portRate, memoryRate, portRate / memoryRate);
    std::printf("  buffer and thread without a device: %.0f frames/s; ratio to the baseline %.3f\n",
                bufferRate, bufferRate / memoryRate);
    std::printf("idle CPU over %d s without data:\n", idleSeconds);
    std::printf("  waiting thread: %.4f s = %.3f%% of a core\n", waitingCpu,
                100.0 * waitingCpu / idleSeconds);
    std::printf("  1 us polling loop (baseline): %.4f s = %.1f%% of a core\n", pollingCpu,
                100.0 * pollingCpu / idleSeconds);
    std::printf("  ratio waiting / polling: %.5f\n", pollingCpu > 0 ? waitingCpu / pollingCpu : 0.0);
    return parsed == quint64(frameCount) ? 0 : 1;
}
