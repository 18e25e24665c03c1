#include "FeatureDetection.h"

#include <fstream>
#include <mutex>
#include <ostream>
#include <vector>

#include <opencv2/core/utility.hpp>

#include "KeybFile.h"
#include "LoweKeyFile.h"
#include "ParallelFor.h"
#include "ToolPaths.h"

namespace
{

struct Job {
    std::string listed; // as the list names it
    std::string problem;
};

} // namespace

int FeatureDetection::run(const std::string& listPath, const SiftExtractor::Settings& settings, int threads,
                          std::ostream& out, std::ostream& err)
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
            jobs.push_back({line, {}});
    }
    if (jobs.empty()) {
        out << "No images in " << listPath << std::endl;
        return 0;
    }

    // Several images at once, each on one thread: better use of the cores
    // than OpenCV's own threads inside one image, whose stages run in turn.
    if (threads <= 0)
        threads = ParallelFor::defaultThreads();
    const int previous = cv::getNumThreads();
    if (jobs.size() > 1)
        cv::setNumThreads(1);
    std::mutex lock;
    const SiftExtractor extractor(settings);
    ParallelFor::run(jobs.size(), int(std::min<size_t>(size_t(threads), jobs.size())), [&](size_t i) {
        Job& job = jobs[i];
        std::string note;
        const std::string image = ToolPaths::resolveFile(job.listed, &note);
        if (image.empty()) {
            job.problem = ToolPaths::native(job.listed) + ": image not found";
            return;
        }
        FeatureSet features;
        std::string why;
        if (!extractor.extract(image, features, &why)) {
            job.problem = why;
            return;
        }
        if (features.size() == 0) {
            job.problem = image + ": no features found";
            return;
        }
        const std::string keyb = KeybFile::pathForImage(ToolPaths::native(job.listed));
        const std::string key = LoweKeyFile::pathForImage(image);
        if (!KeybFile::writeFile(keyb, features, &why) || !LoweKeyFile::writeFile(key, features, &why)) {
            job.problem = why;
            return;
        }
        std::lock_guard<std::mutex> guard(lock);
        if (!note.empty())
            out << note << '\n';
        out << image << ": " << features.size() << " features" << std::endl;
    });
    cv::setNumThreads(previous);

    int failed = 0;
    std::string first;
    for (const Job& job : jobs) {
        if (job.problem.empty())
            continue;
        if (!failed)
            first = job.problem;
        ++failed;
        err << job.problem << '\n';
    }
    if (!failed)
        return 0;
    err << "SiftGPUMax: " << failed << " of " << jobs.size() << " images failed; first: " << first
        << std::endl;
    return 1;
}
