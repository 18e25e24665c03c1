// "&Run Dense" on a synthetic survey against the site's own truth, not
// against the matcher's own output: surveygen makes the photos and the
// surface, "&Run Sparse" runs through the workbench's pipeline, then
// "&Run Dense" on the PMVS road and on the CMPMVS road, each with the
// options the workbench generates.
//
//   dense_truth_bench <application folder> <surveygen> <work folder> <photos> <W>x<H> [--reuse]
// (--reuse: keep the site and the sparse result of an earlier run in the
// work folder, and run only the dense roads)
//
// The cloud is carried into survey coordinates by the similarity that best
// carries the sparse cameras' centres onto the true ones, then each point's
// distance to the true surface is measured (the height difference times the
// cosine of the surface's slope). Figures per road: wall time, peak memory of
// all processes together (the workbench's children summed, sampled from
// /proc every 50 ms), points, share within 5 cm and 10 cm, share of the
// site's 1 m cells that hold a point within 10 cm, share farther than 1 m.
// The sparse points are judged the same way; a row "-sparse" under each road
// repeats its figures with the sparse points' median height offset taken
// off (the dense stage's own share of the error).
// Needs a display (xvfb-run) and QT_QPA_PLATFORM=offscreen.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMainWindow>
#include <QProcess>
#include <QStatusBar>
#include <QThread>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include <unistd.h>

#include "BenchSupport.h"
#include "common/formats/NvmFile.h"
#include "SimilarityAlignment.h"
#include "SiteModel.h"
#include "SurveyWriter.h"
#include "core/project/ScanSettings.h"
#include "ui/images/MyListWidget.h"
#include "ui/log/LogView.h"
#include "ui/pipeline/ReconstructionRunner.h"

