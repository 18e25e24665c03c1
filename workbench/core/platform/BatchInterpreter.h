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
    virtual ~BatchInterpreter() = default;

    // Limits past which a script is no script the workbench wrote but one
    // that calls itself or was damaged. Reaching one ends the whole run at
    // once, with one line on the error output saying which, and exit code 1:
    // going on line by line would repeat the refusal for every line left.
    //
    // Batch files calling batch files: deeper than this is a script calling
    // itself, refused instead of running out of stack.
    static constexpr int maxNesting = 64;
    // Batch files started in all, nested or one after the other: a script
    // that calls itself twice would otherwise run 2^64 times.
    static constexpr int maxScriptRuns = 10000;
    // One command line: eight times cmd.exe's own limit of 8191 characters.
    static constexpr int maxLineLength = 65536;
    // Script text read in all, over every batch file run: bounds the memory
    // the lines take and the work (and output) of running them.
    static constexpr qint64 maxScriptBytes = qint64(64) << 20;
    // The exit code of a run ended at one of these limits.
    static constexpr int limitReached = 1;

    // Why the run was ended at a limit; empty while none was reached.
    const QString& limitMessage() const { return m_limit; }

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

    // A word list as one command line again, a word that holds a blank in
    // double quotes.
    static QString join(const QStringList& words);

protected:
    // The file a script's path names (slashes for backslashes).
    virtual QString local(const QString& path) const;
    // Runs one program that is not a batch file; its exit code.
    virtual int startProcess(const QString& program, const QStringList& args, const QString& redirect,
                             bool append);

private:
    int runWords(QStringList words, const QString& redirect, bool append);
    // Ends the whole run: says why once and runs no further line.
    int stopAtLimit(const QString& why);
    int runTool(const QString& program, const QStringList& args, const QString& redirect, bool append);

    // The first tool of the script that failed: its exit code and last error line.
    void noteFailure(int code, const QString& reason);

    QTextStream& m_out;
    QTextStream& m_err;
    int m_last = 0;
    int m_failedCode = 0;
    QString m_failedReason;
    int m_depth = 0; // batch files being run, the outermost included
    int m_runs = 0;  // batch files started so far
    qint64 m_scriptBytes = 0; // script text read so far
    QString m_limit;
};
