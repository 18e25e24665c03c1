#pragma once

// One measurement of a sparse point in one image, as the bundle file gives it.
struct PointView
{
    double cameraIndex = 0;  // 0-based index into the model's camera list
    double featureIndex = 0; // index of the feature in that image's feature list
    double x = 0;            // measurement position, relative to the image centre (pixels)
    double y = 0;
    double pointIndex = 0;   // 0-based position of the point in its model's point list
};
