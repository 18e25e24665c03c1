// A drone survey through "&Run Sparse" against COLMAP as a drone user runs it
// on the processor, in the same run, on a synthetic survey with known truth
// (surveygen): wall time, peak memory of all processes together, registered
// photos, points, mean reprojection error, and the camera centres' error
// against the true ones after a similarity, as a share of the flight's extent.
//
//   sparse_survey_bench <work folder> [--photos N] [--size WxH] [--series N,N,…] [--grow-site]
//                       [--no-colmap] [--colmap-largest] [--dense | --dense-again]
//
// --photos and --size (200 and 5472x3648) give the survey; --series runs the
// comparison at each count in turn and adds the time per photo and per
// verified pair. surveygen's site is the same whatever the count, so a
// larger count overlaps more; with --grow-site the site grows with the
// count instead, 45 m² a photo (surveygen's site at 60 photos), as a longer
// flight covers more ground (below some 40 photos a photo's footprint still
// covers most of the site, so every photo overlaps every other). Surveys are
// made once into the work folder (survey_<N>_<W>x<H>) and reused. Needs an X
// display for surveygen (xvfb-run), QT_QPA_PLATFORM=offscreen and COLMAP on
// PATH.
//
// Our run: the photos copied into a fresh folder, the EXIF extraction the
// window starts, then ReconstructionRunner::runSparse with the default scan
// settings, as the menu item does. COLMAP: feature_extractor with one camera
// for all photos, spatial_matcher on the EXIF GPS, mapper, all on the
// processor with COLMAP's defaults otherwise. With --dense, "&Run Dense" and
// "&Orthophoto and DSM" follow our sparse run in the same window, each timed
// and measured the same way; --dense-again runs those two alone on the
// sparse result an earlier run left in the work folder.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QProcess>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "ColmapModel.h"
#include "SurveyBenchRun.h"
#include "SimilarityAlignment.h"

using namespace surveybench;

namespace
{

using Point = SimilarityAlignment::Point;

struct Result {
    bool ok = false;
    QString failure;
    double wall = 0;
    double cpu = 0;
    ProcessTreeMemory::Peak peak;
    std::vector<Stage> stages;
    int registered = 0;
    size_t points = 0;
    double reprojection = 0;
    double centreRms = -1; // metres, after the similarity onto the truth
    double centreMax = -1;
    std::map<std::string, Point> centres; // registered photo -> centre in the model's frame
    double workbenchCpu = -1;              // the workbench's own main thread; ours only
    std::vector<SparseRun> later;          // "&Run Dense" and "&Orthophoto and DSM", with --dense
};

struct Truth {
    std::map<std::string, Point> centres; // survey coordinates less origin
    Point origin{};
    double extent = 0; // diagonal of the true centres' horizontal bounding box
};

QString baseName(const std::string& name)
{
    return QFileInfo(QString::fromStdString(name)).fileName();
}

// The survey's true camera centres; false when the file is missing or short.
bool readTruth(const QString& file, Truth& truth)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
    bool first = true;
    QTextStream in(&f);
    while (!in.atEnd()) {
        const QStringList v = in.readLine().split(' ', Qt::SkipEmptyParts);
        if (v.size() < 10 || v[0].startsWith('#'))
            continue;
        Point c{v[7].toDouble(), v[8].toDouble(), v[9].toDouble()};
        if (first)
            truth.origin = c;
        first = false;
        for (int k = 0; k < 3; ++k)
            c[size_t(k)] -= truth.origin[size_t(k)];
        for (int k = 0; k < 2; ++k) {
            lo[k] = std::min(lo[k], c[size_t(k)]);
            hi[k] = std::max(hi[k], c[size_t(k)]);
        }
        truth.centres[v[0].toStdString()] = c;
    }
    truth.extent = std::hypot(hi[0] - lo[0], hi[1] - lo[1]);
    return !truth.centres.empty();
}

