#pragma once

#include <cstddef>
#include <mutex>
#include <ostream>
#include <string>

// The progress lines our tools print and the workbench reads into its status
// bar: "progress: matching 12 of 40 pairs" (what may be empty: "progress: 1 of
// 3 clusters"). A count goes out at its start, whenever another hundredth of
// it is done, and at its end, so a long count fills no log; threads may count
// at once.
class ProgressLine
{
public:
    ProgressLine(std::ostream* out, std::string what, std::size_t total, std::string unit);

    // The line itself, without its line feed.
    static std::string text(const std::string& what, std::size_t done, std::size_t total,
                            const std::string& unit);

    // One more item done.
    void step();
    // done items of the total done.
    void set(std::size_t done);

private:
    void print(std::size_t done);

    std::ostream* m_out;
    std::string m_what;
    std::size_t m_total;
    std::string m_unit;
    std::size_t m_done = 0;
    std::size_t m_lastShare = 0;
    std::mutex m_lock;
};
