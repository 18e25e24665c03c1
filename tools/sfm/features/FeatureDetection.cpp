#include "FeatureDetection.h"

#include <exception>
#include <fstream>
#include <mutex>
#include <ostream>
#include <vector>

#include <opencv2/core/utility.hpp>

#include "KeybFile.h"
#include "LoweKeyFile.h"
#include "MemoryBudget.h"
#include "ParallelFor.h"
#include "PhotoDecoder.h"
#include "ProgressLine.h"
#include "ToolPaths.h"
#include "common/system/MachineMemory.h"

namespace
{

struct Job {
    std::string listed; // as the list names it
    std::string image;  // the photo found for it
    PhotoDecoder::Header header;
    std::uint64_t cost = 0;
    size_t features = 0;
    std::string leftOut; // why the photo is left out
    std::string problem; // why its files could not be written
};

std::string fileName(const std::string& path)
{
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What a library threw while one photo was read: that photo is left out,
// the others of the list go on.
std::string thrown(const char* what)
{
    return std::string("cannot read image (") + what + ")";
}

// The photo's size and cost from its header, or why it is left out.
void prepare(Job& job, const SiftExtractor::Settings& settings, std::ostream& out)
{
    std::string note;
    job.image = ToolPaths::resolveFile(job.listed, &note);
    if (job.image.empty()) {
        job.image = ToolPaths::native(job.listed);
        job.leftOut = "not found";
        return;
    }
    if (!note.empty())
        out << note << '\n';
    std::string why;
    if (!PhotoDecoder::readHeader(job.image, job.header, &why)) {
        job.leftOut = why.substr(why.rfind(": ") + 2);
        return;
    }
    if (job.header.truncated) {
        job.leftOut = "damaged JPEG (it ends before its end-of-image marker)";
        return;
    }
    job.cost = PhotoDecoder::memoryCost(job.header, settings.maxImageSide);
}

// Holds a photo's share of the memory budget until it is done, however it ends.
class BudgetShare
{
public:
    BudgetShare(MemoryBudget& budget, std::uint64_t bytes) : m_budget(budget), m_bytes(bytes)
    {
        m_budget.acquire(m_bytes);
    }
    ~BudgetShare() { m_budget.release(m_bytes); }
    BudgetShare(const BudgetShare&) = delete;
    BudgetShare& operator=(const BudgetShare&) = delete;

private:
    MemoryBudget& m_budget;
    const std::uint64_t m_bytes;
};

void detect(Job& job, const SiftExtractor& extractor, MemoryBudget& budget, FeatureSet& features)
{
    const BudgetShare share(budget, job.cost);
    std::string why;
    bool decoded = true;
    if (!extractor.extract(job.image, job.header, features, &decoded, &why))
        job.leftOut = decoded ? why : "cannot read image";
    else if (features.size() == 0)
        job.leftOut = "no features";
}

} // namespace

std::uint64_t FeatureDetection::defaultMemoryBudget()
{
    const std::uint64_t available = MachineMemory::available();
    // Without /proc/meminfo: room for one 20-megapixel photo at a time.
    return available ? available / 4 * 3 : (std::uint64_t(2) << 30);
}

int FeatureDetection::run(const std::string& listPath, const SiftExtractor::Settings& settings, int threads,
                          std::ostream& out, std::ostream& err, std::uint64_t memoryBudget)
{
    std::ifstream list(ToolPaths::native(listPath), std::ios::binary);
    if (!list) {
        err << "SiftGPUMax: cannot read the image list " << listPath << std::endl;
        return 1;
    }
    std::vector<Job> jobs;
    for (std::string line; std::getline(list, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        if (!line.empty())
            jobs.push_back({line, {}, {}, 0, 0, {}, {}});
    }
    if (jobs.empty()) {
        out << "No images in " << listPath << std::endl;
        return 0;
    }

    // What each photo will cost, from its header, before anything is decoded.
    for (Job& job : jobs) {
        try {
            prepare(job, settings, out);
        } catch (const std::exception& e) {
            if (job.image.empty())
                job.image = ToolPaths::native(job.listed);
            job.leftOut = thrown(e.what());
        }
    }

    // Several photos at once, each on one thread: better use of the cores
    // than OpenCV's own threads inside one photo, whose stages run in turn.
    // How many are in flight is bounded by their memory, not by the threads.
    if (threads <= 0)
        threads = ParallelFor::defaultThreads();
    MemoryBudget budget(memoryBudget ? memoryBudget : defaultMemoryBudget());
    const int previous = cv::getNumThreads();
    if (jobs.size() > 1)
        cv::setNumThreads(1);
    std::mutex lock;
    const SiftExtractor extractor(settings);
    ProgressLine progress(&out, "", jobs.size(), "photos");
    const auto detectPhoto = [&](size_t i) {
        Job& job = jobs[i];
        FeatureSet features;
        features.imageName = fileName(job.image);
        features.width = job.header.width;
        features.height = job.header.height;
        if (job.leftOut.empty()) {
            try {
                detect(job, extractor, budget, features);
            } catch (const std::exception& e) {
                job.leftOut = thrown(e.what());
            }
        }
        if (!job.leftOut.empty()) {
            // Empty feature files: the later tools see the photo and pass it by.
            features.keypoints.clear();
            features.descriptors.clear();
        }
        job.features = features.size();
        std::string why;
        const std::string keyb = KeybFile::pathForImage(ToolPaths::native(job.listed));
        const std::string key = LoweKeyFile::pathForImage(job.image);
        const bool photoExists = job.leftOut != "not found";
        bool written = false;
        try {
            written = KeybFile::writeFile(keyb, features, &why) &&
                      (!photoExists || LoweKeyFile::writeFile(key, features, &why));
        } catch (const std::exception& e) {
            why = keyb + ": " + e.what();
        }
        if (!written) {
            job.problem = why;
            return;
        }
        std::lock_guard<std::mutex> guard(lock);
        if (job.leftOut.empty())
            out << job.image << ": " << features.size() << " features" << std::endl;
        else
            out << job.image << " left out: " << job.leftOut << std::endl;
    };
    ParallelFor::run(jobs.size(), int(std::min<size_t>(size_t(threads), jobs.size())), [&](size_t i) {
        detectPhoto(i);
        progress.step();
    });
    cv::setNumThreads(previous);
    out << "Memory budget " << budget.bytes() / (1 << 20) << " MB: at most " << budget.peakJobs()
        << " photo(s) at once" << std::endl;

    // This list is one batch of the set: whether enough photos remain is for
    // the reconstruction to judge, which sees them all.
    size_t withFeatures = 0;
    std::string problem;
    for (const Job& job : jobs) {
        withFeatures += job.features > 0;
        if (!job.problem.empty() && problem.empty())
            problem = job.problem;
    }
    if (withFeatures < jobs.size())
        out << jobs.size() - withFeatures << " of " << jobs.size() << " photo(s) left out" << std::endl;
    if (!problem.empty()) {
        err << "SiftGPUMax: " << problem << std::endl;
        return 1;
    }
    return 0;
}
