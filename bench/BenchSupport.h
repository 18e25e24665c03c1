#pragma once

// Measurement support shared by the benchmarks: every measurement runs in a
// forked child, so each starts from the same memory state and its peak
// resident growth can be read from the kernel's high-water mark; the median
// of several rounds is reported.

#include <QCoreApplication>
#include <QFile>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace BenchSupport
{

// Sleeps until the next event and handles it, as an event loop does, for a
// benchmark that waits on a run in a loop of its own; a timer wakes it four
// times a second. (The timed processEvents() ignores WaitForMoreEvents and
// keeps a core busy, which a two-core machine takes from the tools.)
inline void waitForEvents()
{
    static QTimer* tick = [] {
        auto* t = new QTimer(QCoreApplication::instance());
        t->start(250);
        return t;
    }();
    (void)tick;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

class Stopwatch
{
public:
    double seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

// A "Key:" line of /proc/self/status in KiB, -1 if it cannot be read.
inline long long statusKb(const char* key)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return -1;
    char line[256];
    long long value = -1;
    const size_t n = std::strlen(key);
    while (std::fgets(line, sizeof line, f))
        if (!std::strncmp(line, key, n))
            value = std::atoll(line + n + 1);
    std::fclose(f);
    return value;
}

// Lowers VmHWM to the present resident size, so the child's peak is its own.
inline void resetPeak()
{
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// Quietens the progress and trace lines of the code under measurement.
template <typename F> long long quiet(F&& f)
{
    std::fflush(stdout);
    const int saved = dup(1);
    FILE* null = std::fopen("/dev/null", "w");
    dup2(fileno(null), 1);
    const long long result = f();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::fclose(null);
    return result;
}

// Runs job in a forked child and hands its result back through a pipe; a
// child that fails or dies yields a value-initialised T.
template <typename T, typename Job> T runInChild(Job&& job)
{
    static_assert(std::is_trivially_copyable_v<T>, "the result crosses a pipe as bytes");
    std::fflush(stdout); // or the child prints the parent's pending lines again
    int fds[2];
    if (pipe(fds) != 0)
        return T{};
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return T{};
    }
    if (pid == 0) {
        close(fds[0]);
        const T result = job();
        const ssize_t written = write(fds[1], &result, sizeof result);
        _exit(written == ssize_t(sizeof result) ? 0 : 1);
    }
    close(fds[1]);
    T result{};
    const ssize_t got = read(fds[0], &result, sizeof result);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got != ssize_t(sizeof result) || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return T{};
    return result;
}

struct Figure {
    double seconds = 0;
    long long points = 0;  // what the job returned: points read, kept or written
    double peakGrowth = 0; // bytes
};

// Runs job (quietened) in a child; job returns the number of points it produced.
inline Figure measure(const std::function<long long()>& job)
{
    return runInChild<Figure>([&] {
        resetPeak();
        const long long before = statusKb("VmRSS:");
        const Stopwatch stopwatch;
        Figure f;
        f.points = quiet(job);
        f.seconds = stopwatch.seconds();
        f.peakGrowth = double(statusKb("VmHWM:") - before) * 1024;
        return f;
    });
}

// The round with the median wall time.
inline Figure median(const std::function<long long()>& job, int rounds)
{
    std::vector<Figure> all;
    for (int i = 0; i < rounds; ++i)
        all.push_back(measure(job));
    std::sort(all.begin(), all.end(), [](const Figure& a, const Figure& b) { return a.seconds < b.seconds; });
    return all[all.size() / 2];
}

template <typename T> T median(std::vector<T> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Size in bytes, nothing if the file cannot be opened for reading.
inline std::optional<double> fileSize(const std::string& file)
{
    std::ifstream probe(file, std::ios::binary | std::ios::ate);
    if (!probe)
        return std::nullopt;
    return double(probe.tellg());
}

// Reads the file once, so every measurement finds it in the page cache.
// Through QFile on purpose: Qt's file code is then paged in before the fork,
// and a child's peak growth is its reader's, not the first use of Qt's.
inline void warm(const std::string& file)
{
    QFile f(QString::fromStdString(file));
    if (f.open(QIODevice::ReadOnly))
        while (!f.read(1 << 20).isEmpty()) {
        }
}

} // namespace BenchSupport
