#pragma once

#include <QString>
#include <QStringList>

// The exifExtract.bat script: one exiftool call per photograph that has no
// EXIF XML file beside it yet, its standard output redirected into that file.
class ExifScript
{
public:
    static QString fileName() { return QStringLiteral("exifExtract.bat"); }

    // The XML file beside an image: the path cut at the last "." of its file
    // name, followed by ".xml".
    static QString xmlPath(const QString& imagePath);
    // True when the image's XML file exists and is not empty. An empty one is
    // what a failed exiftool run leaves behind through the redirection.
    static bool hasXml(const QString& imagePath);
    // The images of the list whose XML file is missing or empty, in order.
    static QStringList missingXml(const QStringList& imagePaths);

    // The folder of the first image, where the script is written; empty for no images.
    static QString folderFor(const QStringList& imagePaths);

    // One script line for an image: the tool, "-X", the image and the XML
    // file, with backslashes; a path the command interpreter would split or
    // misread is quoted.
    static QString line(const QString& appDir, const QString& imagePath);
    // The lines for every image without its XML file, separated by line
    // breaks, with none after the last.
    static QByteArray script(const QString& appDir, const QStringList& imagePaths);
    // Writes the script to path, replacing an older one whole.
    static bool write(const QString& path, const QByteArray& script, QString* error = nullptr);

    // "path" when the command interpreter needs the quotes, path otherwise.
    static QString quoted(const QString& path);
};
