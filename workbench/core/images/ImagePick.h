#pragma once

#include <QString>

#include <osg/Vec3d>

// One observation the user picked in a photograph: where (whole image pixels
// of the unrotated image) and in which camera of the reconstruction, and
// after extraction the point it was triangulated to.
struct ImagePick {
    QString imageName;    // file name without folder
    int cameraIndex = -1; // in its reconstruction, -1 when the image has no camera
    QString reconstructionFolder; // where that reconstruction lies (ends in "/"), empty without a camera
    int matchNumber = 0;  // the match (group) it was added to
    int type = 0;         // 1 for the right mouse button (outer ring), 0 otherwise
    int x = 0;
    int y = 0;
    // Filled by the extract command.
    osg::Vec3d point;
    int matchIndex = -1; // index of its match within the extract
    int shapeIndex = -1; // the extracted object it belongs to
};
