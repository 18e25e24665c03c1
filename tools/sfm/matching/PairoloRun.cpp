#include "PairoloRun.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <sstream>
#include <vector>

#include <opencv2/core/utility.hpp>

#include "GpuMatchFile.h"
#include "ImageListFile.h"
#include "KeybFile.h"
#include "MatchTableFile.h"
#include "MemoryBudget.h"
#include "PairSelection.h"
#include "ParallelFor.h"
#include "PreparedCache.h"
#include "ProgressLine.h"
#include "ToolPaths.h"
#include "common/system/MachineMemory.h"

namespace
{

struct PairLine {
    std::string featureA; // as written
    std::string featureB;
    int indexA = 0;
    int indexB = 0;
};

struct Image {
    std::string written;   // the .keyb path as the list writes it
    std::string imagePath; // for the viewer's records, backslashes
    std::string problem;
};

// A list index: a whole non-negative number.
bool index(const std::string& word, int& value)
{
    const char* end = word.data() + word.size();
    const auto result = std::from_chars(word.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && value >= 0;
}

// The image path for the viewer's records: the .keyb's folder as written
// with the image's own file name, in backslashes.
std::string recordPath(const std::string& writtenKeyb, const std::string& imageName)
{
    const auto slash = writtenKeyb.find_last_of("/\\");
    std::string path =
        (slash == std::string::npos ? std::string() : writtenKeyb.substr(0, slash + 1)) + imageName;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

bool readPairs(const std::string& path, std::vector<PairLine>& pairs, std::string& problem)
{
    std::ifstream list(ToolPaths::native(path), std::ios::binary);
    if (!list) {
        problem = "cannot read the pair list " + path;
        return false;
    }
    int number = 0;
    for (std::string line; std::getline(list, line);) {
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        // Feature paths that hold a blank stand in double quotes.
        std::vector<std::string> words;
        PairLine p;
        if (!ToolPaths::splitWords(line, words) || words.size() != 4 || !index(words[2], p.indexA) ||
            !index(words[3], p.indexB)) {
            problem = path + " line " + std::to_string(number) + " is not \"featureA featureB indexA indexB\"";
            return false;
        }
        p.featureA = words[0];
        p.featureB = words[1];
        pairs.push_back(p);
    }
    return true;
}

// The other batches of the same plan: the workbench splits the pairs over
// matchList_0.txt, matchList_1.txt ... in one folder, run at once by
// several Pairolo processes. Each reads them all and chooses the same pairs.
std::vector<std::string> batchLists(const std::string& matchListPath)
{
    const std::string native = ToolPaths::native(matchListPath);
    const std::string folder = ToolPaths::folderOf(native);
    const std::string name = native.substr(folder.size());
    const size_t dot = name.rfind('.');
    size_t digits = dot == std::string::npos ? name.size() : dot;
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1])))
        --digits;
    const size_t end = dot == std::string::npos ? name.size() : dot;
    if (digits == end || digits == 0)
        return {native};
    const std::string prefix = name.substr(0, digits), suffix = name.substr(end);
    std::vector<std::string> lists;
    for (int i = 0; i < 4096; ++i) {
        const std::string candidate = folder + prefix + std::to_string(i) + suffix;
        if (!std::ifstream(candidate).good())
            break;
        lists.push_back(candidate);
    }
    if (std::find(lists.begin(), lists.end(), native) == lists.end())
        return {native};
    return lists;
}

// Every pair line of the plan, the batches in order, then this batch's
// lines as read (in that order every batch's run sees the same photos).
std::vector<PairLine> planLines(const std::string& matchListPath, const std::vector<PairLine>& mine)
{
    std::vector<PairLine> all;
    for (const std::string& list : batchLists(matchListPath)) {
        std::vector<PairLine> lines;
        std::string ignored;
        if (readPairs(list, lines, ignored))
            all.insert(all.end(), lines.begin(), lines.end());
    }
    all.insert(all.end(), mine.begin(), mine.end());
    return all;
}

// A photo's name as feature file, image and list entry share it: the path
// without its extension (x.keyb, x.jpg and the list's x.JPG alike).
std::string stem(const std::string& path)
{
    std::string p = ToolPaths::native(path);
    const size_t dot = p.rfind('.');
    const size_t slash = p.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        p.resize(dot);
    return p;
}

