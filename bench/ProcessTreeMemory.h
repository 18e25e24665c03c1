#pragma once

// Peak memory of everything a benchmark starts: a thread reads /proc every
// interval and sums the resident sizes of all descendants of this process
// (the tools, their interpreters and what those start), so a pipeline of many
// short processes is measured as the machine sees it. Resident sizes count
// shared library pages once per process, as top and ps do.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <unistd.h>

class ProcessTreeMemory
{
public:
    struct Peak {
        double bytes = 0;
        std::string largest; // the largest processes at the peak: "name size, …"
    };

    explicit ProcessTreeMemory(int intervalMs = 100) : m_interval(intervalMs)
    {
        m_thread = std::thread([this] {
            while (!m_stop) {
                sample();
                std::this_thread::sleep_for(std::chrono::milliseconds(m_interval));
            }
        });
    }
    ~ProcessTreeMemory()
    {
        m_stop = true;
        m_thread.join();
    }
    ProcessTreeMemory(const ProcessTreeMemory&) = delete;
    ProcessTreeMemory& operator=(const ProcessTreeMemory&) = delete;

    // The highest sum since the last call, and a fresh start for the next.
    Peak takePeak()
    {
        sample();
        const std::lock_guard<std::mutex> lock(m_mutex);
        Peak p = m_peak;
        m_peak = Peak();
        return p;
    }

    int samples() const { return m_samples; }

private:
    struct Process {
        int parent = 0;
        double bytes = 0;
        std::string name;
    };

    // pid, parent and resident bytes from /proc/<pid>/stat; false when it has gone.
    static bool readStat(int pid, Process& p)
    {
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
        FILE* f = std::fopen(path, "r");
        if (!f)
            return false;
        char text[1024];
        const size_t n = std::fread(text, 1, sizeof text - 1, f);
        std::fclose(f);
        text[n] = 0;
        // The name may hold blanks and parentheses; the fields follow the last ')'.
        const char* open = std::strchr(text, '(');
        const char* close = std::strrchr(text, ')');
        if (!open || !close || close < open)
            return false;
        p.name.assign(open + 1, close);
        // Fields after the name: 3 state, 4 ppid, … 24 rss (pages).
        const char* at = close + 1;
        long long fields[22] = {};
        for (int i = 0; i < 22; ++i) {
            while (*at == ' ')
                ++at;
            if (i == 0) { // state, a letter
                while (*at && *at != ' ')
                    ++at;
                continue;
            }
            char* end = nullptr;
            fields[i] = std::strtoll(at, &end, 10);
            if (end == at)
                return false;
            at = end;
        }
        p.parent = int(fields[1]);
        p.bytes = double(fields[21]) * double(sysconf(_SC_PAGESIZE));
        return true;
    }

    void sample()
    {
        std::map<int, Process> all;
        if (DIR* proc = opendir("/proc")) {
            while (const dirent* entry = readdir(proc)) {
                char* end = nullptr;
                const long pid = std::strtol(entry->d_name, &end, 10);
                Process p;
                if (*end == 0 && pid > 0 && readStat(int(pid), p))
                    all[int(pid)] = p;
            }
            closedir(proc);
        }
        std::multimap<int, int> children;
        for (const auto& [pid, p] : all)
            children.emplace(p.parent, pid);
        std::vector<int> open{int(getpid())};
        std::vector<const Process*> tree;
        double sum = 0;
        while (!open.empty()) {
            const int parent = open.back();
            open.pop_back();
            const auto range = children.equal_range(parent);
            for (auto it = range.first; it != range.second; ++it) {
                open.push_back(it->second);
                tree.push_back(&all[it->second]);
                sum += tree.back()->bytes;
            }
        }
        ++m_samples;
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (sum <= m_peak.bytes)
            return;
        std::sort(tree.begin(), tree.end(), [](const Process* a, const Process* b) { return a->bytes > b->bytes; });
        m_peak.bytes = sum;
        m_peak.largest.clear();
        for (size_t i = 0; i < tree.size() && i < 3; ++i) {
            char part[96];
            std::snprintf(part, sizeof part, "%s%s %.0f MB", i ? ", " : "", tree[i]->name.c_str(),
                          tree[i]->bytes / 1048576.0);
            m_peak.largest += part;
        }
        if (tree.size() > 3)
            m_peak.largest += " (" + std::to_string(tree.size()) + " processes)";
    }

    const int m_interval;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_samples{0};
    std::mutex m_mutex;
    Peak m_peak;
    std::thread m_thread;
};
