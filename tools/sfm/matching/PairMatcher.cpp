#include "PairMatcher.h"

#include <algorithm>
#include <cmath>

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/flann.hpp>

class PairMatcher::Prepared
{
public:
    Prepared(const FeatureSet& features, int maxFeatures)
    {
        width = features.width;
        height = features.height;
        const size_t count =
            maxFeatures > 0 ? std::min(features.size(), size_t(maxFeatures)) : features.size();
        points.reserve(count);
        for (size_t i = 0; i < count; ++i)
            points.emplace_back(features.keypoints[i].x, features.keypoints[i].y);
        // RootSIFT: square roots of the L1-normalised descriptor compare better under L2.
        descriptors.create(int(count), FeatureSet::descriptorSize, CV_32F);
        for (size_t i = 0; i < count; ++i) {
            const std::uint8_t* d = features.descriptor(i);
            float sum = 0;
            for (int j = 0; j < FeatureSet::descriptorSize; ++j)
                sum += d[j];
            float* row = descriptors.ptr<float>(int(i));
            for (int j = 0; j < FeatureSet::descriptorSize; ++j)
                row[j] = sum > 0 ? std::sqrt(d[j] / sum) : 0.f;
        }
        if (count >= 2) {
            // FLANN splits its trees by draws from cv::theRNG(), one per
            // thread: seeded from the image's own descriptors, the same image
            // gets the same trees whichever thread builds them.
            std::uint64_t seed = 0xcbf29ce484222325ULL;
            for (size_t i = 0; i < count * FeatureSet::descriptorSize; ++i)
                seed = (seed ^ features.descriptors[i]) * 0x100000001b3ULL;
            cv::theRNG() = cv::RNG(seed);
            index = std::make_unique<cv::flann::Index>(descriptors, cv::flann::KDTreeIndexParams(4));
        }
    }

    int width = 0;
    int height = 0;
    std::vector<cv::Point2f> points;
    cv::Mat descriptors;
    std::unique_ptr<cv::flann::Index> index;
};

namespace
{

// For the given rows of `query` (every row when `rows` is null), the index
// of its nearest neighbour in `target` when it passes the ratio test, else
// -1; rows not asked about stay -1.
std::vector<int> ratioMatches(const PairMatcher::Prepared& query, const std::vector<int>* rows,
                              const PairMatcher::Prepared& target, float ratio, int checks)
{
    std::vector<int> best(size_t(query.descriptors.rows), -1);
    if (!target.index || query.descriptors.empty() || (rows && rows->empty()))
        return best;
    cv::Mat asked = query.descriptors;
    if (rows) {
        asked.create(int(rows->size()), query.descriptors.cols, CV_32F);
        for (size_t k = 0; k < rows->size(); ++k)
            query.descriptors.row((*rows)[k]).copyTo(asked.row(int(k)));
    }
    cv::Mat indices, distances;
    target.index->knnSearch(asked, indices, distances, 2, cv::flann::SearchParams(checks));
    for (int i = 0; i < indices.rows; ++i) {
        // FLANN's L2 distances are squared.
        const float d1 = distances.at<float>(i, 0), d2 = distances.at<float>(i, 1);
        if (d1 < ratio * ratio * d2)
            best[size_t(rows ? (*rows)[size_t(i)] : i)] = indices.at<int>(i, 0);
    }
    return best;
}

} // namespace

std::shared_ptr<const PairMatcher::Prepared> PairMatcher::prepare(const FeatureSet& features, int maxFeatures)
{
    return std::make_shared<const Prepared>(features, maxFeatures);
}

std::uint64_t PairMatcher::preparedBytes(size_t features)
{
    // Float descriptors, the points, and FLANN's four trees (a node and an
    // index per feature and tree, with room to spare).
    return std::uint64_t(features) *
           (FeatureSet::descriptorSize * sizeof(float) + sizeof(cv::Point2f) + 4 * 64);
}

PairMatcher::PairMatcher() = default;

PairMatcher::PairMatcher(Settings settings) : m_settings(settings) {}

PairMatcher::Result PairMatcher::match(const Prepared& a, const Prepared& b) const
{
    Result result;
    const std::vector<int> ab = ratioMatches(a, nullptr, b, m_settings.ratio, m_settings.checks);
    // The way back only for the features of b that a's matches name: a
    // mutual match needs nothing else, and each search stands alone, so
    // the matches are those of searching all of b.
    std::vector<int> named;
    for (const int j : ab)
        if (j >= 0)
            named.push_back(j);
    std::sort(named.begin(), named.end());
    named.erase(std::unique(named.begin(), named.end()), named.end());
    const std::vector<int> ba = ratioMatches(b, &named, a, m_settings.ratio, m_settings.checks);
    std::vector<std::pair<int, int>> mutual;
    for (size_t i = 0; i < ab.size(); ++i)
        if (ab[i] >= 0 && ba[size_t(ab[i])] == int(i))
            mutual.emplace_back(int(i), ab[i]);
    result.putative = int(mutual.size());
    if (int(mutual.size()) < std::max(8, m_settings.minInliers)) {
        result.note = "too few matches (" + std::to_string(mutual.size()) + ")";
        return result;
    }
    std::vector<cv::Point2f> pa, pb;
    pa.reserve(mutual.size());
    pb.reserve(mutual.size());
    for (const auto& m : mutual) {
        pa.push_back(a.points[size_t(m.first)]);
        pb.push_back(b.points[size_t(m.second)]);
    }
    double threshold = m_settings.threshold;
    if (threshold <= 0)
        threshold = std::max(1.0, 0.0014 * std::max({a.width, a.height, b.width, b.height}));
    // The same pair gives the same verdict whichever thread draws its samples.
    cv::theRNG() = cv::RNG(0x9e3779b97f4a7c15ULL ^ (std::uint64_t(a.points.size()) << 32 | b.points.size()));
    std::vector<uchar> mask;
    const cv::Mat F = cv::findFundamentalMat(pa, pb, cv::FM_RANSAC, threshold, 0.999, mask);
    if (F.empty() || mask.size() != mutual.size()) {
        result.note = "no fundamental matrix fits";
        return result;
    }
    for (size_t i = 0; i < mutual.size(); ++i)
        if (mask[i])
            result.inliers.push_back(mutual[i]);
    if (int(result.inliers.size()) < m_settings.minInliers) {
        result.note = "too few inliers (" + std::to_string(result.inliers.size()) + ")";
        result.inliers.clear();
    }
    return result;
}