// Where each photo stands in the image list of this run, by name. The match
// table keys its records by list index; records kept from an earlier run
// must take the indices their photos have now, since photos removed and
// added between runs move the others.
class ListPlaces
{
public:
    // A name seen at two places, or two names at one, is no place at all.
    void add(const std::string& name, int index)
    {
        const auto byName = m_index.emplace(name, index).first;
        const auto byIndex = m_name.emplace(index, name).first;
        if (byName->second != index || byIndex->second != name) {
            m_ambiguous.insert(name);
            m_ambiguous.insert(byIndex->second);
        }
    }
    int find(const std::string& name) const
    {
        const auto it = m_index.find(name);
        return it == m_index.end() || m_ambiguous.count(name) ? -1 : it->second;
    }
    // The plan names only the photos before the last new one; the image list
    // of the run (listfocal.txt beside the plan, one photo per line in list
    // order) names them all. It is taken only when it agrees with the plan.
    void addList(const std::string& listPath, std::ostream& out)
    {
        if (!std::ifstream(listPath).good())
            return;
        ImageListFile list;
        std::string problem;
        if (!list.readFile(listPath, &problem)) {
            out << "Not using the image list: " << problem << std::endl;
            return;
        }
        for (size_t i = 0; i < list.entries.size(); ++i) {
            const auto it = m_index.find(stem(list.entries[i].image));
            if (it != m_index.end() && it->second != int(i)) {
                out << "Not using the image list " << listPath << ": it places " << list.entries[i].image
                    << " otherwise than the pair lists" << std::endl;
                return;
            }
        }
        for (size_t i = 0; i < list.entries.size(); ++i)
            add(stem(list.entries[i].image), int(i));
    }

private:
    std::map<std::string, int> m_index;
    std::map<int, std::string> m_name;
    std::set<std::string> m_ambiguous;
};

// Which of this batch's pairs are verified, chosen over the whole plan.
std::vector<bool> choosePairs(const std::vector<PairLine>& plan, const std::vector<PairLine>& mine,
                              const PairSelection::Settings& settings, int threads, std::ostream& out)
{
    std::map<std::string, int> photoIndex;
    std::vector<std::string> keybs;
    std::map<std::pair<int, int>, size_t> pairIndex;
    std::vector<std::pair<int, int>> all;
    auto add = [&](const std::vector<PairLine>& lines) {
        for (const PairLine& p : lines) {
            int ends[2];
            for (int k = 0; k < 2; ++k) {
                const std::string f = ToolPaths::native(k ? p.featureB : p.featureA);
                const auto it = photoIndex.emplace(f, int(keybs.size())).first;
                if (it->second == int(keybs.size()))
                    keybs.push_back(f);
                ends[k] = it->second;
            }
            if (ends[0] != ends[1] && pairIndex.emplace(std::minmax(ends[0], ends[1]), all.size()).second)
                all.push_back({ends[0], ends[1]});
        }
    };
    add(plan);
    const PairSelection::Choice choice = PairSelection::choose(keybs, all, settings, threads);
    std::vector<bool> verify(mine.size(), true);
    for (size_t i = 0; i < mine.size(); ++i) {
        const int a = photoIndex.at(ToolPaths::native(mine[i].featureA));
        const int b = photoIndex.at(ToolPaths::native(mine[i].featureB));
        if (a != b)
            verify[i] = choice.verify[pairIndex.at(std::minmax(a, b))];
    }
    out << "Verifying " << std::count(verify.begin(), verify.end(), true) << " of " << mine.size()
        << " listed pair(s): " << choice.how << " (" << keybs.size() << " photos, "
        << std::count(choice.verify.begin(), choice.verify.end(), true) << " of " << all.size()
        << " pairs in all batches)" << std::endl;
    return verify;
}

} // namespace

std::string PairoloRun::gpuPathFor(const std::string& matchTablePath)
{
    const std::string native = ToolPaths::native(matchTablePath);
    const auto slash = native.rfind('/');
    if (slash == std::string::npos)
        return "gpu_" + native;
    return native.substr(0, slash + 1) + "gpu_" + native.substr(slash + 1);
}

