#pragma once

#include <functional>
#include <iostream>
#include <string>
#include <vector>

// The frame of every dense tool: checks the argument count, runs the tool's
// work and turns a refusal into one line on standard error and exit code 1.
inline int runDenseTool(const char* name, int argc, char** argv, int arguments, const char* usage,
                        const std::function<bool(const std::vector<std::string>&, std::string*)>& work)
{
    std::ios::sync_with_stdio(false);
    if (argc - 1 != arguments) {
        std::cerr << name << ": usage: " << name << ' ' << usage << '\n';
        return 1;
    }
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    bool ok = false;
    try {
        ok = work(args, &error);
    } catch (const std::exception& e) {
        error = e.what();
    }
    std::cout.flush();
    if (!ok) {
        std::cerr << name << ": " << (error.empty() ? std::string("failed") : error) << '\n';
        return 1;
    }
    return 0;
}
