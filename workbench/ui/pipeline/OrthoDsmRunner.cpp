#include "ui/pipeline/OrthoDsmRunner.h"

#include <QDir>
#include <QFileInfo>

#include "core/pipeline/ScriptFile.h"
#include "core/platform/ExternalTools.h"
#include "core/platform/PlatformPaths.h"

OrthoDsmRunner::OrthoDsmRunner(const QString& appDir, QObject* parent) : QObject(parent), m_appDir(appDir)
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &OrthoDsmRunner::readOutput);
    connect(&m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &OrthoDsmRunner::ended);
    m_killTimer.setSingleShot(true);
    m_killTimer.setInterval(10000);
    connect(&m_killTimer, &QTimer::timeout, &m_process, &ScriptProcess::killTree);
    m_progressTimer.setInterval(1000);
    connect(&m_progressTimer, &QTimer::timeout, this, &OrthoDsmRunner::showProgress);
}

void OrthoDsmRunner::showProgress()
{
    emit progress(m_progress.text(tr("Orthophoto and DSM")),
                  m_progress.known() ? m_progress.fraction() : -1.0);
}

void OrthoDsmRunner::stop()
{
    if (!isRunning())
        return;
    m_stopping = true;
    emit logLine(tr("Stopping the orthophoto and DSM..."));
    m_process.stopTree();
    m_killTimer.start();
}

OrthoDsmRunner::~OrthoDsmRunner()
{
    if (!isRunning())
        return;
    disconnect(&m_process, nullptr, this, nullptr);
    m_process.stopTree();
    if (!m_process.waitForFinished(10000)) {
        m_process.killTree();
        m_process.waitForFinished(2000);
    }
}

QString OrthoDsmRunner::commandLine(const QString& appDir, const QString& folder)
{
    QString f = QDir::cleanPath(folder);
    return ScriptFile::quoted(ExternalTools::path(ExternalTools::Tool::OrthoDsm, appDir)) + QLatin1Char(' ') +
           ScriptFile::quoted(f);
}

QString OrthoDsmRunner::dsmPath(const QString& folder)
{
    return QDir::cleanPath(folder) + QStringLiteral("/ortho/dsm.tif");
}

QString OrthoDsmRunner::orthophotoPath(const QString& folder)
{
    return QDir::cleanPath(folder) + QStringLiteral("/ortho/orthophoto.tif");
}

bool OrthoDsmRunner::start(const QString& folder, QString* refusal)
{
    if (isRunning()) {
        *refusal = tr("The orthophoto and DSM are still being built: wait for them first");
        return false;
    }
    m_folder = folder;
    m_partialLine.clear();
    m_stopping = false;
    m_progress = StageProgress(QDateTime::currentDateTime());
    m_clock.start();
    const QString command = commandLine(m_appDir, folder);
    emit logLine(command);
    m_process.startScript(m_appDir, command);
    if (!m_process.waitForStarted(10000)) {
        *refusal = tr("Orthophoto and DSM not built: cannot start %1: %2")
                       .arg(PlatformPaths::commandInterpreter(m_appDir), m_process.errorString());
        emit logLine(*refusal);
        return false;
    }
    m_progressTimer.start();
    return true;
}

void OrthoDsmRunner::readOutput()
{
    m_partialLine += m_process.readAllStandardOutput();
    int nl;
    while ((nl = m_partialLine.indexOf('\n')) >= 0) {
        const QString line = QString::fromLocal8Bit(m_partialLine.left(nl)).trimmed();
        m_partialLine.remove(0, nl + 1);
        // The counts go to the status bar; the log keeps each one's end.
        StageProgress::Count count;
        if (StageProgress::parse(line, count)) {
            m_progress.read(line, QDateTime::currentDateTime());
            if (count.done < count.total)
                continue;
        }
        if (!line.isEmpty())
            emit logLine(line);
    }
}

void OrthoDsmRunner::ended(int exitCode, QProcess::ExitStatus status)
{
    m_killTimer.stop();
    m_progressTimer.stop();
    readOutput();
    const QStringList errors =
        QString::fromLocal8Bit(m_process.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QString reason = errors.isEmpty() ? QString() : errors.last().trimmed();
    if (reason.startsWith(QLatin1String("OrthoDsm: ")))
        reason = reason.mid(10);
    bool written = false;
    QString message;
    // Asked to stop, the tool ends without a result (it removes its partial
    // rasters); one that had finished in the meantime is judged as any run.
    if (m_stopping && (status != QProcess::NormalExit || exitCode != 0))
        message = tr("Orthophoto and DSM stopped: nothing was written");
    else if (status != QProcess::NormalExit)
        message = tr("Orthophoto and DSM not built: OrthoDsm stopped unexpectedly");
    else if (exitCode != 0)
        message = reason.isEmpty()
                      ? tr("Orthophoto and DSM not built: OrthoDsm ended with code %1").arg(exitCode)
                      : tr("Orthophoto and DSM not built: %1").arg(reason);
    else if (!QFileInfo(dsmPath(m_folder)).isFile() || !QFileInfo(orthophotoPath(m_folder)).isFile())
        message = tr("Orthophoto and DSM not built: nothing was written to %1")
                      .arg(QFileInfo(dsmPath(m_folder)).path());
    else {
        written = true;
        emit logLine(
            tr("Orthophoto and DSM took %1 s").arg(QString::number(m_clock.elapsed() / 1000.0, 'f', 1)));
        message = tr("Orthophoto and DSM written to %1 (open them with Add Data)")
                      .arg(QFileInfo(dsmPath(m_folder)).path());
    }
    emit logLine(message);
    emit finished(written, message);
}
