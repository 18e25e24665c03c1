#include "ui/layers/CloudConversion.h"

#include "core/formats/PlyToPts.h"
#include "core/log/LogLine.h"
#include "core/platform/ExternalTools.h"
#include "core/platform/PlatformPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

namespace
{

// The command interpreter splits its line at blanks; a path with blanks is
// quoted so it stays one word.
QString quoted(const QString& path)
{
    return path.contains(QLatin1Char(' ')) ? QLatin1Char('"') + path + QLatin1Char('"') : path;
}

} // namespace

CloudConversion::CloudConversion(QProcess* process, const QString& appDir, QObject* parent)
    : QObject(parent), m_process(process), m_appDir(appDir)
{
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &CloudConversion::readToolOutput);
}

CloudConversion::~CloudConversion()
{
    if (m_ptsThread) {
        m_ptsCancel = true;
        m_ptsThread->wait();
        delete m_ptsThread;
    }
}

bool CloudConversion::startPts(const QString& plyFile)
{
    if (m_ptsThread) {
        emit statusMessage(tr("A Ply to Pts conversion is still running"), 5000);
        return false;
    }
    m_ptsCancel = false;
    const QString name = QFileInfo(plyFile).fileName();
    emit statusMessage(tr("Converting %1 to Pts").arg(name), 0);
    m_ptsThread = QThread::create([this, plyFile, name] {
        PlyToPts::Control control;
        control.cancel = &m_ptsCancel;
        int shown = -1;
        control.progress = [this, name, &shown](qint64 done, qint64 total) {
            const int percent = total > 0 ? int(done * 100 / total) : 0;
            if (percent == shown)
                return;
            shown = percent;
            QMetaObject::invokeMethod(
                this,
                [this, name, percent] {
                    emit statusMessage(tr("Converting %1 to Pts: %2%").arg(name).arg(percent), 0);
                },
                Qt::QueuedConnection);
        };
        QString message;
        const bool converted = PlyToPts::convert(plyFile, &message, control);
        QMetaObject::invokeMethod(
            this, [this, converted, message] { finishPts(converted, message); }, Qt::QueuedConnection);
    });
    m_ptsThread->start();
    return true;
}

void CloudConversion::finishPts(bool converted, const QString& message)
{
    m_ptsThread->wait();
    delete m_ptsThread;
    m_ptsThread = nullptr;
    if (converted)
        emit statusMessage(tr("Ply converted to Pts"), 2000);
    else
        emit statusMessage(tr("Ply not converted: %1").arg(message), 5000);
    if (!message.isEmpty())
        emit logLine(message);
    emit ptsFinished(converted);
}

QString CloudConversion::binaryRefusal()
{
    return tr("Ply Must be ASCII format, this is Binary (Convert in Meshlab)");
}

QString CloudConversion::successText()
{
    return tr("Ply Successfully Converted");
}

bool CloudConversion::isAsciiPly(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    f.readLine(256);
    QByteArray second = f.readLine(256);
    if (second.endsWith('\n'))
        second.chop(1);
    return second == "format ascii 1.0";
}

QString CloudConversion::intermediatePath(const QString& plyFile)
{
    return plyFile.left(plyFile.lastIndexOf(QLatin1Char('.'))) + QStringLiteral(".bin");
}

QString CloudConversion::archivePath(const QString& intermediate)
{
    return intermediate.left(intermediate.lastIndexOf(QLatin1Char('.'))) + QStringLiteral(".osga");
}

QStringList CloudConversion::piecesOf(const QString& intermediate)
{
    const QFileInfo info(intermediate);
    const QDir folder = info.absoluteDir();
    const QString base = QRegularExpression::escape(info.fileName());
    const QString archive = QRegularExpression::escape(QFileInfo(archivePath(intermediate)).fileName());
    const QRegularExpression piece(QStringLiteral("^(%1[0-7]*|%2\\.part[0-9]+\\.osga)$").arg(base, archive));
    QStringList pieces;
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden))
        if (piece.match(name).hasMatch())
            pieces << folder.filePath(name);
    return pieces;
}

