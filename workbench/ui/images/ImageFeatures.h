#pragma once

#include <QPointF>
#include <QSet>
#include <QString>
#include <QVector>

#include "core/images/FeatureFile.h"

class OsgWidget;

// What the scene knows about one photograph for its viewer's overlays: the
// features of its key file, its camera in the first loaded bundle with the
// features that camera's views used, and its entry in the match sets.
class ImageFeatures
{
public:
    QVector<FeatureRecord> features;
    int cameraIndex = -1; // in its model's camera list, -1 when the image has no camera
    QSet<int> usedFeatures;
    int matchEntry = -1;
    QString error; // why the key file could not be read whole, empty otherwise

    // Reads the key file beside imagePath and looks the image up in the
    // scene's first bundle (by file name, without regard to folder or case)
    // and match sets (read once from the image's folder).
    static ImageFeatures read(const QString& imagePath, OsgWidget* scene);

    // The camera of an image file name in the scene's first bundle, -1 when none.
    static int cameraOf(const QString& fileName, const OsgWidget* scene, QSet<int>* used = nullptr);

    // The feature nearest to point within radius pixels, null when none is.
    const FeatureRecord* nearest(const QPointF& point, double radius, double* distance = nullptr) const;
};
