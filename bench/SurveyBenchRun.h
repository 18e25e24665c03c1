// What the survey benchmarks share: a synthetic survey made once with
// surveygen, its true cameras, and "&Run Sparse" driven as the menu item
// drives it, its stages timed from the status bar and the peak memory of
// every process it starts. Header-only, like BenchSupport.h; the including
// program defines SURVEYGEN and links orvalis_ui.
#pragma once

#include <QAction>
#include <QCoreApplication>
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

#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "BenchSupport.h"
#include "ProcessTreeMemory.h"
#include "core/images/ExifExtraction.h"
#include "core/platform/ScriptProcess.h"
#include "core/project/ScanSettings.h"
#include "ui/images/MyListWidget.h"
#include "ui/log/LogView.h"
#include "ui/pipeline/ReconstructionRunner.h"

namespace surveybench
{

using Point = std::array<double, 3>;

struct Stage {
    QString name;
    double seconds = 0;
    double cpu = 0; // processor time of the processes that ended within the stage
    ProcessTreeMemory::Peak peak;
};

struct SparseRun {
    bool ok = false;
    QString failure;
    double wall = 0;
    double cpu = 0;
    ProcessTreeMemory::Peak peak;
    std::vector<Stage> stages;
    double workbenchCpu = 0; // the workbench's own main thread during the run
};

// One true camera of surveygen's truth/cameras.txt: survey coordinates.
struct TrueCamera {
    int width = 0, height = 0;
    double fx = 0;
    Point centre{};
};

inline double childrenCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

inline QString loadAverage()
{
    QFile f("/proc/loadavg");
    if (!f.open(QIODevice::ReadOnly))
        return "?";
    return QString::fromLatin1(f.readAll()).section(' ', 0, 2);
}

inline QStringList photosOf(const QString& folder)
{
    return QDir(folder).entryList({"*.jpg", "*.JPG"}, QDir::Files, QDir::Name);
}

// The blank-separated fields of a truth file's lines, comments left out.
inline std::vector<QStringList> truthLines(const QString& file)
{
    std::vector<QStringList> lines;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return lines;
    QTextStream in(&f);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (!line.startsWith('#') && !line.trimmed().isEmpty())
            lines.push_back(line.split(' ', Qt::SkipEmptyParts));
    }
    return lines;
}

// The true cameras by photo name; empty when the file is missing or short.
inline std::map<std::string, TrueCamera> readTrueCameras(const QString& file)
{
    std::map<std::string, TrueCamera> cameras;
    for (const QStringList& v : truthLines(file)) {
        if (v.size() < 10)
            continue;
        TrueCamera c;
        c.width = v[1].toInt();
        c.height = v[2].toInt();
        c.fx = v[3].toDouble();
        c.centre = {v[7].toDouble(), v[8].toDouble(), v[9].toDouble()};
        cameras[v[0].toStdString()] = c;
    }
    return cameras;
}

// A survey of count photos at size made once into the work folder; tag names
// the options beyond count and size (empty for none).
inline QString survey(const QString& work, int count, const QString& size, const QStringList& options,
                      const QString& tag, QString* error)
{
    QString folder = QString("%1/survey_%2_%3").arg(work).arg(count).arg(size);
    if (!tag.isEmpty())
        folder += '_' + tag;
    if (photosOf(folder + "/photos").size() == count &&
        int(readTrueCameras(folder + "/truth/cameras.txt").size()) == count)
        return folder;
    QDir(folder).removeRecursively();
    QDir().mkpath(work);
    std::printf("Making the survey %s …\n", qPrintable(folder));
    std::fflush(stdout);
    QProcess gen;
    gen.setProcessChannelMode(QProcess::MergedChannels);
    gen.setStandardOutputFile(folder + ".log");
    gen.start(SURVEYGEN, QStringList{folder, "--photos", QString::number(count), "--size", size} + options);
    if (!gen.waitForStarted() || !gen.waitForFinished(-1) || gen.exitStatus() != QProcess::NormalExit ||
        gen.exitCode() != 0) {
        *error = "surveygen failed (it needs an X display: run under xvfb-run); see " + folder + ".log";
        return QString();
    }
    return folder;
}

inline QStringList copyPhotos(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    QStringList copies;
    for (const QString& name : photosOf(from)) {
        QFile::copy(from + '/' + name, to + '/' + name);
        QFile::setPermissions(to + '/' + name, QFile::ReadOwner | QFile::WriteOwner);
        copies << to + '/' + name;
    }
    return copies;
}

// The stage a status bar label names, without the progress that follows
// it ("Feature detection 3/20, estimated end 08:05:33", "Matching: 40 of 120
// pairs, ...") but with the name of a count that has one ("Orthophoto and
// DSM: orthophoto 3 of 10 tiles" is "Orthophoto and DSM: orthophoto").
inline QString stageName(const QString& label)
{
    static const QRegularExpression named("^([^:]+):\\s+([A-Za-z][A-Za-z ]*?)\\s+\\d+ of ");
    const QRegularExpressionMatch m = named.match(label);
    if (m.hasMatch())
        return m.captured(1).trimmed() + ": " + m.captured(2);
    static const QRegularExpression progress("(\\s+\\d+\\s*/\\s*\\d+|:\\s).*$");
    return QString(label).remove(progress).trimmed();
}

inline void dumpLog(const QListWidget* log, const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
        return;
    for (int i = 0; i < log->count(); ++i)
        f.write((log->item(i)->text() + '\n').toUtf8());
}

