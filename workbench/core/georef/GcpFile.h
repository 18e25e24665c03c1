#pragma once

#include <QString>

#include <cmath>
#include <vector>

class QIODevice;

// The ground control file of drone software ("gcp_list.txt"): the first line
// names the reference system ("EPSG:32633", "WGS84 UTM 33N"), every further
// line one observation "geo_x geo_y geo_z im_x im_y image_name [gcp_name
// [sigma_h [sigma_v]]]" (pixels right and down from the photo's top-left
// corner; the point's standard deviations in metres, horizontal and
// vertical, after its name, each optional). Lines starting with "#" and
// blank lines are skipped.
class GcpFile
{
public:
    struct Observation {
        double x = 0, y = 0, z = 0;  // in the reference system
        double column = 0, row = 0;  // in the photo
        QString image;
        // Given, or "GCP" and the point's number in first-seen order, the
        // numbers of given names skipped.
        QString name;
        // The point's standard deviations, metres; NaN when not given.
        double sigmaHorizontal = std::nan(""), sigmaVertical = std::nan("");
        int line = 0;
    };

    QString system; // as written, less control characters
    int epsg = 0;
    std::vector<Observation> observations;

    // False with "<file> line N: …" for an unknown reference system, one that
    // cannot hold survey coordinates (SurveySystem), a line that is not an
    // observation (a NUL byte, a name with a control character), a standard
    // deviation that is not a number above zero (the message names the
    // point); nothing is kept then.
    static bool read(QIODevice& device, const QString& fileName, GcpFile* out, QString* error);
    static bool readFile(const QString& path, GcpFile* out, QString* error);
};
