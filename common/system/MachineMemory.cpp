#include "common/system/MachineMemory.h"

#include <fstream>
#include <iterator>
#include <string>

namespace
{

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// The whole number of kB after "key:" on its line.
bool kiloBytes(std::string_view text, std::string_view key, std::uint64_t& value)
{
    while (!text.empty()) {
        const size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string_view name = line.substr(0, colon);
        while (!name.empty() && isBlank(name.front()))
            name.remove_prefix(1);
        while (!name.empty() && isBlank(name.back()))
            name.remove_suffix(1);
        if (name != key)
            continue;
        std::string_view number = line.substr(colon + 1);
        while (!number.empty() && isBlank(number.front()))
            number.remove_prefix(1);
        while (!number.empty() && isBlank(number.back()))
            number.remove_suffix(1);
        if (number.size() >= 2 && number.substr(number.size() - 2) == "kB")
            number.remove_suffix(2);
        while (!number.empty() && isBlank(number.back()))
            number.remove_suffix(1);
        // Up to 15 digits: far past any machine, and no overflow in bytes.
        if (number.empty() || number.size() > 15)
            return false;
        std::uint64_t kib = 0;
        for (char c : number) {
            if (c < '0' || c > '9')
                return false;
            kib = kib * 10 + std::uint64_t(c - '0');
        }
        value = kib * 1024;
        return true;
    }
    return false;
}

} // namespace

bool MachineMemory::parse(std::string_view text, MachineMemory& memory)
{
    MachineMemory read;
    const bool ok = kiloBytes(text, "MemTotal", read.totalBytes) && kiloBytes(text, "MemAvailable", read.availableBytes);
    memory = ok ? read : MachineMemory();
    return ok;
}

bool MachineMemory::current(MachineMemory& memory)
{
    // /proc files report a size of 0: read until the end instead.
    std::ifstream in("/proc/meminfo", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return parse(text, memory);
}

std::uint64_t MachineMemory::available()
{
    MachineMemory memory;
    current(memory);
    return memory.availableBytes;
}