// Of a mapper output folder, the model with the most registered photos, read
// through its text form: registered photos, points, reprojection, centres.
bool readLargestModel(const QString& folder, Result& r)
{
    ColmapModel best;
    bool found = false;
    for (const QString& k : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString text = folder + "_text/" + k;
        QDir().mkpath(text);
        ColmapModel m;
        std::string error;
        if (!colmap({"model_converter", "--input_path", folder + '/' + k, "--output_path", text, "--output_type",
                     "TXT"},
                    folder + "_text/convert.log") ||
            !m.readFolder(text.toStdString(), &error)) {
            r.failure = "cannot read the model " + folder + '/' + k + ": " + QString::fromStdString(error);
            continue;
        }
        if (!found || m.images.size() > best.images.size()) {
            best = std::move(m);
            found = true;
        }
    }
    if (!found) {
        if (r.failure.isEmpty())
            r.failure = "no model in " + folder;
        return false;
    }
    r.registered = int(best.images.size());
    r.points = best.points.size();
    r.reprojection = best.meanReprojectionError();
    for (const auto& entry : best.images)
        r.centres[baseName(entry.second.name).toStdString()] = entry.second.centre();
    return true;
}

// Error of the registered centres after the best similarity onto the truth.
void compareWithTruth(Result& r, const Truth& truth)
{
    std::vector<Point> from, to;
    for (const auto& [name, centre] : r.centres) {
        const auto t = truth.centres.find(name);
        if (t == truth.centres.end())
            continue;
        from.push_back(centre);
        to.push_back(t->second);
    }
    SimilarityAlignment s;
    if (!s.estimate(from, to))
        return;
    r.centreRms = s.rmsError(from, to);
    r.centreMax = 0;
    for (size_t i = 0; i < from.size(); ++i) {
        const Point p = s.apply(from[i]);
        r.centreMax = std::max(r.centreMax, std::hypot(p[0] - to[i][0], p[1] - to[i][1], p[2] - to[i][2]));
    }
}

Result runOurs(const QString& photos, const QString& appDir, const QString& site, ProcessTreeMemory& memory,
               bool dense)
{
    std::vector<Step> steps{Step::Sparse};
    if (dense)
        steps.insert(steps.end(), {Step::Dense, Step::OrthoDsm});
    std::vector<SparseRun> runs = runSteps(photos, appDir, site, memory, steps);
    const SparseRun run = runs.front();
    Result r;
    r.workbenchCpu = run.workbenchCpu;
    r.later.assign(runs.begin() + 1, runs.end());
    r.ok = run.ok;
    r.failure = run.failure;
    r.wall = run.wall;
    r.cpu = run.cpu;
    r.peak = run.peak;
    r.stages = run.stages;
    if (r.ok && !readLargestModel(site + "/sparse_colmap/model", r))
        r.ok = false;
    return r;
}

Result runColmap(const QString& photos, const QString& workspace, ProcessTreeMemory& memory)
{
    Result r;
    QDir().mkpath(workspace + "/sparse");
    const QString db = workspace + "/database.db", log = workspace + "/colmap.log";
    const struct {
        const char* name;
        QStringList args;
    } steps[] = {
        {"feature_extractor",
         {"feature_extractor", "--database_path", db, "--image_path", photos, "--ImageReader.single_camera", "1",
          "--SiftExtraction.use_gpu", "0"}},
        {"spatial_matcher", {"spatial_matcher", "--database_path", db, "--SiftMatching.use_gpu", "0"}},
        {"mapper",
         {"mapper", "--database_path", db, "--image_path", photos, "--output_path", workspace + "/sparse"}},
    };
    memory.takePeak();
    const double cpu = childrenCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    for (const auto& step : steps) {
        QElapsedTimer stepClock;
        stepClock.start();
        const double stepCpu = childrenCpuSeconds();
        const bool ok = colmap(step.args, log);
        r.stages.push_back(
            {step.name, stepClock.elapsed() / 1000.0, childrenCpuSeconds() - stepCpu, memory.takePeak()});
        if (r.stages.back().peak.bytes > r.peak.bytes)
            r.peak = r.stages.back().peak;
        if (!ok) {
            r.failure = QString("colmap %1 failed; see %2").arg(step.name, log);
            return r;
        }
    }
    r.wall = clock.elapsed() / 1000.0;
    r.cpu = childrenCpuSeconds() - cpu;
    r.ok = readLargestModel(workspace + "/sparse", r);
    return r;
}

