#include "core/platform/PlatformPaths.h"

#include <QDir>
#include <QRegularExpression>

QString PlatformPaths::fromWindowsPath(const QString& path)
{
#ifdef Q_OS_WIN
    return path;
#else
    static const QRegularExpression drive(QStringLiteral("^[A-Za-z]:[/\\\\]+"));
    const QRegularExpressionMatch m = drive.match(path);
    if (!m.hasMatch())
        return path;
    QString rest = path.mid(m.capturedLength());
    rest.replace('\\', '/');
    return QDir::homePath() + '/' + rest;
#endif
}

QString PlatformPaths::commandInterpreter(const QString& appDir)
{
#ifdef Q_OS_WIN
    Q_UNUSED(appDir);
    return QStringLiteral("cmd.exe");
#else
    return appDir + QStringLiteral("/orvcmd");
#endif
}

QStringList PlatformPaths::commandInterpreterArguments()
{
    return {QStringLiteral("/c")};
}

QString PlatformPaths::serialPort(const QString& name)
{
#ifdef Q_OS_WIN
    return name;
#else
    if (name.contains('/'))
        return name;
    return QStringLiteral("/dev/") + name;
#endif
}
