#include "PhotoCache.h"

#include <algorithm>

#include <opencv2/imgcodecs.hpp>

PhotoCache::PhotoCache(const std::vector<OrthoPhoto>& photos, size_t budgetBytes)
    : m_photos(photos), m_budget(budgetBytes), m_decoded(photos.size())
{
}

std::shared_ptr<const cv::Mat> PhotoCache::get(size_t index, std::string& error)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_decoded[index]) {
            m_order.remove(index);
            m_order.push_front(index);
            return m_decoded[index];
        }
    }
    // Decoded outside the lock so the other thread goes on; the camera's
    // pixels are the file's own, whatever orientation tag it carries.
    const OrthoPhoto& photo = m_photos[index];
    auto image =
        std::make_shared<cv::Mat>(cv::imread(photo.path, cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION));
    if (image->empty()) {
        error = "cannot decode photo " + photo.path;
        return nullptr;
    }
    if (image->cols != photo.width || image->rows != photo.height) {
        error = "photo " + photo.path + " decodes to " + std::to_string(image->cols) + " x " +
                std::to_string(image->rows) + ", not its camera's " + std::to_string(photo.width) + " x " +
                std::to_string(photo.height);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_decoded[index])
        return m_decoded[index];
    const size_t bytes = image->total() * image->elemSize();
    while (!m_order.empty() && m_used + bytes > m_budget) {
        const size_t old = m_order.back();
        m_order.pop_back();
        m_used -= m_decoded[old]->total() * m_decoded[old]->elemSize();
        m_decoded[old].reset();
    }
    m_decoded[index] = image;
    m_order.push_front(index);
    m_used += bytes;
    return image;
}
