#include "core/images/ExifScript.h"

#include <QFileInfo>
#include <QSaveFile>

#include "core/platform/ExternalTools.h"

namespace
{

QString backslashes(QString path)
{
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return path;
}

} // namespace

QString ExifScript::xmlPath(const QString& imagePath)
{
    const int slash = qMax(imagePath.lastIndexOf(QLatin1Char('/')), imagePath.lastIndexOf(QLatin1Char('\\')));
    const int dot = imagePath.lastIndexOf(QLatin1Char('.'));
    // A dot in a folder name is not the file's suffix.
    const QString stem = dot > slash ? imagePath.left(dot) : imagePath;
    return stem + QStringLiteral(".xml");
}

bool ExifScript::hasXml(const QString& imagePath)
{
    const QFileInfo xml(xmlPath(imagePath));
    return xml.isFile() && xml.size() > 0;
}

QStringList ExifScript::missingXml(const QStringList& imagePaths)
{
    QStringList missing;
    for (const QString& image : imagePaths)
        if (!hasXml(image))
            missing << image;
    return missing;
}

QString ExifScript::folderFor(const QStringList& imagePaths)
{
    if (imagePaths.isEmpty())
        return QString();
    const QString first = QString(imagePaths.first()).replace(QLatin1Char('\\'), QLatin1Char('/'));
    return first.left(first.lastIndexOf(QLatin1Char('/')));
}

QString ExifScript::quoted(const QString& path)
{
    // The characters cmd.exe asks to be quoted; our interpreter splits at the
    // blanks and reads ">" among them.
    static const QString special = QStringLiteral(" \t&()[]{}^=;!'+,`~<>|");
    for (const QChar c : path)
        if (special.contains(c))
            return QLatin1Char('"') + path + QLatin1Char('"');
    return path;
}

QString ExifScript::line(const QString& appDir, const QString& imagePath)
{
    const QString tool = ExternalTools::scriptPath(ExternalTools::Tool::ExifTool, appDir);
    const QString image = backslashes(imagePath);
    return quoted(tool) + QStringLiteral(" -X ") + quoted(image) + QStringLiteral(" > ") +
           quoted(xmlPath(image));
}

QByteArray ExifScript::script(const QString& appDir, const QStringList& imagePaths)
{
    QStringList lines;
    for (const QString& image : imagePaths)
        if (!hasXml(image))
            lines << line(appDir, image);
    return lines.join(QLatin1Char('\n')).toUtf8();
}

bool ExifScript::write(const QString& path, const QByteArray& script, QString* error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(script) == script.size() && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}
