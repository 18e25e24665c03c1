#include "core/images/ExifScript.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "common/images/ExifFocal.h"
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
    return QString::fromStdString(ExifFocal::xmlPathForImage(imagePath.toStdString()));
}

bool ExifScript::hasXml(const QString& imagePath)
{
    // exiftool ends every document with its root's end tag; a file cut short
    // (exiftool stopped while writing it) lacks it and is made again.
    QFile xml(xmlPath(imagePath));
    constexpr qint64 tail = 64;
    if (!xml.open(QIODevice::ReadOnly) || xml.size() == 0 || !xml.seek(qMax<qint64>(0, xml.size() - tail)))
        return false;
    return xml.read(tail).trimmed().endsWith("</rdf:RDF>");
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

namespace
{

// A photo exiftool can take from a line of its argument file.
bool fitsOnALine(const QString& path)
{
    return !path.isEmpty() && !path.contains(QLatin1Char('\n')) && !path.contains(QLatin1Char('\r')) &&
           path.trimmed() == path;
}

} // namespace

QByteArray ExifScript::arguments(const QStringList& imagePaths)
{
    QStringList photos;
    for (const QString& image : imagePaths)
        if (!hasXml(image) && fitsOnALine(image))
            photos << QString(image).replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (photos.isEmpty())
        return QByteArray();
    // -X: the XML of each photo; -w! %d%f.xml: into a file of its own beside
    // it, replacing an empty one; names in UTF-8, also where the system's
    // code page would differ (Windows).
    const QStringList options{QStringLiteral("-X"), QStringLiteral("-w!"), QStringLiteral("%d%f.xml"),
                              QStringLiteral("-charset"), QStringLiteral("filename=utf8")};
    return (options + photos).join(QLatin1Char('\n')).toUtf8() + '\n';
}

QString ExifScript::line(const QString& appDir, const QString& argumentsPath)
{
    const QString tool = ExternalTools::scriptPath(ExternalTools::Tool::ExifTool, appDir);
    return quoted(tool) + QStringLiteral(" -@ ") + quoted(backslashes(argumentsPath));
}

QByteArray ExifScript::script(const QString& appDir, const QString& argumentsPath,
                              const QStringList& imagePaths)
{
    if (arguments(imagePaths).isEmpty())
        return QByteArray();
    return line(appDir, argumentsPath).toUtf8();
}

QString ExifScript::writeFiles(const QString& folder, const QString& appDir, const QStringList& imagePaths,
                               QString* error)
{
    const QString argumentsPath = folder + QLatin1Char('/') + argumentsFileName();
    const QString scriptPath = folder + QLatin1Char('/') + fileName();
    const QByteArray args = arguments(imagePaths);
    // An argument file of an earlier run is not left for the script to find.
    QString why;
    const QString& failed =
        !args.isEmpty() && !write(argumentsPath, args, &why) ? argumentsPath
        : !write(scriptPath, args.isEmpty() ? QByteArray() : line(appDir, argumentsPath).toUtf8(), &why)
            ? scriptPath
            : QString();
    if (failed.isEmpty()) {
        if (args.isEmpty())
            QFile::remove(argumentsPath);
        return scriptPath;
    }
    if (error)
        *error = failed + QStringLiteral(": ") + why;
    return QString();
}

bool ExifScript::write(const QString& path, const QByteArray& text, QString* error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}
