#pragma once

#include <QString>
#include <QStringList>

// Places a reconstruction in survey coordinates from its photos' GPS: the
// camera centres of the NVM file's first model are fitted (robustly, so a few
// bad fixes do not pull the fit) to the GPS positions projected into the UTM
// zone of the photos (WGS 84), and the fit is written as the georeference
// companion file beside the NVM file (sparse.nvm → sparse.txt).
class GpsGeoreference
{
public:
    struct Outcome {
        bool written = false;
        int epsg = 0;
        int photos = 0;  // cameras of the reconstruction
        int withGps = 0; // of those, with a GPS position
        int used = 0;    // of those, within the fit
        double rms = 0;  // metres, over the used ones
        QString message; // the log line: what was written, or why nothing was
    };

    // Nothing is written (and an earlier companion file stays) unless three
    // or more photos with GPS give a fit.
    static Outcome run(const QString& nvmFile);
};