int PairoloRun::run(const std::string& matchListPath, const std::string& matchTablePath,
                    const PairMatcher::Settings& settings, int threads, std::ostream& out, std::ostream& err,
                    const PairSelection::Settings& selection, std::uint64_t memoryBudget)
{
    std::vector<PairLine> pairs;
    std::string problem;
    if (!readPairs(matchListPath, pairs, problem)) {
        err << "Pairolo: " << problem << std::endl;
        return 1;
    }
    const std::vector<PairLine> plan = planLines(matchListPath, pairs);
    const std::vector<bool> verify = choosePairs(plan, pairs, selection, threads, out);

    // Every feature file once: its header now, its features when a pair
    // first needs them.
    std::map<std::string, size_t> imageIndex;
    std::vector<Image> images;
    std::vector<std::pair<size_t, size_t>> ends(pairs.size());
    for (size_t i = 0; i < pairs.size(); ++i) {
        size_t* end = &ends[i].first;
        for (const std::string* f : {&pairs[i].featureA, &pairs[i].featureB}) {
            const auto it = imageIndex.emplace(ToolPaths::native(*f), images.size()).first;
            if (it->second == images.size())
                images.push_back({*f, {}, {}});
            *end = it->second;
            end = &ends[i].second;
        }
    }
    if (threads <= 0)
        threads = ParallelFor::defaultThreads();
    const int previous = cv::getNumThreads();
    cv::setNumThreads(1);
    ParallelFor::run(images.size(), threads, [&](size_t i) {
        FeatureSet features;
        size_t count = 0;
        if (KeybFile::readHeader(ToolPaths::native(images[i].written), features, count, &images[i].problem))
            images[i].imagePath = recordPath(images[i].written, features.imageName);
    });
    if (!memoryBudget)
        memoryBudget = std::max<std::uint64_t>(MachineMemory::available() / 4, std::uint64_t(256) << 20);
    PreparedCache cache(images.size(), memoryBudget,
                        [&](size_t k, std::uint64_t& bytes, std::string& problem) -> PreparedCache::Prepared {
                            FeatureSet features;
                            if (!KeybFile::readFile(ToolPaths::native(images[k].written), features, &problem))
                                return nullptr;
                            bytes = PairMatcher::preparedBytes(
                                settings.maxFeatures > 0
                                    ? std::min(features.size(), size_t(settings.maxFeatures))
                                    : features.size());
                            return PairMatcher::prepare(features, settings.maxFeatures);
                        });

    // One queue over the pairs to verify, in list order (a photo's pairs
    // follow each other there, so its features are used while cached).
    std::vector<size_t> queue;
    for (size_t i = 0; i < pairs.size(); ++i)
        if (verify[i] && images[ends[i].first].problem.empty() && images[ends[i].second].problem.empty())
            queue.push_back(i);
    const PairMatcher matcher(settings);
    std::vector<PairMatcher::Result> results(pairs.size());
    std::mutex lock;
    ProgressLine progress(&out, "", queue.size(), "pairs");
    ParallelFor::run(queue.size(), threads, [&](size_t q) {
        const size_t i = queue[q];
        const Image& a = images[ends[i].first];
        const Image& b = images[ends[i].second];
        std::string problem;
        const PreparedCache::Prepared pa = cache.get(ends[i].first, &problem);
        const PreparedCache::Prepared pb = pa ? cache.get(ends[i].second, &problem) : nullptr;
        if (pa && pb)
            results[i] = matcher.match(*pa, *pb);
        std::lock_guard<std::mutex> guard(lock);
        if (pa && pb)
            out << GpuMatchFile::imageName(a.imagePath) << ' ' << GpuMatchFile::imageName(b.imagePath) << ": "
                << results[i].putative << " matches, " << results[i].inliers.size() << " verified"
                << (results[i].note.empty() ? "" : " (" + results[i].note + ")") << std::endl;
        progress.step();
    });
    cv::setNumThreads(previous);
    // Photos whose features could not be read after all make their pairs unusable.
    for (size_t k = 0; k < images.size(); ++k)
        if (images[k].problem.empty())
            images[k].problem = cache.failure(k);
    for (size_t i = 0; i < pairs.size(); ++i) {
        const Image& a = images[ends[i].first];
        const Image& b = images[ends[i].second];
        if (!a.problem.empty() || !b.problem.empty())
            results[i].note = !a.problem.empty() ? a.problem : b.problem;
    }

    // This run's verdict on its pairs replaces what earlier runs wrote about
    // them. The earlier records name their photos (the viewer's file); the
    // table, keyed by list index, is made again from them with the indices
    // the photos have in this run's list.
    GpuMatchFile records;
    const std::string tablePath = ToolPaths::native(matchTablePath);
    const std::string gpuPath = gpuPathFor(matchTablePath);
    std::string note;
    if (std::ifstream(gpuPath).good() && !records.readFile(gpuPath, &note))
        out << "Replacing the unreadable " << note << std::endl;
    MatchTableFile newTable;
    GpuMatchFile newRecords;
    std::set<std::pair<std::string, std::string>> examinedImages;
    int verified = 0, unusable = 0;
    std::string firstProblem;
    for (size_t i = 0; i < pairs.size(); ++i) {
        const Image& a = images[imageIndex.at(ToolPaths::native(pairs[i].featureA))];
        const Image& b = images[imageIndex.at(ToolPaths::native(pairs[i].featureB))];
        if (!a.problem.empty() || !b.problem.empty()) {
            if (!unusable++)
                firstProblem = results[i].note;
            continue;
        }
        // A pair not worth verifying counts as examined, with no match.
        examinedImages.insert(std::minmax(ToolPaths::native(a.imagePath), ToolPaths::native(b.imagePath)));
        if (results[i].inliers.empty())
            continue;
        ++verified;
        MatchTableFile::Pair p{pairs[i].indexA, pairs[i].indexB, results[i].inliers};
        GpuMatchFile::Record r{a.imagePath, b.imagePath, {}, {}};
        for (const auto& m : results[i].inliers) {
            r.featuresA.push_back(m.first);
            r.featuresB.push_back(m.second);
        }
        newTable.pairs.push_back(std::move(p));
        newRecords.records.push_back(std::move(r));
    }

    ListPlaces places;
    for (const PairLine& p : plan) {
        places.add(stem(p.featureA), p.indexA);
        places.add(stem(p.featureB), p.indexB);
    }
    places.addList(ToolPaths::folderOf(ToolPaths::native(matchListPath)) + "listfocal.txt", out);
    MatchTableFile table;
    GpuMatchFile kept;
    size_t gone = 0;
    for (GpuMatchFile::Record& r : records.records) {
        if (examinedImages.count(std::minmax(ToolPaths::native(r.imageA), ToolPaths::native(r.imageB))))
            continue;
        const int a = places.find(stem(r.imageA)), b = places.find(stem(r.imageB));
        // A photo no longer listed (or not to be placed) takes its records
        // along: under its old index they would speak of another photo.
        if (a < 0 || b < 0 || a == b) {
            ++gone;
            continue;
        }
        MatchTableFile::Pair p{a, b, {}};
        for (size_t k = 0; k < std::min(r.featuresA.size(), r.featuresB.size()); ++k)
            p.matches.push_back({r.featuresA[k], r.featuresB[k]});
        table.pairs.push_back(std::move(p));
        kept.records.push_back(std::move(r));
    }
    if (gone)
        out << "Left out " << gone << " earlier record(s) of photos this run does not list" << std::endl;
    table.merge(newTable);
    kept.merge(newRecords);
    records = std::move(kept);
    std::string why;
    if (!table.writeFile(tablePath, &why) || !records.writeFile(gpuPath, &why)) {
        err << "Pairolo: " << why << std::endl;
        return 1;
    }
    out << "Matched " << pairs.size() - size_t(unusable) << " pair(s), " << verified << " verified"
        << std::endl;
    if (unusable) {
        err << "Pairolo: " << unusable << " pair(s) could not be matched; first: " << firstProblem
            << std::endl;
        return 1;
    }
    // Photos that do not overlap are no fault of the input: a batch whose pairs
    // all fail verification is a result like any other.
    if (!pairs.empty() && verified == 0)
        out << "No verified pair among " << pairs.size() << " pair(s)" << std::endl;
    return 0;
}
