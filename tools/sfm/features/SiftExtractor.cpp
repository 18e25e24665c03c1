#include "SiftExtractor.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <opencv2/features2d.hpp>

SiftExtractor::SiftExtractor() = default;

SiftExtractor::SiftExtractor(Settings settings) : m_settings(settings) {}

bool SiftExtractor::extract(const std::string& imagePath, FeatureSet& features, std::string* error) const
{
    features = FeatureSet();
    PhotoDecoder::Header header;
    bool decoded = true;
    if (!PhotoDecoder::readHeader(imagePath, header, error) || !extract(imagePath, header, features, &decoded, error))
        return false;
    const auto slash = imagePath.find_last_of("/\\");
    features.imageName = slash == std::string::npos ? imagePath : imagePath.substr(slash + 1);
    return true;
}

bool SiftExtractor::extract(const std::string& imagePath, const PhotoDecoder::Header& header,
                            FeatureSet& features, bool* decoded, std::string* error) const
{
    *decoded = true;
    const int longest = std::max(header.width, header.height);
    const int full = m_settings.maxImageSide > 0 && longest > 0 ? std::min(m_settings.maxImageSide, longest)
                                                                : m_settings.maxImageSide;
    // Small photos rarely have the features at half size: straight to the full one.
    if (m_settings.maxFeatures > 0 && full >= 1200) {
        PhotoDecoder::Reduced half;
        if (!PhotoDecoder::decode(imagePath, header, full / 2, half, error)) {
            *decoded = false;
            return false;
        }
        bool enough = false;
        const bool done = extract(half, features, error, &enough);
        if (enough)
            return done;
    }
    PhotoDecoder::Reduced photo;
    if (!PhotoDecoder::decode(imagePath, header, m_settings.maxImageSide, photo, error)) {
        *decoded = false;
        return false;
    }
    return extract(photo, features, error, nullptr);
}

bool SiftExtractor::extract(const PhotoDecoder::Reduced& photo, FeatureSet& features, std::string* error) const
{
    return extract(photo, features, error, nullptr);
}

bool SiftExtractor::extract(const PhotoDecoder::Reduced& photo, FeatureSet& features, std::string* error,
                            bool* coarseEnough) const
{
    features.keypoints.clear();
    features.descriptors.clear();
    const cv::Mat& image = photo.gray;
    features.width = photo.photoWidth;
    features.height = photo.photoHeight;
    const std::string imagePath = features.imageName;

    // Every keypoint first, then the coarsest ones: whole octaves from the
    // top down, the strongest of the octave that crosses the limit (as COLMAP
    // keeps its features). Large-scale features survive changes of viewpoint
    // and distance; the fine ones of the doubled image mostly do not, and
    // OpenCV's own limit (by response) would keep those.
    auto sift = cv::SIFT::create(0, 3, m_settings.contrastThreshold, m_settings.edgeThreshold, 1.6, CV_8U);
    std::vector<cv::KeyPoint> keypoints;
    sift->detect(image, keypoints);
    auto octave = [](const cv::KeyPoint& k) { return int(std::int8_t(k.octave & 255)); };
    std::stable_sort(keypoints.begin(), keypoints.end(), [&](const cv::KeyPoint& a, const cv::KeyPoint& b) {
        return octave(a) != octave(b) ? octave(a) > octave(b) : a.response > b.response;
    });
    if (coarseEnough) {
        *coarseEnough = m_settings.maxFeatures > 0 && keypoints.size() >= size_t(m_settings.maxFeatures);
        if (!*coarseEnough)
            return false;
    }
    if (m_settings.maxFeatures > 0 && keypoints.size() > size_t(m_settings.maxFeatures))
        keypoints.resize(size_t(m_settings.maxFeatures));
    cv::Mat descriptors;
    if (!keypoints.empty())
        sift->compute(image, keypoints, descriptors);
    if (descriptors.type() != CV_8U)
        descriptors.convertTo(descriptors, CV_8U);
    if (size_t(descriptors.rows) != keypoints.size()) {
        if (error)
            *error = "descriptors of " + imagePath + " do not match its keypoints";
        return false;
    }

    features.keypoints.resize(keypoints.size());
    features.descriptors.resize(keypoints.size() * FeatureSet::descriptorSize);
    for (size_t i = 0; i < keypoints.size(); ++i) {
        const cv::KeyPoint& k = keypoints[i];
        auto& out = features.keypoints[i];
        // OpenCV halves the doubled image's coordinates without its half-pixel
        // shift, which puts keypoints a quarter pixel right of and below their
        // place; then pixel centres map to pixel centres.
        out.x = float((k.pt.x + 0.25) * photo.scaleX - 0.5);
        out.y = float((k.pt.y + 0.25) * photo.scaleY - 0.5);
        // OpenCV's size is twice the detection's sigma.
        out.scale = float(k.size / 2 * std::sqrt(photo.scaleX * photo.scaleY));
        double angle = k.angle * M_PI / 180.0;
        if (angle > M_PI)
            angle -= 2 * M_PI;
        out.orientation = float(angle);
        std::memcpy(features.descriptors.data() + i * FeatureSet::descriptorSize, descriptors.ptr(int(i)),
                    FeatureSet::descriptorSize);
    }
    return true;
}
