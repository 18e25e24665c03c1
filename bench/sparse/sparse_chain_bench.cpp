// "&Run Sparse" through the workbench's pipeline with our tool chain, and in
// the same run COLMAP's own automatic reconstruction of the same photos:
// wall and processor time, registered images, points, mean reprojection
// error, and how well the two sets of camera centres agree.
//
//   sparse_chain_bench <photo folder> <application folder> <work folder>
//
// Needs a display-less Qt (QT_QPA_PLATFORM=offscreen) and COLMAP on PATH.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMainWindow>
#include <QProcess>
#include <QStatusBar>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <map>
#include <sys/resource.h>

#include "BenchSupport.h"
#include "ColmapModel.h"
#include "ui/images/MyListWidget.h"
#include "ui/log/LogView.h"
#include "ui/pipeline/ReconstructionRunner.h"
#include "core/project/ScanSettings.h"
#include "SimilarityAlignment.h"

namespace
{

struct Result {
    bool ok = false;
    double wall = 0;
    double cpu = 0;
    QString model; // COLMAP model folder of the result
    int registered = 0;
    int points = 0;
    double reprojection = 0;
};

double childrenCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

QStringList copyPhotos(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    QStringList copies;
    for (const QString& name : QDir(from).entryList({"*.jpg", "*.JPG"}, QDir::Files, QDir::Name)) {
        QFile::copy(from + '/' + name, to + '/' + name);
        QFile::setPermissions(to + '/' + name, QFile::ReadOwner | QFile::WriteOwner);
        copies << to + '/' + name;
    }
    return copies;
}

QString colmap(const QStringList& args, int timeoutMs = -1)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("colmap", args);
    p.waitForFinished(timeoutMs);
    return QString::fromLocal8Bit(p.readAll());
}

// model_analyzer's figures of a model folder.
void analyse(Result& r)
{
    const QString text = colmap({"model_analyzer", "--path", r.model});
    auto number = [&text](const QString& label) {
        const int at = text.indexOf(label);
        if (at < 0)
            return -1.0;
        QString rest = text.mid(at + label.size()).trimmed();
        rest = rest.left(rest.indexOf(QRegularExpression("[^0-9.]")));
        return rest.toDouble();
    };
    r.registered = int(number("Registered images:"));
    r.points = int(number("Points:"));
    r.reprojection = number("Mean reprojection error:");
}

// The sub-model of a mapper output folder with the most registered images.
QString largestModel(const QString& folder)
{
    QString best;
    int most = -1;
    for (const QString& k : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        Result r;
        r.model = folder + '/' + k;
        analyse(r);
        if (r.registered > most) {
            most = r.registered;
            best = r.model;
        }
    }
    return best;
}

Result runOurs(const QString& photos, const QString& appDir, const QString& site)
{
    Result r;
    const QStringList images = copyPhotos(photos, site);
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
    // The EXIF extraction the window runs before the first stage.
    QFile bat(site + "/exifExtract.bat");
    if (!bat.open(QIODevice::WriteOnly))
        return r;
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

    const double cpu = childrenCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    runner.runSparse();
    while (runner.isRunning())
        BenchSupport::waitForEvents();
    QCoreApplication::sendPostedEvents(); // the run's last lines and status on their way
    r.wall = clock.elapsed() / 1000.0;
    r.cpu = childrenCpuSeconds() - cpu;
    r.ok = window.statusBar()->currentMessage() == QLatin1String("Sparse Reconstruction is done!");
    if (!r.ok)
        for (int i = 0; i < log->count(); ++i)
            std::fprintf(stderr, "%s\n", qPrintable(log->item(i)->text()));
    r.model = largestModel(site + "/sparse_colmap/model");
    return r;
}