// The workbench's main thread's processor time: the window, the runner and
// the reading of the tools' output, without the memory sampler's thread.
inline double mainThreadCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

// The workbench's runs as the menu items start them: "&Run Sparse",
// "&Run Dense" and "&Orthophoto and DSM" in turn on a copy of the photos in
// site, with the window's EXIF extraction and the default scan settings.
enum class Step { Sparse, Dense, OrthoDsm };

inline const char* stepName(Step s)
{
    return s == Step::Sparse ? "Run Sparse" : s == Step::Dense ? "Run Dense" : "Orthophoto and DSM";
}

// Each step runs when the one before it succeeded; a run per step tried.
inline std::vector<SparseRun> runSteps(const QString& photos, const QString& appDir, const QString& site,
                                       ProcessTreeMemory& memory, const std::vector<Step>& steps)
{
    std::vector<SparseRun> runs;
    const QStringList images = copyPhotos(photos, site);
    QMainWindow window;
    auto* log = new QListWidget(&window);
    auto* list = new MyListWidget(&window);
    ReconstructionRunner::Actions actions;
    for (auto* a : {&actions.runSparse, &actions.reRun, &actions.runDense, &actions.scanSettings, &actions.abort})
        *a = new QAction(&window);
    // The log list and the status bar take the log channel as the window's do.
    LogView::follow(log, window.statusBar());
    ReconstructionRunner runner(&window, list, appDir, actions);
    for (const QString& image : images)
        list->addImage(image, QFileInfo(image).fileName());
    // The window's EXIF extraction, which the sparse run starts and waits for.
    ScriptProcess exifProcess;
    ExifExtraction exif(&exifProcess);
    exif.setApplicationFolder(appDir);
    QElapsedTimer clock;
    double exifSeconds = -1;
    QObject::connect(&exif, &ExifExtraction::finished, [&] { exifSeconds = clock.elapsed() / 1000.0; });
    runner.setExifExtraction([&] {
        exif.start(list->imagePaths());
        return &exifProcess;
    });
    ScanSettings::global() = ScanSettings();
    ScanSettings::global().displayOutput = true; // the tools' lines into the log, kept beside the run

    QLabel* label = runner.stageLabel();
    for (const Step step : steps) {
        SparseRun r;
        memory.takePeak();
        const double cpu = childrenCpuSeconds(), ownCpu = mainThreadCpuSeconds();
        clock.start();
        exifSeconds = -1;
        QString stage = "Starting";
        double stageStart = 0, stageCpu = cpu;
        // The orthophoto runs beside the reconstruction's runs: its stage
        // label shows until it ends.
        const auto going = [&] { return step == Step::OrthoDsm ? !label->isHidden() : runner.isRunning(); };
        if (step == Step::Sparse)
            runner.runSparse();
        else if (step == Step::Dense)
            runner.runDense();
        else
            runner.runOrthoDsm();
        while (going()) {
            BenchSupport::waitForEvents();
            const QString now = stageName(label->text());
            if (!now.isEmpty() && now != stage) {
                const double t = clock.elapsed() / 1000.0;
                const double c = childrenCpuSeconds();
                r.stages.push_back({stage, t - stageStart, c - stageCpu, memory.takePeak()});
                stage = now;
                stageStart = t;
                stageCpu = c;
            }
        }
        QCoreApplication::sendPostedEvents(); // the run's last lines and status on their way
        r.wall = clock.elapsed() / 1000.0;
        r.stages.push_back({stage, r.wall - stageStart, childrenCpuSeconds() - stageCpu, memory.takePeak()});
        for (const Stage& s : r.stages)
            if (s.peak.bytes > r.peak.bytes)
                r.peak = s.peak;
        r.cpu = childrenCpuSeconds() - cpu;
        r.workbenchCpu = mainThreadCpuSeconds() - ownCpu;
        if (exifSeconds >= 0)
            r.stages.insert(r.stages.begin(),
                            {QString("(EXIF extraction ended after %1 s)").arg(exifSeconds, 0, 'f', 1), 0, 0,
                             ProcessTreeMemory::Peak()});
        const QString status = window.statusBar()->currentMessage();
        dumpLog(log, site + "/workbench.log");
        r.ok = step == Step::Sparse    ? status == QLatin1String("Sparse Reconstruction is done!")
               : step == Step::Dense ? status == QLatin1String("Dense Reconstruction is done!")
                                     : status.startsWith(QLatin1String("Orthophoto and DSM written"));
        if (!r.ok)
            r.failure = QString("%1 ended with \"%2\"; its log is %3/workbench.log")
                            .arg(stepName(step), status, site);
        runs.push_back(r);
        if (!r.ok)
            break;
    }
    return runs;
}

inline SparseRun runSparse(const QString& photos, const QString& appDir, const QString& site,
                           ProcessTreeMemory& memory)
{
    return runSteps(photos, appDir, site, memory, {Step::Sparse}).front();
}

// Runs a COLMAP command, its output appended to log; false when it fails.
inline bool colmap(const QStringList& args, const QString& log)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardOutputFile(log, QIODevice::Append);
    p.start("colmap", args);
    return p.waitForStarted() && p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit &&
           p.exitCode() == 0;
}

inline double gb(double bytes)
{
    return bytes / (1024.0 * 1024.0 * 1024.0);
}

} // namespace surveybench
