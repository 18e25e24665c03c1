#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <sstream>
#include <string>

#include "SharedData.h"

// What the tool tests share: photos copied into a scratch folder and the
// Windows-style names the workbench's scripts give our tools.
namespace ToolTest
{

// Copies kermit<index>.jpg into folder (writable) and returns the copies' paths.
inline QStringList copyKermit(const QString& folder, const QList<int>& indices)
{
    QStringList paths;
    for (int i : indices) {
        const QString name = QStringLiteral("kermit%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
        const QString target = folder + QLatin1Char('/') + name;
        QFile::copy(SharedData::path(QStringLiteral("images/kermit/") + name), target);
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        paths << target;
    }
    return paths;
}

inline std::string backslashes(QString path)
{
    return path.replace(QLatin1Char('/'), QLatin1Char('\\')).toStdString();
}

// The scripts' "JPG name": the path with its last three characters replaced by "JPG".
inline std::string jpgName(const QString& path)
{
    return backslashes(path.left(path.size() - 3) + QStringLiteral("JPG"));
}

inline void writeText(const QString& path, const std::string& text)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(text.data(), qint64(text.size()));
}

inline QString lastLine(const std::ostringstream& stream)
{
    const QStringList lines =
        QString::fromStdString(stream.str()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last();
}

} // namespace ToolTest
