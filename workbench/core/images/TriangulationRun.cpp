#include "core/images/TriangulationRun.h"

#include <QElapsedTimer>
#include <QList>
#include <QLocale>

#include <algorithm>

#include "core/images/ExifScript.h"
#include "core/platform/ExternalTools.h"
#include "core/platform/ScriptProcess.h"

namespace
{

// Backslashed, and quoted where the command interpreter would split or misread it.
QString word(QString path)
{
    path.replace('/', '\\');
    return ExifScript::quoted(path);
}

QString lastLine(const QByteArray& output)
{
    const QList<QByteArray> lines = output.trimmed().split('\n');
    QString line = QString::fromLocal8Bit(lines.isEmpty() ? QByteArray() : lines.last().trimmed());
    constexpr int longest = 300;
    if (line.size() > longest)
        line = line.left(longest) + QStringLiteral("...");
    return line;
}

// The output in one line for the log.
QString summary(const QByteArray& output)
{
    QString text = QString::fromLocal8Bit(output).simplified();
    constexpr int longest = 300;
    if (text.size() > longest)
        text = text.left(longest) + QStringLiteral("...");
    return text;
}

constexpr qint64 outputLimit = 1 << 16;

} // namespace

QString TriangulationRun::commandLine(const QString& appDir, const QString& imageFolder, const ImagePick& a,
                                      const ImagePick& b)
{
    QString folder = imageFolder;
    if (!folder.isEmpty() && !folder.endsWith('/') && !folder.endsWith('\\'))
        folder += '/';
    QString line = word(ExternalTools::path(ExternalTools::Tool::TriangulationUndistort, appDir)) + ' ' +
                   word(folder + QStringLiteral("sparse-converted-list.txt")) + ' ' +
                   word(folder + QStringLiteral("sparse-converted.out")) + ' ' + word(folder);
    for (const ImagePick* p : {&a, &b})
        line += QStringLiteral(" %1 %2 %3").arg(p->cameraIndex).arg(p->x).arg(p->y);
    return line;
}

TriangulationRun::Result TriangulationRun::parse(const QByteArray& output)
{
    Result r;
    const QString line = lastLine(output);
    const QStringList parts = line.split(',');
    double v[3] = {0, 0, 0};
    bool ok = parts.size() >= 3;
    const QLocale c = QLocale::c();
    for (int i = 0; ok && i < 3; ++i)
        v[i] = c.toDouble(parts[i].trimmed(), &ok);
    if (!ok) {
        r.reason = line.isEmpty()
                       ? QStringLiteral("the Triangulate tool printed nothing")
                       : QStringLiteral("the Triangulate tool printed no point: %1").arg(summary(output));
        return r;
    }
    r.ok = true;
    r.point = osg::Vec3d(v[0], v[1], v[2]);
    return r;
}

TriangulationRun::Result TriangulationRun::run(ScriptProcess& process, const QString& appDir,
                                               const QString& imageFolder, const ImagePick& a,
                                               const ImagePick& b, int timeoutMs)
{
    Result r;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.startScript(appDir, commandLine(appDir, imageFolder, a, b));
    if (!process.waitForStarted()) {
        r.reason =
            QStringLiteral("the command interpreter could not be started: %1").arg(process.errorString());
        return r;
    }
    // Output is taken as it comes so that a tool printing without end fills
    // no more than a bounded buffer.
    QByteArray output;
    auto take = [&] {
        const QByteArray chunk = process.readAll();
        output += chunk.left(int(std::max<qint64>(0, outputLimit - output.size())));
    };
    QElapsedTimer clock;
    clock.start();
    while (!process.waitForFinished(50) && process.state() != QProcess::NotRunning) {
        take();
        if (clock.elapsed() >= timeoutMs) {
            process.killTree();
            process.waitForFinished();
            r.reason = QStringLiteral("the Triangulate tool gave no answer within %1 s and was stopped")
                           .arg(timeoutMs / 1000.0);
            return r;
        }
    }
    take();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString line = summary(output);
        r.reason = process.exitStatus() != QProcess::NormalExit
                       ? QStringLiteral("the Triangulate tool crashed")
                       : QStringLiteral("the Triangulate tool failed (exit code %1)").arg(process.exitCode());
        if (!line.isEmpty())
            r.reason += QStringLiteral(": ") + line;
        return r;
    }
    return parse(output);
}
