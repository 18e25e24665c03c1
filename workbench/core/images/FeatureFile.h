#pragma once

#include <QString>
#include <QVector>

class QIODevice;

// One detected feature of a photograph, in image pixels of the unrotated image.
struct FeatureRecord {
    int index = 0; // position in the feature file
    double x = 0;  // column
    double y = 0;  // row
    double scale = 0;
    double orientation = 0;
};

// The feature file of a photograph in Lowe's text format, as the SIFT tools
// write it beside the image: a header "N D" (feature count, descriptor
// length), then per feature "row column scale orientation" followed by its D
// descriptor values, wherever the line breaks fall. Files that give only the
// four values per feature (no descriptor length, or none written) read too.
class FeatureFile
{
public:
    // The image's path cut at its last "." followed by ".key".
    static QString pathFor(const QString& imagePath);

    // Appends the features read to `features`. False with a message naming
    // the line when the file breaks off or holds something else; the features
    // read before that point are kept.
    static bool read(QIODevice& device, QVector<FeatureRecord>& features, QString* error = nullptr);
    static bool readFile(const QString& path, QVector<FeatureRecord>& features, QString* error = nullptr);
};
