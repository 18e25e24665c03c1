// The dense stage on a VisualSfM reconstruction, run as the workbench runs
// it after a VisualSfM sparse run: the NVM converted to a Bundler file (the
// driver_x64 step), then Bundle2PMVS, RadialUndistort, Bundle2Vis, cmvs 50,
// genOption <level> 2 0.7 7 3 <cpus> and pmvs_all.bat through orvcmd.
//
//   dense_bench <sparse.nvm> <image folder> <work folder> [level] [cpus]
//
// Figures: the wall time of every step and of the whole stage, against the
// preparation steps as baseline; the points of option-0000, against the
// sparse points; and the share of the points that at least three views'
// depth maps agree with (checked again here, in process, on the written
// cloud against every view's map).
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <fstream>
#include <iomanip>
#include <sstream>

#include <opencv2/imgcodecs.hpp>

#include "BenchSupport.h"
#include "DenseMatcher.h"
#include "DepthFusion.h"
#include "MvsScene.h"
#include "NvmBundleImport.h"
#include "core/formats/PlyReader.h"

namespace
{

QString windows(QString path)
{
    return path.replace('/', '\\');
}

// Runs a tool of the build's SfM tree (or orvcmd); its output goes to a log.
bool runTool(const QString& appDir, const QString& relative, const QStringList& arguments, const QString& log,
             double& seconds)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(log, QIODevice::Append);
    const BenchSupport::Stopwatch watch;
    process.start(appDir + "/" + relative, arguments);
    const bool ok = process.waitForStarted(10000) && process.waitForFinished(-1) &&
                    process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    seconds = watch.seconds();
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: dense_bench <sparse.nvm> <image folder> <work folder> [level] [cpus]\n");
        return 1;
    }
    const QString nvmPath = argv[1], images = argv[2], work = QDir(argv[3]).absolutePath();
    const QString level = argc > 4 ? argv[4] : "1", cpus = argc > 5 ? argv[5] : "2";
    const QString appDir = QFileInfo(QString(ORVALIS_APP_DIR)).absoluteFilePath();
    QDir(work).removeRecursively();
    for (const char* folder : {"pmvs/txt", "pmvs/visualize", "pmvs/models"})
        QDir().mkpath(work + "/" + folder);
    const QString log = work + "/tools.log";

    // The driver_x64 step: sparse-converted.out and its image list.
    const BenchSupport::Stopwatch converting;
    NvmBundleImport nvm;
    std::string error;
    const auto imageOf = [&images](const std::string& name) {
        return images + "/" + QFileInfo(QString::fromStdString(name)).fileName();
    };
    const auto imageSize = [&imageOf](const std::string& name, int& w, int& h) {
        const cv::Mat image = cv::imread(imageOf(name).toStdString(), cv::IMREAD_GRAYSCALE);
        w = image.cols;
        h = image.rows;
        return !image.empty();
    };
    if (!nvm.readFile(nvmPath.toStdString(), &error, imageSize)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const QString list = work + "/sparse-converted-list.txt", bundle = work + "/sparse-converted.out";
    {
        std::ofstream out(list.toStdString());
        for (const std::string& name : nvm.images)
            out << imageOf(name).toStdString() << '\n';
    }
    if (!nvm.bundle.writeFile(bundle.toStdString(), &error) ||
        (!nvm.intrinsics.cameras.empty() &&
         !nvm.intrinsics.writeFile(CameraIntrinsics::pathFor(bundle.toStdString()), &error))) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double conversion = converting.seconds();

    const QString pmvs = windows(work + "/pmvs/");
    const QString bundler = "SfM/BundleAdjustment/Bundler/", pmvs2 = "SfM/DenseReconstruction/PMVS2/";
    const struct {
        const char* name;
        QString tool;
        QStringList arguments;
        bool preparation;
    } steps[] = {
        {"Bundle2PMVS", bundler + "Bundle2PMVS", {windows(list), windows(bundle), pmvs}, true},
        {"RadialUndistort", bundler + "RadialUndistort", {windows(list), windows(bundle), pmvs}, true},
        {"Bundle2Vis", bundler + "Bundle2Vis", {pmvs + "bundle.rd.out", pmvs + "vis.dat"}, true},
        {"cmvs", pmvs2 + "cmvs", {pmvs, "50", cpus}, true},
        {"genOption", pmvs2 + "genOption", {pmvs, level, "2", "0.7", "7", "3", cpus}, true},
        {"pmvs_all.bat", "orvcmd", {"/c", pmvs + "pmvs_all.bat"}, false},
    };
    double preparation = 0, matching = 0;
    std::printf("Dense stage on %s, level %s, %s processors\n", qPrintable(nvmPath), qPrintable(level),
                qPrintable(cpus));
    std::printf("  %-18s %8.2f s\n", "NVM conversion", conversion);
    for (const auto& step : steps) {
        double seconds = 0;
        if (!runTool(appDir, step.tool, step.arguments, log, seconds)) {
            std::fprintf(stderr, "%s failed; see %s\n", step.name, qPrintable(log));
            return 1;
        }
        (step.preparation ? preparation : matching) += seconds;
        std::printf("  %-18s %8.2f s\n", step.name, seconds);
        std::fflush(stdout);
    }

    osg::ref_ptr<osg::Vec3Array> cloud = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    const QString model = work + "/pmvs/models/option-0000.ply";
    // The reader reports its progress on standard output; not wanted here.
    if (!BenchSupport::quiet([&] { return (long long)PlyReader::readPly(model, *cloud, *colours); })) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(model));
        return 1;
    }

    // The check: the same matcher in process, for its depth maps.
    MvsScene scene;
    PmvsOptions options;
    const DenseLayout layout = DenseLayout::pmvs(work.toStdString() + "/pmvs");
    if (!scene.load(layout, &error) || !options.readFile(layout.folder() + "option-0000", &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    DenseMatcher::Options inProcessOptions = DenseMatcher::fromPmvs(options);
    inProcessOptions.keepMaps = true;
    DenseMatcher matcher(scene, inProcessOptions);
    std::ostringstream quiet;
    const BenchSupport::Stopwatch again;
    if (!matcher.run(options.timages, options.oimages, &error, &quiet)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double inProcess = again.seconds();
    long long agreeing[4] = {0, 0, 0, 0}; // 1, 2, 3, 4 or more views
    for (const osg::Vec3f& p : *cloud) {
        const int n = DepthFusion::agreeingViews(matcher.depthMaps(), {p.x(), p.y(), p.z()}, 0.01);
        if (n > 0)
            ++agreeing[std::min(n, 4) - 1];
    }
    const double points = double(cloud->size());
    const double share3 = points > 0 ? (agreeing[2] + agreeing[3]) / points : 0;

    const double total = conversion + preparation + matching;
    std::printf("\n  baseline: preparation (Bundle2PMVS .. genOption)  %8.2f s\n", preparation);
    std::printf("  matcher (pmvs_all.bat)                           %8.2f s  = %.1f x preparation\n",
                matching, matching / preparation);
    std::printf("  matcher again, in process                        %8.2f s  = %.1f x preparation\n",
                inProcess, inProcess / preparation);
    std::printf("  whole dense stage (with the NVM conversion)      %8.2f s  = %.1f x preparation\n", total,
                total / preparation);
    std::printf("  points: %.0f = %.1f x the %zu sparse points\n", points,
                points / double(nvm.bundle.points.size()), nvm.bundle.points.size());
    std::printf("  points that >= 3 views agree with (depth within 1%%): %.1f%% (4 or more: %.1f%%)\n",
                100 * share3, points > 0 ? 100 * agreeing[3] / points : 0.0);
    std::printf("  goal (under 300 s, at least 300000 points): %s\n",
                total < 300 && points >= 300000 ? "met" : "NOT met");
    return 0;
}
