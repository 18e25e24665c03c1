#pragma once

#include <QByteArray>
#include <QString>

#include "core/formats/LayerType.h"

class QXmlStreamReader;
class QXmlStreamWriter;

// One layer as the project knows it, apart from any scene: its kind, the
// file it is read from, the name its tree item shows and whether it is
// shown. It reads and writes itself as an "item" of its kind's section of
// the project file, so a new option touches this class alone.
struct LayerOptions {
    QByteArray file; // exactly as passed to the loader
    QString name;
    bool visible = true;
    LayerType::Code type = LayerType::None;
    // The layer tree's id of the layer while it is open; never written.
    int id = 0;

    // Reads the "item" element the reader stands on, up to its end. Children
    // it does not know are passed over; an item without "status" reads as
    // hidden, as older projects wrote only shown layers with one.
    void readXml(QXmlStreamReader& xml);
    // Writes the layer as one "item" element.
    void writeXml(QXmlStreamWriter& xml) const;
};
