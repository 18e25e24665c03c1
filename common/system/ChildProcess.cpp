#include "common/system/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

void ChildProcess::followParent()
{
#ifdef __linux__
    const pid_t parent = getppid();
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    // The parent may have ended before the request took effect.
    if (getppid() != parent)
        raise(SIGTERM);
#endif
}

std::string ChildProcess::findProgram(const std::string& name)
{
    if (name.empty())
        return {};
    if (name.find('/') != std::string::npos)
        return access(name.c_str(), X_OK) == 0 ? name : std::string();
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t colon = folders.find(':', start);
        const std::string folder =
            folders.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return {};
}

int ChildProcess::run(const std::string& program, const std::vector<std::string>& args,
                      const std::string& logPath, const std::vector<std::string>& environment,
                      std::string* error)
{
    int log = -1;
    if (!logPath.empty()) {
        log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (log < 0) {
            if (error)
                *error = "cannot write " + logPath + ": " + std::strerror(errno);
            return -1;
        }
    }
    // Reports a failed exec back to the parent through a close-on-exec pipe.
    int status[2];
    if (pipe2(status, O_CLOEXEC) != 0) {
        if (error)
            *error = std::string("cannot start ") + program + ": " + std::strerror(errno);
        if (log >= 0)
            close(log);
        return -1;
    }
    std::vector<std::string> env = environment;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        if (error)
            *error = std::string("cannot start ") + program + ": " + std::strerror(errno);
        close(status[0]);
        close(status[1]);
        if (log >= 0)
            close(log);
        return -1;
    }
    if (pid == 0) {
#ifdef __linux__
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
#endif
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
        }
        for (std::string& e : env)
            putenv(e.data());
        execvp(program.c_str(), argv.data());
        const int code = errno;
        (void)!write(status[1], &code, sizeof code);
        _exit(127);
    }
    close(status[1]);
    if (log >= 0)
        close(log);
    int execError = 0;
    const ssize_t got = read(status[0], &execError, sizeof execError);
    close(status[0]);
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    if (got == ssize_t(sizeof execError)) {
        if (error)
            *error = "cannot start " + program + ": " + std::strerror(execError);
        return -1;
    }
    if (WIFSIGNALED(wstatus))
        return 128 + WTERMSIG(wstatus);
    return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
}