void CloudConversion::abandonArchive()
{
    if (m_pending.isEmpty())
        return;
    if (archiveRunning()) {
        // Nobody is left to be told how it ended.
        disconnect(m_process, nullptr, nullptr, nullptr);
        // The interpreter passes the request on to the tool, which stops at
        // its next step and removes its pieces; one that does not is killed.
        m_process->terminate();
        if (!m_process->waitForFinished(10000)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
    for (const QString& piece : piecesOf(m_pending))
        QFile::remove(piece);
    LogLine(LogLevel::Info) << m_pending.toStdString() << ": conversion stopped, its pieces removed\n";
    m_pending.clear();
}

QString CloudConversion::commandLine(const QString& appDir, const QString& input, const QString& output)
{
    return quoted(ExternalTools::path(ExternalTools::Tool::Points2Archive, appDir)) +
           QStringLiteral("  -i ") + quoted(input) + QStringLiteral(" -o ") + quoted(output) +
           QStringLiteral(" -input_format xyzrgbi -output_format xyzrgb -color_scale 1.0 "
                          "-intensity_scale 0.165 -skip_header 16");
}

bool CloudConversion::archiveRunning() const
{
    return m_process->state() != QProcess::NotRunning;
}

bool CloudConversion::startArchive(const QString& plyFile, QString* refusal)
{
    // A second start would reuse the running process and lose the first
    // conversion's intermediate file.
    if (archiveRunning()) {
        *refusal = tr("A conversion is still running; wait for its message before starting another.");
        emit logLine(*refusal);
        return false;
    }
    if (!isAsciiPly(plyFile)) {
        *refusal = binaryRefusal();
        emit logLine(*refusal);
        return false;
    }
    m_pending = intermediatePath(plyFile);
    m_partialLine.clear();
    const QString command = commandLine(m_appDir, plyFile, m_pending);
    emit logLine(command);
    m_process->start(PlatformPaths::commandInterpreter(m_appDir), PlatformPaths::commandInterpreterArguments()
                                                                      << command);
    // A process that never starts never finishes either.
    if (!m_process->waitForStarted(10000)) {
        *refusal = tr("Ply conversion failed: cannot start %1: %2")
                       .arg(PlatformPaths::commandInterpreter(m_appDir), m_process->errorString());
        emit logLine(*refusal);
        m_pending.clear();
        return false;
    }
    return true;
}

void CloudConversion::readToolOutput()
{
    // Progress lines of the tool go to the log as they come.
    m_partialLine += m_process->readAllStandardOutput();
    int nl;
    while ((nl = m_partialLine.indexOf('\n')) >= 0) {
        const QString line = QString::fromLocal8Bit(m_partialLine.left(nl)).trimmed();
        m_partialLine.remove(0, nl + 1);
        if (!line.isEmpty())
            emit logLine(line);
    }
}

CloudConversion::Finish CloudConversion::finishArchive(int exitCode, QProcess::ExitStatus status)
{
    readToolOutput();
    Finish finish;
    const QStringList errors = QString::fromLocal8Bit(m_process->readAllStandardError())
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString reason = errors.isEmpty() ? QString() : errors.last().trimmed();
    const QString archive = m_pending.isEmpty() ? QString() : archivePath(m_pending);

    if (status != QProcess::NormalExit) {
        finish.message = tr("Ply conversion failed: Points2Archive stopped unexpectedly");
    } else if (exitCode != 0) {
        finish.message = reason.isEmpty()
                             ? tr("Ply conversion failed: Points2Archive ended with code %1").arg(exitCode)
                             : tr("Ply conversion failed: %1").arg(reason);
    } else if (archive.isEmpty() || !QFileInfo(archive).isFile()) {
        finish.message = tr("Ply conversion failed: no archive was written to %1").arg(archive);
    } else {
        finish.converted = true;
        finish.message = successText();
        finish.archive = archive;
    }
    emit logLine(finish.message);

    if (!m_pending.isEmpty()) {
        LogLine() << m_pending.toStdString() << "\n";
        if (QFile::exists(m_pending))
            LogLine() << (QFile::remove(m_pending) ? "removed" : "failed") << "\n";
        m_pending.clear();
    }
    return finish;
}