namespace
{

using Point = std::array<double, 3>;

// Resident memory of this process's descendants, summed, at its highest.
class TreeMemory
{
public:
    TreeMemory() : m_thread([this] { loop(); }) {}
    ~TreeMemory()
    {
        m_stop = true;
        m_thread.join();
    }
    void reset() { m_peak = 0; }
    double peakBytes() const { return double(m_peak.load()) * 1024; }

private:
    // Through stdio: a process may end while its files are read.
    static std::string procText(const std::string& pid, const char* file)
    {
        std::string text;
        if (FILE* f = std::fopen(("/proc/" + pid + "/" + file).c_str(), "r")) {
            char buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
                text.append(buffer, n);
            std::fclose(f);
        }
        return text;
    }
    static long long residentKb(const std::string& pid)
    {
        const std::string text = procText(pid, "status");
        const auto at = text.find("VmRSS:");
        return at == std::string::npos ? 0 : std::atoll(text.c_str() + at + 6);
    }
    static int parentOf(const std::string& pid)
    {
        const std::string text = procText(pid, "stat");
        const auto close = text.rfind(')');
        if (close == std::string::npos || close + 2 > text.size())
            return -1;
        std::istringstream rest(text.substr(close + 2));
        std::string state;
        int parent = -1;
        rest >> state >> parent;
        return parent;
    }
    void loop()
    {
        const int self = int(getpid());
        while (!m_stop) {
            std::map<int, int> parents;
            for (const QString& name : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                bool number = false;
                const int pid = name.toInt(&number);
                if (number)
                    parents[pid] = parentOf(name.toStdString());
            }
            long long sum = 0;
            for (const auto& [pid, parent] : parents) {
                int p = parent;
                for (int depth = 0; depth < 64 && p > 1 && p != self; ++depth) {
                    const auto it = parents.find(p);
                    p = it == parents.end() ? -1 : it->second;
                }
                if (p == self)
                    sum += residentKb(std::to_string(pid));
            }
            if (sum > m_peak)
                m_peak = sum;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    std::atomic<bool> m_stop{false};
    std::atomic<long long> m_peak{0};
    std::thread m_thread;
};

struct Truth {
    SiteModel site;
    Point origin{};
    std::map<std::string, Point> centres; // photo name -> survey coordinates
};

bool readTruth(const QString& root, Truth& truth)
{
    std::ifstream siteFile((root + "/truth/site.txt").toStdString());
    const std::string siteText((std::istreambuf_iterator<char>(siteFile)), std::istreambuf_iterator<char>());
    std::string error;
    if (!SiteModel::fromText(siteText, &truth.site, &error)) {
        std::fprintf(stderr, "truth/site.txt: %s\n", error.c_str());
        return false;
    }
    const SurveyWriter::Settings defaults;
    truth.origin = {defaults.originEasting, defaults.originNorthing, defaults.originHeight};
    std::ifstream cameras((root + "/truth/cameras.txt").toStdString());
    for (std::string line; std::getline(cameras, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream words(line);
        std::string name;
        double w, h, fx, fy, cx, cy;
        Point c;
        if (words >> name >> w >> h >> fx >> fy >> cx >> cy >> c[0] >> c[1] >> c[2])
            truth.centres[name] = c;
    }
    return !truth.centres.empty();
}

// The ASCII PLY the dense tools write (x y z first on each vertex line).
bool readCloud(const QString& file, std::vector<Point>& points)
{
    std::ifstream in(file.toStdString());
    std::string line;
    while (std::getline(in, line) && line.rfind("end_header", 0) != 0) {
    }
    if (!in)
        return false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        Point p;
        if (words >> p[0] >> p[1] >> p[2])
            points.push_back(p);
    }
    return true;
}

struct Quality {
    long long points = 0, onSite = 0;
    double within5 = 0, within10 = 0, beyond1m = 0, cellsCovered = 0;
    double medianOffset = 0, medianDistance = 0; // signed (above the surface) and not
};

// shift: taken off every height first (0, or the sparse points' median
// offset, which tells the dense roads' own accuracy from the sparse frame's).
Quality judge(const std::vector<Point>& cloud, const SimilarityAlignment& toSurvey, const Truth& truth,
              double shift = 0)
{
    Quality q;
    q.points = (long long)cloud.size();
    const SiteModel& site = truth.site;
    const double step = site.spacing();
    long long near5 = 0, near10 = 0, far = 0;
    std::set<std::pair<int, int>> covered;
    std::vector<double> offsets;
    for (const Point& p : cloud) {
        const Point s = toSurvey.apply(p);
        const double x = s[0] - truth.origin[0], y = s[1] - truth.origin[1], z = s[2] - truth.origin[2] - shift;
        const double m = site.margin() - 2 * step;
        if (!(x > -m && y > -m && x < site.width() + m && y < site.depth() + m))
            continue; // off the modelled ground
        ++q.onSite;
        const double gx = (site.heightAt(x + step, y) - site.heightAt(x - step, y)) / (2 * step);
        const double gy = (site.heightAt(x, y + step) - site.heightAt(x, y - step)) / (2 * step);
        const double signedDistance = (z - site.heightAt(x, y)) / std::sqrt(1 + gx * gx + gy * gy);
        const double d = std::abs(signedDistance);
        offsets.push_back(signedDistance);
        near5 += d <= 0.05;
        near10 += d <= 0.10;
        far += d > 1.0;
        if (d <= 0.10 && x >= 0 && y >= 0 && x < site.width() && y < site.depth())
            covered.insert({int(x), int(y)});
    }
    if (!offsets.empty()) {
        const auto middle = offsets.begin() + long(offsets.size() / 2);
        std::nth_element(offsets.begin(), middle, offsets.end());
        q.medianOffset = *middle;
        for (double& o : offsets)
            o = std::abs(o);
        std::nth_element(offsets.begin(), middle, offsets.end());
        q.medianDistance = *middle;
    }
    if (q.onSite) {
        q.within5 = double(near5) / double(q.onSite);
        q.within10 = double(near10) / double(q.onSite);
        q.beyond1m = double(far) / double(q.onSite);
    }
    q.cellsCovered = double(covered.size()) / (std::floor(site.width()) * std::floor(site.depth()));
    return q;
}

bool runStage(ReconstructionRunner& runner, QMainWindow& window, QListWidget* log, bool dense,
              const QString& done)
{
    if (dense)
        runner.runDense();
    else
        runner.runSparse();
    while (runner.isRunning())
        BenchSupport::waitForEvents();
    QCoreApplication::sendPostedEvents(); // the run's last lines and status on their way
    if (window.statusBar()->currentMessage() == done)
        return true;
    for (int i = 0; i < log->count(); ++i)
        std::fprintf(stderr, "%s\n", qPrintable(log->item(i)->text()));
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const bool reuse = argc == 7 && QString(argv[6]) == "--reuse";
    if (argc != 6 && !reuse) {
        std::fprintf(stderr,
                     "usage: dense_truth_bench <application folder> <surveygen> <work folder> <photos> "
                     "<W>x<H>\n");
        return 2;
    }
    const QString appDir = QDir(argv[1]).absolutePath(), surveygen = argv[2];
    const QString work = QDir(argv[3]).absolutePath(), photos = argv[4], size = argv[5];
    const bool again = reuse && QFileInfo::exists(work + "/site/photos/sparse.nvm");
    if (!again)
        QDir(work).removeRecursively();
    QDir().mkpath(work);
    TreeMemory memory;

    QElapsedTimer clock;
    clock.start();
    QProcess gen;
    gen.setProcessChannelMode(QProcess::MergedChannels);
    if (!again)
        gen.start(surveygen, {work + "/site", "--photos", photos, "--size", size});
    if (!again && (!gen.waitForFinished(-1) || gen.exitCode() != 0)) {
        std::fprintf(stderr, "surveygen failed: %s\n", gen.readAll().right(2000).constData());
        return 1;
    }
    Truth truth;
    if (!readTruth(work + "/site", truth))
        return 1;
    std::printf("%s photos of %s made in %.1f s; %.0f x %.0f m site\n", argv[4], argv[5],
                clock.elapsed() / 1e3, truth.site.width(), truth.site.depth());
    std::fflush(stdout);

    const QString site = work + "/site/photos";
    QStringList images;
    for (const QString& name : QDir(site).entryList({"*.jpg", "*.JPG"}, QDir::Files, QDir::Name))
        images << site + '/' + name;
    QMainWindow window;
    auto* log = new QListWidget(&window);
    auto* list = new MyListWidget(&window);
    ReconstructionRunner::Actions actions;
    for (auto* a :
         {&actions.runSparse, &actions.reRun, &actions.runDense, &actions.scanSettings, &actions.abort})
        *a = new QAction(&window);
    // The log list and the status bar take the log channel as the window's do.
    LogView::follow(log, window.statusBar());
    ReconstructionRunner runner(&window, list, appDir, actions);
    QFile bat(site + "/exifExtract.bat");
    if (!bat.open(QIODevice::WriteOnly))
        return 1;
    const QString tool = QString(appDir).replace('/', '\\') + "\\SfM\\Undistort\\exiftool.exe -X ";
    for (int i = 0; i < images.size(); ++i) {
        QString native = images[i];
        native.replace('/', '\\');
        bat.write(((i ? "\n" : "") + tool + native + " > " + native.left(native.lastIndexOf('.')) + ".xml")
                      .toUtf8());
        list->addImage(images[i], QFileInfo(images[i]).fileName());
    }
    bat.close();
    QProcess exif;
    runner.setExifExtraction([&] {
        exif.start(appDir + "/orvcmd", {"/c", bat.fileName()});
        exif.waitForStarted();
        return &exif;
    });
    ScanSettings::global() = ScanSettings();

    clock.restart();
    memory.reset();
    if (!again && !runStage(runner, window, log, false, "Sparse Reconstruction is done!"))
        return 1;
    std::printf("Run Sparse%s: %.1f s, peak memory %.0f MB\n", again ? " (earlier run's)" : "", clock.elapsed() / 1e3, memory.peakBytes() / 1e6);

    // The sparse cameras' centres against the true ones.
    NvmFile nvm;
    std::string error;
    if (!nvm.readFile((site + "/sparse.nvm").toStdString(), &error) || nvm.models.empty()) {
        std::fprintf(stderr, "sparse.nvm: %s\n", error.c_str());
        return 1;
    }
    std::vector<Point> from, to;
    for (const auto& c : nvm.models.front().cameras) {
        const auto it =
            truth.centres.find(QFileInfo(QString::fromStdString(c.name)).fileName().toStdString());
        if (it == truth.centres.end())
            continue;
        from.push_back(c.centre);
        to.push_back(it->second);
    }
    SimilarityAlignment toSurvey;
    if (!toSurvey.estimate(from, to)) {
        std::fprintf(stderr, "too few registered cameras to place the cloud\n");
        return 1;
    }
    std::printf(
        "%zu of %lld cameras registered; their centres %.3f m rms from the truth after a similarity\n",
        from.size(), (long long)images.size(), toSurvey.rmsError(from, to));

    std::printf("\n%-10s %9s %9s %10s %8s %8s %10s %8s %10s %11s %11s\n", "road", "wall [s]", "s/photo", "peak [MB]",
                "points", "<=5 cm", "<=10 cm", "cells", "> 1 m", "median [m]", "offset [m]");
    // The sparse points on the same scale: what the dense roads start from.
    double sparseOffset = 0;
    {
        std::vector<Point> sparse;
        for (const auto& p : nvm.models.front().points)
            sparse.push_back(p.position);
        const Quality q = judge(sparse, toSurvey, truth);
        std::printf("%-10s %9s %9s %10s %8lld %7.1f%% %9.1f%% %7.1f%% %9.2f%% %11.3f %+11.3f\n", "sparse", "",
                    "", "", q.points, 100 * q.within5, 100 * q.within10, 100 * q.cellsCovered,
                    100 * q.beyond1m, q.medianDistance, q.medianOffset);
        sparseOffset = q.medianOffset;
    }
    for (const QString& road : {QStringLiteral("PMVS"), QStringLiteral("CMPMVS")}) {
        ScanSettings::global().denseReconstruction = road;
        clock.restart();
        memory.reset();
        const bool ok = runStage(runner, window, log, true, "Dense Reconstruction is done!");
        const double wall = clock.elapsed() / 1e3, peak = memory.peakBytes();
        if (!ok) {
            std::printf("%-10s failed\n", qPrintable(road));
            continue;
        }
        std::vector<Point> cloud;
        if (road == "PMVS") {
            const QDir models(site + "/pmvs/models");
            for (const QString& name : models.entryList({"option-*.ply"}, QDir::Files, QDir::Name))
                readCloud(models.filePath(name), cloud);
        } else {
            readCloud(site + "/cmpmvs/models/mvs.ply", cloud);
        }
        const Quality q = judge(cloud, toSurvey, truth);
        std::printf("%-10s %9.1f %9.2f %10.0f %8lld %7.1f%% %9.1f%% %7.1f%% %9.2f%% %11.3f %+11.3f\n", qPrintable(road),
                    wall, wall / images.size(), peak / 1e6, q.points, 100 * q.within5, 100 * q.within10,
                    100 * q.cellsCovered, 100 * q.beyond1m, q.medianDistance, q.medianOffset);
        const Quality o = judge(cloud, toSurvey, truth, sparseOffset);
        std::printf("%-10s %9s %9s %10s %8s %7.1f%% %9.1f%% %7.1f%% %9.2f%% %11.3f %+11.3f\n",
                    "  -sparse", "", "", "", "", 100 * o.within5, 100 * o.within10, 100 * o.cellsCovered,
                    100 * o.beyond1m, o.medianDistance, o.medianOffset);
        std::fflush(stdout);
    }
    return 0;
}
