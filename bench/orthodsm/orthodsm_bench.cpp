// orthodsm_bench <work folder> <photos> <WxH> <site WxD> <altitude>
// Makes the survey once (surveygen), lays out a pipeline folder from its true
// cameras and a dense cloud sampled from its true surface at twice the
// photos' ground sample, then runs OrthoDsm as the workbench does and prints
// its wall time and the peak resident memory of its processes (from /proc),
// beside the time of decoding every photo once in this run.

#include <opencv2/imgcodecs.hpp>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/formats/NvmFile.h"
#include "common/geometry/Rotation.h"
#include "SiteModel.h"

namespace fs = std::filesystem;

namespace
{

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::vector<std::vector<std::string>> rows(const fs::path& file)
{
    std::ifstream in(file);
    std::vector<std::vector<std::string>> out;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::vector<std::string> row;
        for (std::string f; fields >> f;)
            row.push_back(f);
        out.push_back(row);
    }
    return out;
}

long long statusKb(pid_t pid, const char* key)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    const std::string k = key;
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, k.size(), k) == 0)
            return std::atoll(line.c_str() + k.size() + 1);
    return 0;
}

// The process and every descendant, from /proc/<pid>/task/*/children.
void tree(pid_t pid, std::vector<pid_t>& out)
{
    out.push_back(pid);
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* d = opendir(tasks.c_str())) {
        while (dirent* e = readdir(d)) {
            if (e->d_name[0] == '.')
                continue;
            std::ifstream children(tasks + "/" + e->d_name + "/children");
            for (pid_t c; children >> c;)
                tree(c, out);
        }
        closedir(d);
    }
}

int run(const std::vector<std::string>& command, const fs::path& log, double& seconds, long long& peakKb)
{
    const double start = now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen(log.c_str(), "w", stdout);
        std::vector<char*> argv;
        for (const auto& a : command)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    peakKb = 0;
    int status = 0;
    struct rusage usage = {};
    for (;;) {
        std::vector<pid_t> all;
        tree(pid, all);
        long long sum = 0;
        for (pid_t p : all)
            sum += statusKb(p, "VmHWM:");
        peakKb = std::max(peakKb, sum);
        if (wait4(pid, &status, WNOHANG, &usage) == pid)
            break;
        usleep(50000);
    }
    seconds = now() - start;
    peakKb = std::max<long long>(peakKb, usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        std::cerr << "usage: orthodsm_bench <work folder> <photos> <WxH> <site WxD> <altitude>\n";
        return 2;
    }
    const fs::path work = argv[1];
    const fs::path survey = work / "survey", pipeline = work / "run";
    if (!fs::exists(survey / "truth/cameras.txt")) {
        const std::string command = std::string(SURVEYGEN) + " " + survey.string() + " --photos " + argv[2] +
                                    " --size " + argv[3] + " --site " + argv[4] + " --altitude " + argv[5] +
                                    " --gps-noise 0 > " + (work / "surveygen.log").string();
        fs::create_directories(work);
        if (std::system(command.c_str()) != 0) {
            std::cerr << "surveygen failed (run under xvfb-run): " << command << "\n";
            return 1;
        }
    }
    std::ifstream siteFile(survey / "truth/site.txt");
    std::stringstream text;
    text << siteFile.rdbuf();
    SiteModel site;
    std::string error;
    if (!SiteModel::fromText(text.str(), &site, &error)) {
        std::cerr << error << "\n";
        return 1;
    }
    double origin[3] = {0, 0, 0};
    for (const auto& r : rows(survey / "truth/site.txt"))
        if (r.size() == 4 && r[0] == "origin")
            for (int k = 0; k < 3; ++k)
                origin[k] = std::stod(r[size_t(k + 1)]);
    const auto cameras = rows(survey / "truth/cameras.txt");

    // The pipeline folder: the model frame is the survey's, less its origin.
    fs::remove_all(pipeline);
    fs::create_directories(pipeline / "pmvs/models");
    NvmFile nvm;
    nvm.models.emplace_back();
    double gsd = 0;
    for (const auto& c : cameras) {
        NvmFile::Camera cam;
        cam.name = c[0];
        cam.focal = std::stod(c[3]);
        cam.centre = {std::stod(c[7]) - origin[0], std::stod(c[8]) - origin[1], std::stod(c[9]) - origin[2]};
        std::array<double, 9> rotation;
        for (size_t k = 0; k < 9; ++k)
            rotation[k] = std::stod(c[10 + k]);
        cam.quaternion = Rotation::quaternionOf(rotation);
        nvm.models.front().cameras.push_back(cam);
        fs::create_symlink(fs::absolute(survey / "photos" / c[0]), pipeline / c[0]);
        gsd = std::max(gsd, (cam.centre[2] - site.heightAt(site.width() / 2, site.depth() / 2)) / cam.focal);
    }
    nvm.writeFile((pipeline / "sparse.nvm").string());
    std::ofstream geo(pipeline / "sparse.txt");
    geo.precision(17);
    geo << "1 0 0\n0 1 0\n0 0 1\n"
        << origin[0] << ' ' << origin[1] << ' ' << origin[2] << "\n1 1 1\nEPSG:32633\n";
    geo.close();

    // The dense cloud over the site, a point every two ground samples.
    const double spacing = 2 * gsd;
    std::mt19937_64 random(1);
    std::normal_distribution<double> noise(0, 0.01);
    const long long across = (long long)(site.width() / spacing), down = (long long)(site.depth() / spacing);
    {
        std::ofstream ply(pipeline / "pmvs/models/option-0000.ply", std::ios::binary);
        ply << "ply\nformat binary_little_endian 1.0\nelement vertex " << across * down
            << "\nproperty float x\nproperty float y\nproperty float z\nend_header\n";
        std::vector<float> row(size_t(across) * 3);
        for (long long j = 0; j < down; ++j) {
            for (long long i = 0; i < across; ++i) {
                const double x = (i + 0.5) * spacing, y = (j + 0.5) * spacing;
                row[size_t(i) * 3] = float(x);
                row[size_t(i) * 3 + 1] = float(y);
                row[size_t(i) * 3 + 2] = float(site.heightAt(x, y) + noise(random));
            }
            ply.write(reinterpret_cast<const char*>(row.data()), std::streamsize(row.size() * sizeof(float)));
        }
    }

    // Baseline: every photo decoded once.
    const double decodeStart = now();
    for (const auto& c : cameras)
        cv::imread((survey / "photos" / c[0]).string(), cv::IMREAD_COLOR);
    const double decode = now() - decodeStart;

    double seconds = 0;
    long long peakKb = 0;
    const int code = run({std::string(ORVALIS_APP_DIR) + "/OrthoDsm", pipeline.string()},
                         work / "orthodsm.log", seconds, peakKb);
    std::ifstream log(work / "orthodsm.log");
    for (std::string line; std::getline(log, line);)
        if (line.find(" points; ") != std::string::npos || line.find("wrote") != std::string::npos)
            std::cout << line << "\n";
    if (code != 0) {
        std::cerr << "OrthoDsm failed with code " << code << " (see " << (work / "orthodsm.log").string()
                  << ")\n";
        return 1;
    }
    std::printf("survey: %zu photos of %s, site %s m at %s m; dense cloud %lld points\n", cameras.size(),
                argv[3], argv[4], argv[5], across * down);
    std::printf("OrthoDsm: %.2f s wall, peak %.1f MB resident over its processes\n", seconds,
                peakKb / 1024.0);
    std::printf("baseline, every photo decoded once: %.2f s; OrthoDsm / baseline = %.2f\n", decode,
                seconds / decode);
    return 0;
}
