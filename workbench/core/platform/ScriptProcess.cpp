#include "core/platform/ScriptProcess.h"

#include "core/platform/PlatformPaths.h"

#ifdef Q_OS_UNIX
#include <signal.h>
#include <unistd.h>
#endif

namespace
{

// How much of a run's output is kept for its failure message.
constexpr int tailLength = 4096;

} // namespace

ScriptProcess::ScriptProcess(QObject* parent) : QProcess(parent) {}

ScriptProcess::~ScriptProcess()
{
    // The tools must not outlive the run that started them.
    if (state() != NotRunning) {
        killTree();
        waitForFinished(5000);
    }
}

void ScriptProcess::startScript(const QString& appDir, const QString& script)
{
    m_tail.clear();
    start(PlatformPaths::commandInterpreter(appDir), PlatformPaths::commandInterpreterArguments() << script,
          QIODevice::ReadWrite);
}

void ScriptProcess::setupChildProcess()
{
#ifdef Q_OS_UNIX
    // A group of its own: the interpreter's tools join it and killTree() reaches them.
    ::setpgid(0, 0);
#endif
}

void ScriptProcess::killTree()
{
    if (state() == NotRunning)
        return;
#ifdef Q_OS_UNIX
    const qint64 pid = processId();
    if (pid > 0)
        ::kill(-pid_t(pid), SIGKILL);
#elif defined(Q_OS_WIN)
    // cmd.exe's tools are its child processes: end the whole tree.
    QProcess::execute(QStringLiteral("taskkill"), {QStringLiteral("/T"), QStringLiteral("/F"),
                                                   QStringLiteral("/PID"), QString::number(processId())});
#endif
    kill();
}

QString ScriptProcess::takeOutput()
{
    QString text = QString::fromLocal8Bit(readAllStandardOutput());
    if (processChannelMode() == SeparateChannels)
        text += QString::fromLocal8Bit(readAllStandardError());
    m_tail = (m_tail + text).right(tailLength);
    return text;
}

QString ScriptProcess::lastOutputLine() const
{
    const QStringList lines = m_tail.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (int i = lines.size() - 1; i >= 0; --i) {
        const QString line = lines[i].trimmed();
        if (!line.isEmpty())
            return line;
    }
    return QString();
}

bool ScriptProcess::succeeded() const
{
    return exitStatus() == NormalExit && exitCode() == 0;
}

QString ScriptProcess::exitText() const
{
    if (exitStatus() != NormalExit)
        return QStringLiteral("crashed");
    return QStringLiteral("exit code %1").arg(exitCode());
}
