#pragma once

#include <QString>

// The georeference that places a file made from a reconstruction. The dense
// stage works in the reconstruction's own frame, so its clouds (and the PTS
// files and paged archives converted from them beside them) stand where
// sparse.nvm stands only when they are placed by the same companion file,
// sparse.txt in the pipeline folder. Files the user wrote there (exports,
// registered copies) are in survey coordinates already and are left alone.
class ProductGeoReference
{
public:
    // The companion file that places the cloud, or an empty string when none
    // does (not a result of the dense stage, or its reconstruction is not
    // georeferenced).
    static QString companionOf(const QString& cloudFile);
};
