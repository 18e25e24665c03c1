#pragma once

#include <QPointF>
#include <QSet>
#include <QString>
#include <QVector>

#include "core/images/FeatureFile.h"

class OsgWidget;

// What the scene knows about one photograph for its viewer's overlays: the
// features of its key file, its camera in the loaded reconstruction it
// belongs to with the features that camera's views used, and its entry in the
// match sets.
class ImageFeatures
{
public:
    QVector<FeatureRecord> features;
    int cameraIndex = -1; // in its model's camera list, -1 when the image has no camera
    QString reconstructionFolder; // the folder of the reconstruction the camera is from
    QString cameraProblem;        // why there is no camera, when it is not simply absent
    QSet<int> usedFeatures;
    int matchEntry = -1;
    QString error; // why the key file could not be read whole, empty otherwise

    // Reads the key file beside imagePath and looks the image up in the
    // scene's reconstructions (cameraOf) and match sets (read once from the
    // image's folder).
    static ImageFeatures read(const QString& imagePath, OsgWidget* scene);

    // The camera of an image in the loaded reconstructions, -1 when none.
    // Cameras are matched by file name without regard to case; when the name
    // is in several reconstructions, the one whose folder holds the image
    // counts, and when none does the image has no camera (problem says why):
    // the cameras of one reconstruction and the files of another give a
    // point somewhere else. folder receives the reconstruction's folder.
    static int cameraOf(const QString& imagePath, const OsgWidget* scene, QSet<int>* used = nullptr,
                        QString* folder = nullptr, QString* problem = nullptr);

    // The feature nearest to point within radius pixels, null when none is.
    const FeatureRecord* nearest(const QPointF& point, double radius, double* distance = nullptr) const;
};
