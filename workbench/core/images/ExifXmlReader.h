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
        // For the focal length in pixels.
        QString focalLength35;         // FocalLengthIn35mmFormat
        QString focalPlaneXResolution; // pixels per unit of the sensor, across the stored image
        QString focalPlaneResolutionUnit;
        QString imageWidth, imageHeight; // ExifImageWidth, ExifImageHeight: the stored image's
    };

    // Fills the values found; the others keep what they held. False with an
    // error text when the document is not such a file or breaks off.
    static bool read(QIODevice& device, Values& values, QString* error = nullptr);
    static bool readFile(const QString& path, Values& values, QString* error = nullptr);

    // The focal length in pixels of a width x height photo by the tools'
    // rule (common/images/ExifFocal): the focal length with the focal plane
    // resolution (scaled from the stored image to the photo), else the 35 mm
    // equivalent over the photo's diagonal (a full frame's is 43.27 mm). 0
    // when neither gives a plausible one (0.1 to 100 times the photo's longer
    // side); source says which did.
    static double focalPixels(const Values& values, int width, int height, QString* source = nullptr);

    static QString notExifMessage() { return QStringLiteral("The file is not an Exif XML file."); }
};
