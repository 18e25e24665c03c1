#pragma once

#include <QByteArray>

#include "core/formats/NvmReader.h"

class SparseBundle;

// Writes a reconstruction read by NvmReader back as NVM text: every model's
// cameras (name, focal length, rotation w x y z, centre, radial distortion)
// and points with their colours and measurements, taken from the cameras'
// views. Numbers in the C locale with round-trip digits, so reading the text
// again gives the same bundle.
class NvmWriter
{
public:
    // Empty when a view names a point that is not in its model's vertices.
    static QByteArray text(const SparseBundle& bundle, const NvmReader::VertexArrays& vertices,
                           const NvmReader::ColourArrays& colours);
};
