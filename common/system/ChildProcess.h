#pragma once

#include <string>
#include <vector>

// How a tool starts another program (COLMAP's command line, exiftool) and
// ties its lifetime to the run that started it: when the workbench aborts a
// stage it kills the command interpreter, and everything below it must stop
// rather than finish a result the workbench has just thrown away.
// One of the two ways our code starts programs: the tools link no Qt and
// wait for the program's end, so a fork and exec is all they need. The
// workbench, which must keep its event loop turning, read a run's output as
// it arrives and end the whole group on an abort, starts its programs
// through core/platform/ScriptProcess.
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
