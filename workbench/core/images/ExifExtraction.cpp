#include "core/images/ExifExtraction.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QStandardPaths>
#include <QTimer>

#include "core/images/ExifScript.h"
#include "core/platform/PlatformPaths.h"
#include "core/platform/ScriptProcess.h"

namespace
{
constexpr int maxErrorBytes = 16 * 1024;
constexpr int maxErrorLines = 5;
} // namespace

ExifExtraction::ExifExtraction(ScriptProcess* process, QObject* parent)
    : QObject(parent), m_process(process ? process : new ScriptProcess(this)),
      m_appDir(QCoreApplication::applicationDirPath())
{
    connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &ExifExtraction::onProcessFinished);
    connect(m_process, &QProcess::errorOccurred, this, &ExifExtraction::onProcessError);
    connect(m_process, &QProcess::readyReadStandardError, this, [this] {
        const QByteArray more = m_process->readAllStandardError();
        if (m_errors.size() < maxErrorBytes)
            m_errors += more.left(maxErrorBytes - m_errors.size());
    });
    connect(m_process, &QProcess::readyReadStandardOutput, this,
            [this] { m_process->readAllStandardOutput(); });
}

bool ExifExtraction::start(const QStringList& imagePaths)
{
    if (imagePaths.isEmpty()) {
        emit logLine(QStringLiteral("There are no images to extract, Aborting!"));
        return false;
    }
    if (m_running) {
        emit statusMessage(tr("Exif extraction is already running"), 2000);
        return false;
    }
    // A missing interpreter is only reported after start() otherwise, and a
    // caller waiting for the run to end would wait in vain.
    const QString interpreter = PlatformPaths::commandInterpreter(m_appDir);
    if (QStandardPaths::findExecutable(interpreter).isEmpty()) {
        emit logLine(tr("Exif not extracted: cannot start %1").arg(interpreter));
        return false;
    }
    QString error;
    m_scriptPath = ExifScript::writeFiles(ExifScript::folderFor(imagePaths), m_appDir, imagePaths, &error);
    if (m_scriptPath.isEmpty()) {
        emit logLine(tr("Exif not extracted: cannot write %1").arg(error));
        return false;
    }
    m_images = imagePaths;
    m_report.clear();
    m_missing.clear();
    m_errors.clear();
    m_succeeded = false;
    m_running = true;
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->startScript(m_appDir, m_scriptPath);
    return true;
}

bool ExifExtraction::waitForFinished(int msecs)
{
    if (!m_running)
        return true;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &ExifExtraction::finished, &loop, &QEventLoop::quit);
    timeout.start(msecs);
    loop.exec();
    return !m_running;
}

void ExifExtraction::onProcessFinished(int exitCode, QProcess::ExitStatus status)
{
    if (!m_running)
        return;
    m_errors += m_process->readAllStandardError().left(maxErrorBytes);
    if (status != QProcess::NormalExit)
        conclude(exitCode, tr("Exif extraction stopped"), status);
    else if (exitCode != 0)
        conclude(exitCode,
                 tr("Exif extraction: the command interpreter ended with exit code %1").arg(exitCode));
    else
        conclude(exitCode, QString());
}

void ExifExtraction::onProcessError(QProcess::ProcessError error)
{
    // Only a failed start ends the run here; the other errors come with finished().
    if (m_running && error == QProcess::FailedToStart)
        conclude(
            -1,
            tr("Exif extraction: cannot start %1: %2").arg(m_process->program(), m_process->errorString()));
}

void ExifExtraction::conclude(int exitCode, const QString& failure, QProcess::ExitStatus status)
{
    m_running = false;
    m_missing = ExifScript::missingXml(m_images);
    m_succeeded = failure.isEmpty() && m_missing.isEmpty();
    if (m_succeeded) {
        m_report << successLine();
    } else if (status == QProcess::CrashExit) {
        // Stopped (Abort of a run): one line, not one per photo left out.
        m_report << tr("%1: %2 of %3 photos have no Exif data").arg(failure).arg(m_missing.size()).arg(
                        m_images.size());
    } else {
        if (!failure.isEmpty())
            m_report << failure;
        const QStringList errors =
            QString::fromLocal8Bit(m_errors).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& line : errors.mid(0, maxErrorLines))
            m_report << line.trimmed();
        for (const QString& image : m_missing)
            m_report << tr("No Exif extracted for %1").arg(image);
    }
    emit finished(exitCode);
}
