#pragma once

#include <QString>

class QIODevice;

// Reads the EXIF values the image viewer shows from the XML file exiftool's
// "-X" option writes beside each photograph: the root "RDF", its first child
// "Description", and in it the first element of each name below, whatever its prefix.
class ExifXmlReader
{
public:
    struct Values {
        QString fileSize;
        QString fileCreateDate;
        QString make;
        QString model;
        QString exposureTime;
        QString fNumber;
        QString focalLength;
    };

    // Fills the values found; the others keep what they held. False with an
    // error text when the document is not such a file or breaks off.
    static bool read(QIODevice& device, Values& values, QString* error = nullptr);
    static bool readFile(const QString& path, Values& values, QString* error = nullptr);

    static QString notExifMessage() { return QStringLiteral("The file is not an Exif XML file."); }
};