void printStages(const char* who, const Result& r)
{
    std::printf("  %s, by stage:\n", who);
    for (const Stage& s : r.stages)
        if (s.seconds > 0 || s.peak.bytes > 0)
            std::printf("    %-34s %8.1f s  processor %8.1f s  peak %6.2f GB  (%s)\n", qPrintable(s.name),
                        s.seconds, s.cpu, gb(s.peak.bytes), s.peak.largest.c_str());
        else
            std::printf("    %s\n", qPrintable(s.name));
}

double ratio(double a, double b)
{
    return b > 0 ? a / b : NAN;
}

void printTable(int count, const QString& size, const Truth& truth, const Result& ours, const Result& theirs,
                bool withColmap)
{
    std::printf("\n%d photos of %s, flight extent %.1f m (diagonal of the true centres' horizontal box)\n", count,
                qPrintable(size), truth.extent);
    std::printf("%-40s %14s %14s %8s\n", "", "Run Sparse", "COLMAP (CPU)", "ratio");
    const auto row = [&](const char* label, double a, double b, const char* format) {
        char x[32], y[32];
        std::snprintf(x, sizeof x, format, a);
        std::snprintf(y, sizeof y, format, b);
        std::printf("%-40s %14s %14s %8.2f\n", label, x, withColmap ? y : "-", ratio(a, b));
    };
    row("wall time [s]", ours.wall, theirs.wall, "%.1f");
    row("processor time of the tools [s]", ours.cpu, theirs.cpu, "%.1f");
    row("peak memory, all processes [GB]", gb(ours.peak.bytes), gb(theirs.peak.bytes), "%.2f");
    row("registered photos", ours.registered, theirs.registered, "%.0f");
    row("points", double(ours.points), double(theirs.points), "%.0f");
    row("mean reprojection error [px]", ours.reprojection, theirs.reprojection, "%.3f");
    row("camera centres, rms after similarity [mm]", 1000 * ours.centreRms, 1000 * theirs.centreRms, "%.3f");
    row("  the same, % of the flight's extent", 100 * ours.centreRms / truth.extent,
        100 * theirs.centreRms / truth.extent, "%.3f");
    row("camera centres, largest error [mm]", 1000 * ours.centreMax, 1000 * theirs.centreMax, "%.3f");
    std::printf("peak at: ours %s; COLMAP %s\n", ours.peak.largest.c_str(), theirs.peak.largest.c_str());
    std::printf("the workbench's own processor time during Run Sparse: %.1f s, %.1f%% of a core\n",
                ours.workbenchCpu, 100 * ratio(ours.workbenchCpu, ours.wall));
    printStages("Run Sparse", ours);
    if (withColmap)
        printStages("COLMAP", theirs);
    std::fflush(stdout);
}

// "&Run Dense" and "&Orthophoto and DSM" after the sparse run: time per
// photo, the orthophoto's time against the dense stage's, peak memory.
void printLater(int count, const Result& ours)
{
    if (ours.later.empty())
        return;
    std::printf("\n%-22s %10s %10s %10s %12s %12s %14s\n", "", "wall [s]", "s/photo", "CPU [s]", "peak [GB]",
                "workbench", "vs Run Dense");
    const double dense = ours.later.front().wall;
    for (size_t i = 0; i < ours.later.size(); ++i) {
        const SparseRun& r = ours.later[i];
        const char* name = i == 0 ? "Run Dense" : "Orthophoto and DSM";
        if (!r.ok) {
            std::printf("%-22s FAILED: %s\n", name, qPrintable(r.failure));
            continue;
        }
        std::printf("%-22s %10.1f %10.2f %10.1f %12.2f %11.1f%% %14.2f\n", name, r.wall, r.wall / count, r.cpu,
                    gb(r.peak.bytes), 100 * ratio(r.workbenchCpu, r.wall), ratio(r.wall, dense));
    }
    for (size_t i = 0; i < ours.later.size(); ++i) {
        Result stages;
        stages.stages = ours.later[i].stages;
        std::printf("peak at: %s\n", ours.later[i].peak.largest.c_str());
        printStages(i == 0 ? "Run Dense" : "Orthophoto and DSM", stages);
    }
    std::fflush(stdout);
}

