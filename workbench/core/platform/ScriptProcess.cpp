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
    m_errorTail.clear();
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

void ScriptProcess::stopTree()
{
    if (state() == NotRunning)
        return;
#ifdef Q_OS_UNIX
    const qint64 pid = processId();
    if (pid > 0)
        ::kill(-pid_t(pid), SIGTERM);
#else
    killTree();
#endif
}

QString ScriptProcess::takeOutput()
{
    QString text = QString::fromLocal8Bit(readAllStandardOutput());
    if (processChannelMode() == SeparateChannels) {
        const QString errors = QString::fromLocal8Bit(readAllStandardError());
        m_errorTail = (m_errorTail + errors).right(tailLength);
        text += errors;
    }
    m_tail = (m_tail + text).right(tailLength);
    return text;
}

namespace
{

QStringList nonEmptyLines(const QString& text)
{
    QStringList out;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        if (!line.trimmed().isEmpty())
            out << line.trimmed();
    return out;
}

} // namespace

QString ScriptProcess::lastOutputLine() const
{
    const QStringList lines = nonEmptyLines(m_tail);
    return lines.isEmpty() ? QString() : lines.last();
}

QString ScriptProcess::lastErrorLine() const
{
    const QStringList lines = nonEmptyLines(m_errorTail);
    if (lines.isEmpty())
        return QString();
    // "'x' is not recognized as an internal or external command," / "operable program or batch file."
    if (lines.size() > 1 && lines[lines.size() - 2].endsWith(QLatin1Char(',')))
        return lines[lines.size() - 2] + QLatin1Char(' ') + lines.last();
    return lines.last();
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
