#pragma once

#include <QString>
#include <QStringList>

// The exifExtract.bat script and its argument file: one exiftool process for
// every photograph that has no EXIF XML file beside it yet. The argument file
// (exifExtract.args beside the script) names the photos one a line and tells
// exiftool to write each photo's XML (-X) into its own file beside it (-w),
// the file a redirection of "exiftool -X photo" would have made. One process
// for hundreds of photos, where a process per photo spends most of its time
// starting Perl.
class ExifScript
{
public:
    static QString fileName() { return QStringLiteral("exifExtract.bat"); }
    static QString argumentsFileName() { return QStringLiteral("exifExtract.args"); }

    // The XML file beside an image: the path cut at the last "." of its file
    // name, followed by ".xml" (exiftool's "%d%f.xml").
    static QString xmlPath(const QString& imagePath);
    // True when the image's XML file exists and ends with the end of
    // exiftool's XML document. An empty one is what a failed exiftool run
    // leaves behind, one cut short what a stopped one leaves.
    static bool hasXml(const QString& imagePath);
    // The images of the list whose XML file is missing or empty, in order.
    static QStringList missingXml(const QStringList& imagePaths);

    // The folder of the first image, where the script is written; empty for no images.
    static QString folderFor(const QStringList& imagePaths);

    // The argument file for the images without their XML file: the options,
    // then one photo a line as the list names it (exiftool takes "/" on every
    // system). Empty when every image has its XML file. A path exiftool
    // cannot read from a line (a line break in it, blanks at its ends) is
    // left out: that photo gets no XML file and is reported as such.
    static QByteArray arguments(const QStringList& imagePaths);
    // The script line: the tool and "-@" with the argument file, with
    // backslashes; a path the command interpreter would split or misread is
    // quoted. No "%" reaches the script, where cmd.exe would expand it.
    static QString line(const QString& appDir, const QString& argumentsPath);
    // The script for the images: the line when an image lacks its XML file,
    // else empty (nothing to run, the interpreter ends at once).
    static QByteArray script(const QString& appDir, const QString& argumentsPath,
                             const QStringList& imagePaths);

    // Writes the argument file and the script for the images into folder;
    // the script's path, or empty with the reason in error.
    static QString writeFiles(const QString& folder, const QString& appDir, const QStringList& imagePaths,
                              QString* error = nullptr);
    // Writes the text to path, replacing an older file whole.
    static bool write(const QString& path, const QByteArray& text, QString* error = nullptr);

    // "path" when the command interpreter needs the quotes, path otherwise.
    static QString quoted(const QString& path);
};
