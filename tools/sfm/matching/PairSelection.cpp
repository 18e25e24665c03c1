#include "PairSelection.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include <opencv2/core.hpp>

#include "core/georef/ExifGps.h"

#include "common/images/ExifFocal.h"
#include "KeybFile.h"
#include "ParallelFor.h"
#include "PhotoFootprint.h"
#include "ToolPaths.h"

namespace
{

constexpr double noScore = -std::numeric_limits<double>::infinity();

// Each photo's position in metres east and north of the first, and its
// ground footprint when its EXIF says enough for one.
struct Places {
    std::vector<cv::Point2d> positions;
    std::vector<std::vector<cv::Point2d>> footprints;
};

// False unless every photo has a GPS position and they spread over more
// than a metre.
bool gpsPlaces(const std::vector<std::string>& keybPaths, Places& places)
{
    places = {};
    double lat0 = 0, lon0 = 0;
    double minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (size_t i = 0; i < keybPaths.size(); ++i) {
        FeatureSet head;
        size_t count = 0;
        if (!KeybFile::readHeader(keybPaths[i], head, count))
            return false;
        const std::string image = ToolPaths::folderOf(keybPaths[i]) + head.imageName;
        const std::string xml = ExifFocal::xmlPathForImage(image);
        ExifGps::Position position;
        QString why;
        if (!ExifGps::readFile(QString::fromStdString(xml), &position, &why))
            return false;
        const double lat = position.latitude, lon = position.longitude;
        if (i == 0) {
            lat0 = lat;
            lon0 = lon;
        }
        const double metresPerDegree = 6371000.0 * M_PI / 180;
        double dLon = lon - lon0;
        if (dLon > 180)
            dLon -= 360;
        if (dLon < -180)
            dLon += 360;
        const cv::Point2d p(dLon * metresPerDegree * std::cos(lat0 * M_PI / 180), (lat - lat0) * metresPerDegree);
        places.positions.push_back(p);
        PhotoFootprint::View view;
        view.east = p.x;
        view.north = p.y;
        view.aboveGround = position.heightAboveTakeOff;
        view.pitch = position.gimbalPitch;
        view.yaw = position.gimbalYaw;
        view.imageWidth = head.width;
        view.imageHeight = head.height;
        if (std::isfinite(view.aboveGround) && std::isfinite(view.pitch) && std::isfinite(view.yaw))
            view.focal = ExifFocal::fromXmlFile(xml, head.width, head.height);
        places.footprints.push_back(PhotoFootprint::ground(view));
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    return std::hypot(maxX - minX, maxY - minY) > 1.0;
}

// A photo's first features, the coarsest, as RootSIFT rows.
cv::Mat rootSift(const FeatureSet& features, size_t count)
{
    cv::Mat rows(int(count), FeatureSet::descriptorSize, CV_32F);
    for (size_t i = 0; i < count; ++i) {
        const std::uint8_t* d = features.descriptor(i);
        float sum = 0;
        for (int j = 0; j < FeatureSet::descriptorSize; ++j)
            sum += d[j];
        float* row = rows.ptr<float>(int(i));
        for (int j = 0; j < FeatureSet::descriptorSize; ++j)
            row[j] = sum > 0 ? std::sqrt(d[j] / sum) : 0.f;
    }
    return rows;
}

int nearestRow(const cv::Mat& centres, const float* v)
{
    int best = 0;
    float bestDistance = std::numeric_limits<float>::max();
    for (int c = 0; c < centres.rows; ++c) {
        const float* q = centres.ptr<float>(c);
        float d = 0;
        for (int j = 0; j < centres.cols && d < bestDistance; ++j)
            d += (q[j] - v[j]) * (q[j] - v[j]);
        if (d < bestDistance) {
            bestDistance = d;
            best = c;
        }
    }
    return best;
}

// Two-level vocabulary (branching x branching words) by k-means from a
// fixed seed, so that every run of every process builds the same one.
struct Vocabulary {
    static constexpr int branching = 32;
    cv::Mat top;
    std::vector<cv::Mat> children;

    bool build(const cv::Mat& sample)
    {
        if (sample.rows < branching * 4)
            return false;
        cv::theRNG() = cv::RNG(0x5eed);
        cv::Mat labels;
        const cv::TermCriteria stop(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 12, 1e-4);
        cv::kmeans(sample, branching, labels, stop, 1, cv::KMEANS_PP_CENTERS, top);
        children.assign(size_t(branching), cv::Mat());
        for (int c = 0; c < branching; ++c) {
            cv::Mat members;
            for (int r = 0; r < sample.rows; ++r)
                if (labels.at<int>(r) == c)
                    members.push_back(sample.row(r));
            if (members.rows >= branching * 2) {
                cv::theRNG() = cv::RNG(0x5eed + std::uint64_t(c));
                cv::Mat childLabels;
                cv::kmeans(members, branching, childLabels, stop, 1, cv::KMEANS_PP_CENTERS, children[size_t(c)]);
            } else {
                children[size_t(c)] = top.row(c).clone();
            }
        }
        return true;
    }

    int word(const float* v) const
    {
        const int t = nearestRow(top, v);
        return t * branching + nearestRow(children[size_t(t)], v);
    }
};

// Similarity of every listed pair by tf-idf weighted word histograms; empty
// when the set's features are too few for a vocabulary.
std::vector<double> retrievalScores(const std::vector<std::string>& keybPaths,
                                    const std::vector<std::pair<int, int>>& pairs, const PairSelection::Settings& s,
                                    int threads)
{
    const size_t n = keybPaths.size();
    std::vector<cv::Mat> rows(n);
    ParallelFor::run(n, threads, [&](size_t i) {
        FeatureSet features;
        if (KeybFile::readFile(keybPaths[i], features))
            rows[i] = rootSift(features, std::min(features.size(), size_t(std::max(1, s.wordsPerPhoto))));
    });
    // The same share of every photo's features, evenly spread over them.
    const int perPhotoSample = std::max(20, int(30000 / std::max<size_t>(n, 1)));
    cv::Mat sample;
    for (const cv::Mat& r : rows)
        for (int k = 0; k < std::min(r.rows, perPhotoSample); ++k)
            sample.push_back(r.row(int(std::int64_t(k) * r.rows / std::min(r.rows, perPhotoSample))));
    Vocabulary vocabulary;
    if (!vocabulary.build(sample))
        return {};

    const size_t words = size_t(Vocabulary::branching) * Vocabulary::branching;
    std::vector<std::map<int, float>> histograms(n);
    ParallelFor::run(n, threads, [&](size_t i) {
        for (int r = 0; r < rows[i].rows; ++r)
            histograms[i][vocabulary.word(rows[i].ptr<float>(r))] += 1;
        rows[i].release();
    });
    std::vector<int> photosWith(words, 0);
    for (const auto& h : histograms)
        for (const auto& [w, count] : h)
            ++photosWith[size_t(w)];
    std::vector<std::vector<std::pair<int, float>>> inverted(words);
    for (size_t i = 0; i < n; ++i) {
        double norm = 0;
        for (auto& [w, weight] : histograms[i]) {
            weight *= float(std::log(double(n) / photosWith[size_t(w)]));
            norm += double(weight) * weight;
        }
        for (const auto& [w, weight] : histograms[i])
            if (norm > 0 && weight > 0)
                inverted[size_t(w)].emplace_back(int(i), float(weight / std::sqrt(norm)));
    }
    // One photo's scores against all others at a time, through the words it has.
    std::vector<std::vector<std::pair<int, size_t>>> pairsOf(n);
    for (size_t p = 0; p < pairs.size(); ++p)
        pairsOf[size_t(pairs[p].first)].emplace_back(pairs[p].second, p);
    std::vector<double> scores(pairs.size(), 0.0);
    ParallelFor::run(n, threads, [&](size_t i) {
        if (pairsOf[i].empty())
            return;
        std::vector<double> row(n, 0.0);
        for (const auto& [w, weight] : histograms[i])
            for (const auto& [j, other] : inverted[size_t(w)])
                row[size_t(j)] += double(weight) * other;
        for (const auto& [j, p] : pairsOf[i])
            scores[p] = row[size_t(j)];
    });
    // A photo without features has nothing to verify.
    for (size_t p = 0; p < pairs.size(); ++p)
        if (histograms[size_t(pairs[p].first)].empty() || histograms[size_t(pairs[p].second)].empty())
            scores[p] = noScore;
    return scores;
}

// One photo's `count` best pairs by score (ties by the other photo's index).
std::vector<size_t> nearestOf(size_t photo, const std::vector<std::pair<int, int>>& pairs,
                              const std::vector<double>& scores, int count)
{
    std::vector<size_t> mine;
    for (size_t p = 0; p < pairs.size(); ++p)
        if (size_t(pairs[p].first) == photo || size_t(pairs[p].second) == photo)
            mine.push_back(p);
    auto other = [&](size_t p) { return size_t(pairs[p].first) == photo ? pairs[p].second : pairs[p].first; };
    std::sort(mine.begin(), mine.end(), [&](size_t a, size_t b) {
        return scores[a] != scores[b] ? scores[a] > scores[b] : other(a) < other(b);
    });
    mine.resize(std::min(mine.size(), size_t(std::max(0, count))));
    return mine;
}

} // namespace

std::vector<bool> PairSelection::keepBest(size_t photos, const std::vector<std::pair<int, int>>& pairs,
                                          const std::vector<double>& scores, int perPhoto)
{
    std::vector<std::vector<size_t>> pairsOf(photos);
    for (size_t p = 0; p < pairs.size(); ++p) {
        pairsOf[size_t(pairs[p].first)].push_back(p);
        pairsOf[size_t(pairs[p].second)].push_back(p);
    }
    std::vector<bool> keep(pairs.size(), false);
    for (size_t i = 0; i < photos; ++i) {
        auto& mine = pairsOf[i];
        auto other = [&](size_t p) { return pairs[p].first == int(i) ? pairs[p].second : pairs[p].first; };
        std::sort(mine.begin(), mine.end(), [&](size_t a, size_t b) {
            return scores[a] != scores[b] ? scores[a] > scores[b] : other(a) < other(b);
        });
        for (size_t k = 0; k < mine.size() && k < size_t(std::max(0, perPhoto)); ++k)
            if (scores[mine[k]] > noScore)
                keep[mine[k]] = true;
    }
    return keep;
}

PairSelection::Choice PairSelection::choose(const std::vector<std::string>& keybPaths,
                                            const std::vector<std::pair<int, int>>& pairs, const Settings& settings,
                                            int threads)
{
    Choice choice;
    choice.verify.assign(pairs.size(), true);
    std::vector<size_t> partners(keybPaths.size(), 0);
    for (const auto& p : pairs) {
        ++partners[size_t(p.first)];
        ++partners[size_t(p.second)];
    }
    const bool fewPartners =
        std::all_of(partners.begin(), partners.end(), [&](size_t k) { return k <= size_t(settings.perPhoto); });
    Places places;
    const bool gps = gpsPlaces(keybPaths, places);
    // Footprints serve when most photos have one; the others (looking at the
    // horizon, or saying nothing of their gimbal) keep their nearest by GPS.
    const size_t withFootprint = size_t(std::count_if(places.footprints.begin(), places.footprints.end(),
                                                      [](const auto& f) { return !f.empty(); }));
    const bool footprints = gps && withFootprint * 2 >= keybPaths.size();
    // Footprints tell which pairs share no ground however few they are.
    if (fewPartners && !footprints) {
        choice.how = "every listed pair";
        return choice;
    }
    std::vector<double> scores;
    if (gps) {
        std::vector<double> nearness(pairs.size());
        for (size_t p = 0; p < pairs.size(); ++p)
            nearness[p] = -cv::norm(places.positions[size_t(pairs[p].first)] - places.positions[size_t(pairs[p].second)]);
        if (footprints) {
            // The most alike views first: shared area over the area both cover.
            scores.assign(pairs.size(), noScore);
            for (size_t p = 0; p < pairs.size(); ++p) {
                const auto& a = places.footprints[size_t(pairs[p].first)];
                const auto& b = places.footprints[size_t(pairs[p].second)];
                if (a.empty() || b.empty())
                    continue;
                const auto o = PhotoFootprint::overlap(a, b);
                if (o.ofSmaller >= settings.minFootprintOverlap)
                    scores[p] = o.ofUnion;
            }
            choice.verify = keepBest(keybPaths.size(), pairs, scores, settings.perPhoto);
            for (size_t i = 0; i < keybPaths.size(); ++i)
                if (places.footprints[i].empty())
                    for (size_t p : nearestOf(i, pairs, nearness, settings.perPhoto))
                        choice.verify[p] = true;
            // A photo that shares its ground with too few others keeps its nearest too.
            std::vector<int> kept(keybPaths.size(), 0);
            for (size_t p = 0; p < pairs.size(); ++p)
                if (choice.verify[p]) {
                    ++kept[size_t(pairs[p].first)];
                    ++kept[size_t(pairs[p].second)];
                }
            size_t added = 0;
            for (size_t i = 0; i < keybPaths.size(); ++i)
                if (kept[i] < settings.minPartners)
                    for (size_t p : nearestOf(i, pairs, nearness, settings.minPartners))
                        if (!choice.verify[p]) {
                            choice.verify[p] = true;
                            ++added;
                        }
            choice.how = "each photo's at most " + std::to_string(settings.perPhoto) +
                         " whose ground footprints (from GPS, height and gimbal) share the most, at least " +
                         std::to_string(int(std::lround(settings.minFootprintOverlap * 100))) + " %";
            if (added)
                choice.how += ", and " + std::to_string(added) + " nearest by GPS for photos with fewer than " +
                              std::to_string(settings.minPartners);
            if (withFootprint < keybPaths.size())
                choice.how += "; " + std::to_string(keybPaths.size() - withFootprint) +
                              " photo(s) without a footprint keep their nearest by GPS";
            return choice;
        }
        scores = std::move(nearness);
        choice.how = "each photo's " + std::to_string(settings.perPhoto) + " nearest by GPS";
    } else {
        scores = retrievalScores(keybPaths, pairs, settings, threads);
        if (scores.empty()) {
            choice.how = "every listed pair (too few features to tell the photos apart)";
            return choice;
        }
        choice.how = "each photo's " + std::to_string(settings.perPhoto) + " most alike by its features";
    }
    choice.verify = keepBest(keybPaths.size(), pairs, scores, settings.perPhoto);
    return choice;
}
