#pragma once

#include <QProcess>
#include <QString>

// A batch file or command line run through the platform's command
// interpreter ("cmd.exe /c" or our orvcmd). The interpreter and every tool it
// starts form one group, so that stopping the run stops them all. What they
// print is read as it arrives; the end of it is kept for the message of a
// failed run. The workbench starts its programs this way (the interpreter,
// orvcmd, then starts a script's programs within the group); the tools, which
// link no Qt, through common/system/ChildProcess.
class ScriptProcess : public QProcess
{
    Q_OBJECT
public:
    explicit ScriptProcess(QObject* parent = nullptr);
    ~ScriptProcess() override;

    // Starts appDir's interpreter with "/c" and script.
    void startScript(const QString& appDir, const QString& script);
    // Ends the interpreter and everything it started; finished() follows.
    void killTree();
    // Asks them all to stop (SIGTERM), so a tool can remove what it had begun
    // to write; killTree() is for those that do not.
    void stopTree();

    // Reads what the run printed since the last call (both channels) and
    // keeps its end.
    QString takeOutput();
    // The last non-empty line the run printed, or empty.
    QString lastOutputLine() const;
    // The last non-empty line of the run's error output (separate channels
    // only), where a failing tool says why; cmd.exe's messages, wrapped over
    // two lines, come as one. Empty when there is none.
    QString lastErrorLine() const;

    // True when the run ended by itself with exit code 0.
    bool succeeded() const;
    // "exit code 3", or "crashed" for a run that did not end by itself.
    QString exitText() const;

protected:
    void setupChildProcess() override;

private:
    QString m_tail;
    QString m_errorTail;
};
