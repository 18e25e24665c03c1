#include "SiftExtractor.h"

#include <cmath>
#include <cstring>

#include <opencv2/features2d.hpp>
#include <opencv2/imgcodecs.hpp>

SiftExtractor::SiftExtractor() = default;

SiftExtractor::SiftExtractor(Settings settings) : m_settings(settings) {}

bool SiftExtractor::extract(const std::string& imagePath, FeatureSet& features, std::string* error) const
{
    features = FeatureSet();
    const cv::Mat image = cv::imread(imagePath, cv::IMREAD_GRAYSCALE);
    if (image.empty()) {
        if (error)
            *error = "cannot read image " + imagePath;
        return false;
    }
    features.width = image.cols;
    features.height = image.rows;
    const auto slash = imagePath.find_last_of("/\\");
    features.imageName = slash == std::string::npos ? imagePath : imagePath.substr(slash + 1);

    auto sift = cv::SIFT::create(m_settings.maxFeatures, 3, m_settings.contrastThreshold,
                                 m_settings.edgeThreshold, 1.6, CV_8U);
    std::vector<cv::KeyPoint> keypoints;
    cv::Mat descriptors;
    sift->detectAndCompute(image, cv::noArray(), keypoints, descriptors);
    if (descriptors.type() != CV_8U)
        descriptors.convertTo(descriptors, CV_8U);

    features.keypoints.resize(keypoints.size());
    features.descriptors.resize(keypoints.size() * FeatureSet::descriptorSize);
    for (size_t i = 0; i < keypoints.size(); ++i) {
        const cv::KeyPoint& k = keypoints[i];
        auto& out = features.keypoints[i];
        out.x = k.pt.x;
        out.y = k.pt.y;
        // OpenCV's size is twice the detection's sigma.
        out.scale = k.size / 2;
        double angle = k.angle * M_PI / 180.0;
        if (angle > M_PI)
            angle -= 2 * M_PI;
        out.orientation = float(angle);
        std::memcpy(features.descriptors.data() + i * FeatureSet::descriptorSize, descriptors.ptr(int(i)),
                    FeatureSet::descriptorSize);
    }
    return true;
}