// The image pairs whose verified matches the run imported, from its log.
int verifiedPairs(const QString& log)
{
    QFile f(log);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    int pairs = 0;
    const QRegularExpression imported("Importing the verified matches of (\\d+) image pair");
    for (const QString& line : QString::fromUtf8(f.readAll()).split('\n')) {
        const QRegularExpressionMatch m = imported.match(line);
        if (m.hasMatch())
            pairs = m.captured(1).toInt();
    }
    return pairs;
}

struct Options {
    QString work;
    std::vector<int> counts{200};
    QString size = "5472x3648";
    bool series = false;
    bool growSite = false;
    bool withColmap = true;
    bool colmapLargestOnly = false; // COLMAP at the series' largest count alone
    bool dense = false;             // then "&Run Dense" and "&Orthophoto and DSM" on our result
    bool denseAgain = false;        // those two alone, on the sparse result an earlier run left
};

bool parse(const QStringList& args, Options& o)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString a = args[i], v = i + 1 < args.size() ? args[i + 1] : QString();
        bool ok = true;
        if (a == "--photos") {
            o.counts = {v.toInt(&ok)};
            ok = ok && o.counts[0] >= 3;
            ++i;
        } else if (a == "--size") {
            ok = QRegExp("\\d+x\\d+").exactMatch(v);
            o.size = v;
            ++i;
        } else if (a == "--series") {
            o.counts.clear();
            for (const QString& n : v.split(',')) {
                o.counts.push_back(n.toInt(&ok));
                if (!ok || o.counts.back() < 3)
                    ok = false;
            }
            o.series = true;
            ++i;
        } else if (a == "--grow-site") {
            o.growSite = true;
        } else if (a == "--no-colmap") {
            o.withColmap = false;
        } else if (a == "--colmap-largest") {
            o.colmapLargestOnly = true;
        } else if (a == "--dense") {
            o.dense = true;
        } else if (a == "--dense-again") {
            o.denseAgain = true;
        } else if (o.work.isEmpty() && !a.startsWith("--")) {
            o.work = QDir(a).absolutePath();
        } else {
            ok = false;
        }
        if (!ok || o.counts.empty()) {
            std::fprintf(stderr, "sparse_survey_bench: bad option %s %s\n", qPrintable(a), qPrintable(v));
            return false;
        }
    }
    return !o.work.isEmpty();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Options o;
    if (!parse(app.arguments(), o)) {
        std::fprintf(stderr, "usage: sparse_survey_bench <work folder> [--photos N] [--size WxH] "
                             "[--series N,N,...] [--grow-site] [--no-colmap | --colmap-largest] "
                             "[--dense | --dense-again]\n");
        return 2;
    }
    const QString appDir = QFileInfo(QString(ORVALIS_APP_DIR)).absoluteFilePath();
    ProcessTreeMemory memory(100);
    struct Row {
        int count;
        double ours, theirs;       // wall time per photo
        double oursCpu, theirsCpu; // processor time per photo
        int pairs;                 // verified pairs of our run
    };
    std::vector<Row> rows;
    bool allOk = true;
    const int largest = *std::max_element(o.counts.begin(), o.counts.end());
    for (const int count : o.counts) {
        QString error;
        QStringList options;
        QString tag;
        if (o.growSite && count != 60) {
            // surveygen's default site, 60 x 45 m, at 60 photos.
            const double scale = std::sqrt(count / 60.0);
            const QString site = QString("%1x%2").arg(60 * scale, 0, 'f', 1).arg(45 * scale, 0, 'f', 1);
            options << "--site" << site;
            tag = "site" + site;
        }
        const QString folder = survey(o.work, count, o.size, options, tag, &error);
        Truth truth;
        if (folder.isEmpty() || !readTruth(folder + "/truth/cameras.txt", truth)) {
            std::fprintf(stderr, "%s\n", qPrintable(error.isEmpty() ? "no truth in " + folder : error));
            return 1;
        }
        const QString run =
            QString("%1/run_%2_%3").arg(o.work).arg(count).arg(o.size) + (tag.isEmpty() ? "" : '_' + tag);
        if (o.denseAgain) {
            if (!QFileInfo::exists(run + "/orvalis/sparse.nvm")) {
                std::fprintf(stderr, "no sparse result in %s/orvalis: run with --dense first\n", qPrintable(run));
                return 1;
            }
            std::printf("\n== %d photos of %s, dense again, load average before: %s\n", count, qPrintable(o.size),
                        qPrintable(loadAverage()));
            Result ours;
            ours.later = runSteps(folder + "/photos", appDir, run + "/orvalis", memory, {Step::Dense, Step::OrthoDsm});
            printLater(count, ours);
            for (const SparseRun& r : ours.later)
                allOk = allOk && r.ok;
            continue;
        }
        QDir(run).removeRecursively();
        std::printf("\n== %d photos of %s, %d processors, load average before: %s\n", count, qPrintable(o.size),
                    QThread::idealThreadCount(), qPrintable(loadAverage()));
        std::fflush(stdout);
        Result ours = runOurs(folder + "/photos", appDir, run + "/orvalis", memory, o.dense);
        std::printf("Run Sparse: %.1f s, %s (load average %s)\n", ours.wall, ours.ok ? "done" : "FAILED",
                    qPrintable(loadAverage()));
        std::fflush(stdout);
        Result theirs;
        const bool colmapHere = o.withColmap && (!o.colmapLargestOnly || count == largest);
        if (colmapHere) {
            theirs = runColmap(folder + "/photos", run + "/colmap", memory);
            std::printf("COLMAP: %.1f s, %s (load average %s)\n", theirs.wall, theirs.ok ? "done" : "FAILED",
                        qPrintable(loadAverage()));
        }
        for (Result* r : {&ours, &theirs})
            if (r->ok)
                compareWithTruth(*r, truth);
        for (const Result* r : {&ours, &theirs})
            if (!r->failure.isEmpty())
                std::fprintf(stderr, "%s: %s\n", r == &ours ? "Run Sparse" : "COLMAP", qPrintable(r->failure));
        allOk = allOk && ours.ok && (theirs.ok || !colmapHere);
        printTable(count, o.size, truth, ours, theirs, colmapHere);
        printLater(count, ours);
        for (const SparseRun& r : ours.later)
            allOk = allOk && r.ok;
        rows.push_back({count, ours.wall / count, theirs.wall / count, ours.cpu / count, theirs.cpu / count,
                        verifiedPairs(run + "/orvalis/workbench.log")});
    }
    if (o.series) {
        // Processor time tells the growth even when others share the machine.
        std::printf("\nTime per photo [s] (%s)\n%8s %12s %12s %8s %14s %12s %12s %14s\n", qPrintable(o.size),
                    "photos", "Run Sparse", "COLMAP", "ratio", "ours vs first", "ours, CPU", "COLMAP, CPU",
                    "ours CPU/first");
        for (const Row& r : rows)
            std::printf("%8d %12.2f %12.2f %8.2f %14.2f %12.2f %12.2f %14.2f\n", r.count, r.ours, r.theirs,
                        ratio(r.ours, r.theirs), ratio(r.ours, rows.front().ours), r.oursCpu, r.theirsCpu,
                        ratio(r.oursCpu, rows.front().oursCpu));
        // The pairs a photo overlaps grow with the site's cover; the time a
        // pair takes should not.
        std::printf("\nTime per verified pair [s]\n%8s %8s %12s %12s %14s\n", "photos", "pairs", "per photo",
                    "Run Sparse", "ours vs first");
        for (const Row& r : rows)
            std::printf("%8d %8d %12.2f %12.3f %14.2f\n", r.count, r.pairs, double(r.pairs) / r.count,
                        ratio(r.ours * r.count, r.pairs), ratio(r.ours * r.count * rows.front().pairs,
                                                                 rows.front().ours * rows.front().count * r.pairs));
    }
    std::printf("%d samples of the process tree's memory\n", memory.samples());
    return allOk ? 0 : 1;
}
