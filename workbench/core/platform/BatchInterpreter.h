#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

// Runs the batch scripts and command lines the workbench writes for its tool
// chain, where there is no cmd.exe: "@ECHO off", "ECHO text", "mkdir", "rm",
// "if [not] exist X command", "type A B > C", "cd", "cmd /c command", ">" and
// ">>" redirection, and tool calls. Backslashes turn into slashes and a tool
// named X.exe is found as X.exe or X. Like cmd.exe, a failing line does not
// stop the script. Unlike cmd.exe, a script in which a tool failed (or could
// not be found) ends with that tool's exit code and repeats the tool's last
// error line as its own last one, so that whoever runs the script learns what
// broke; without a failed tool the exit code is that of the last command.
class BatchInterpreter
{
public:
    explicit BatchInterpreter(QTextStream& out, QTextStream& err);

    int runScript(const QString& fileName);
    int runLines(const QStringList& lines);
    int runLine(const QString& line);

    // Splits a command line into words, keeping "quoted parts" together.
    static QStringList split(const QString& line);
    // The program a tool word names: slashes for backslashes, and X.exe found
    // as X when only that exists. Empty when neither exists.
    static QString resolveProgram(const QString& word);

    // From a signal handler: passes the signal on to the tool running now
    // (so it can end cleanly) and runs no further line or tool.
    static void requestStop(int signal);

    // Exit code of a command that could not be found, as cmd.exe gives it.
    static constexpr int notFound = 9009;

private:
    int runWords(QStringList words, const QString& redirect, bool append);
    int runTool(const QString& program, const QStringList& args, const QString& redirect, bool append);
    QString local(const QString& path) const;

    // The first tool of the script that failed: its exit code and last error line.
    void noteFailure(int code, const QString& reason);

    QTextStream& m_out;
    QTextStream& m_err;
    int m_last = 0;
    int m_failedCode = 0;
    QString m_failedReason;
};
