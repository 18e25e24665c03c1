#pragma once

#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "OrthoPhoto.h"

// Decoded photos for the orthophoto's threads, the least recently used ones
// dropped once their pixels pass the budget (a photo still in use stays
// alive with its user).
class PhotoCache
{
public:
    PhotoCache(const std::vector<OrthoPhoto>& photos, size_t budgetBytes);

    // 8-bit BGR pixels of photo index; empty with a reason when it cannot be
    // decoded or its size is not the camera's.
    std::shared_ptr<const cv::Mat> get(size_t index, std::string& error);

private:
    const std::vector<OrthoPhoto>& m_photos;
    size_t m_budget;
    size_t m_used = 0;
    std::mutex m_mutex;
    std::vector<std::shared_ptr<const cv::Mat>> m_decoded;
    std::list<size_t> m_order; // most recent first
};
