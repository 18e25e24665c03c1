#include "ui/layers/CloudConversion.h"

#include "core/platform/ExternalTools.h"
#include "core/platform/PlatformPaths.h"

#include <QFile>
#include <QFileInfo>

#include <iostream>

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
        std::cout << m_pending.toStdString() << "\n";
        if (QFile::exists(m_pending))
            std::cout << (QFile::remove(m_pending) ? "removed" : "failed") << "\n";
        std::cout.flush();
        m_pending.clear();
    }
    return finish;
}