Result runColmap(const QString& photos, const QString& workspace)
{
    Result r;
    copyPhotos(photos, workspace + "/images");
    const double cpu = childrenCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    const QString text = colmap({"automatic_reconstructor", "--workspace_path", workspace, "--image_path",
                                 workspace + "/images", "--use_gpu", "0", "--dense", "0"});
    r.wall = clock.elapsed() / 1000.0;
    r.cpu = childrenCpuSeconds() - cpu;
    r.model = largestModel(workspace + "/sparse");
    r.ok = !r.model.isEmpty();
    if (!r.ok)
        std::fprintf(stderr, "%s\n", qPrintable(text.right(2000)));
    return r;
}

// Root mean square distance of our camera centres from COLMAP's after the
// best similarity, over the mean distance of COLMAP's centres from their middle.
double centreAgreement(const Result& ours, const Result& theirs, const QString& work)
{
    ColmapModel models[2];
    const Result* results[2] = {&ours, &theirs};
    for (int i = 0; i < 2; ++i) {
        const QString text = work + "/text" + QString::number(i);
        QDir().mkpath(text);
        colmap({"model_converter", "--input_path", results[i]->model, "--output_path", text, "--output_type",
                "TXT"});
        if (!models[i].readFolder(text.toStdString()))
            return -1;
    }
    std::map<std::string, SimilarityAlignment::Point> theirCentres;
    for (const auto& entry : models[1].images)
        theirCentres[QFileInfo(QString::fromStdString(entry.second.name)).fileName().toStdString()] =
            entry.second.centre();
    std::vector<SimilarityAlignment::Point> a, b;
    for (const auto& entry : models[0].images) {
        const auto it =
            theirCentres.find(QFileInfo(QString::fromStdString(entry.second.name)).fileName().toStdString());
        if (it == theirCentres.end())
            continue;
        a.push_back(entry.second.centre());
        b.push_back(it->second);
    }
    return SimilarityAlignment::relativeMisfit(a, b);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: sparse_chain_bench <photo folder> <application folder> <work folder>\n");
        return 2;
    }
    const QString photos = argv[1], appDir = argv[2], work = argv[3];
    QDir(work).removeRecursively();
    const int count = QDir(photos).entryList({"*.jpg", "*.JPG"}, QDir::Files).size();
    std::printf("Sparse reconstruction of %d photos (%s), %d processors\n", count, qPrintable(photos),
                QThread::idealThreadCount());
    std::fflush(stdout);

    const Result ours = runOurs(photos, appDir, work + "/orvalis");
    const Result theirs = runColmap(photos, work + "/colmap");
    if (!ours.ok || !theirs.ok) {
        std::fprintf(stderr, "a run failed: ours %s, COLMAP %s\n", ours.ok ? "ok" : "failed",
                     theirs.ok ? "ok" : "failed");
        return 1;
    }
    analyse(const_cast<Result&>(ours));
    analyse(const_cast<Result&>(theirs));
    const double agreement = centreAgreement(ours, theirs, work);

    std::printf("%-28s %12s %12s %10s\n", "", "Run Sparse", "COLMAP auto", "ratio");
    std::printf("%-28s %12.1f %12.1f %10.2f\n", "wall time [s]", ours.wall, theirs.wall,
                ours.wall / theirs.wall);
    std::printf("%-28s %12.1f %12.1f %10.2f\n", "processor time [s]", ours.cpu, theirs.cpu,
                ours.cpu / theirs.cpu);
    std::printf("%-28s %9d/%-2d %9d/%-2d\n", "registered images", ours.registered, count, theirs.registered,
                count);
    std::printf("%-28s %12d %12d %10.2f\n", "points", ours.points, theirs.points,
                double(ours.points) / double(theirs.points));
    std::printf("%-28s %12.3f %12.3f %+10.3f\n", "mean reprojection error [px]", ours.reprojection,
                theirs.reprojection, ours.reprojection - theirs.reprojection);
    std::printf("camera centres after a similarity: rms %.3f%% of their spread\n", 100 * agreement);
    return 0;
}
