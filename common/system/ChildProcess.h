#pragma once

#include <string>
#include <vector>

// Starts the engines our tools drive (COLMAP's command line) and ties the
// tools' lifetime to the run that started them: when the workbench aborts a
// stage it kills the command interpreter, and everything below it must stop
// rather than finish a result the workbench has just thrown away.
class ChildProcess
{
public:
    // Runs program with args and waits for it. Its standard output and error
    // are appended to logPath (inherited when empty); environment entries
    // "NAME=value" are set for it. Returns the exit code, 128 + signal when
    // it was killed, -1 when it could not be started (error says why).
    static int run(const std::string& program, const std::vector<std::string>& args,
                   const std::string& logPath, const std::vector<std::string>& environment,
                   std::string* error = nullptr);

    // From now on the calling process receives SIGTERM when its parent ends.
    static void followParent();

    // The program as found on PATH (or the name itself when it contains a
    // "/" and is executable); empty when there is none.
    static std::string findProgram(const std::string& name);
};
