#include "ui/pipeline/SfMReconstruction.h"

#include <QAction>
#include <QFileInfo>

#include "core/images/ExifScript.h"
#include "core/log/LogLine.h"
#include "core/log/LogSink.h"
#include "core/pipeline/BundlerOptions.h"
#include "core/pipeline/BundlerScript.h"
#include "core/pipeline/CmpmvsScript.h"
#include "core/pipeline/DensePrepareScript.h"
#include "core/pipeline/DenseResults.h"
#include "core/pipeline/FocalList.h"
#include "core/pipeline/MatchPlan.h"
#include "core/pipeline/PairoloScripts.h"
#include "core/pipeline/PbaScript.h"
#include "core/pipeline/ScriptFile.h"
#include "core/pipeline/SiftLists.h"
#include "core/pipeline/SparseResults.h"
#include "core/pipeline/StageTiming.h"
#include "core/pipeline/UndistortionScript.h"
#include "core/products/ProductRecord.h"
#include "core/project/ScanSettings.h"

namespace
{

constexpr double estimatedSecondsPerFile = 3.5;
// Results older than their stage by more than this are left over from an
// earlier run (the slack covers file systems that keep whole seconds).
constexpr int resultSlackSeconds = 2;

} // namespace

SfMReconstruction::SfMReconstruction(QObject* parent, const QString& appDir, QAction* runSparse,
                                     QAction* runDense, QAction* scanSettings, QAction* abort)
    : QObject(parent), m_runSparse(runSparse), m_runDense(runDense), m_scanSettings(scanSettings),
      m_abort(abort), m_appDir(appDir)
{
    m_record.machine = MachineDescription::current();
    if (m_abort)
        m_abortConnection =
            connect(m_abort, &QAction::triggered, this, &SfMReconstruction::abortRunningProcess);

    connectProcess(m_process1, &SfMReconstruction::onProcess1Finished, &SfMReconstruction::onProcess1Output);
    connectProcess(m_process2, &SfMReconstruction::onProcess2Finished, &SfMReconstruction::onProcess2Output);
    connectProcess(m_process3, &SfMReconstruction::onProcess3Finished, &SfMReconstruction::onProcess3Output);
    connectProcess(m_process4, &SfMReconstruction::onProcess4Finished, &SfMReconstruction::onProcess4Output);
    connectProcess(m_process5, &SfMReconstruction::onProcess5Finished, &SfMReconstruction::onProcess5Output);
    connectProcess(m_process6, &SfMReconstruction::onProcess6Finished, &SfMReconstruction::onProcess6Output);

    m_progressTimer.setInterval(1000);
    connect(&m_progressTimer, &QTimer::timeout, this, &SfMReconstruction::showProgress);
}

SfMReconstruction::~SfMReconstruction()
{
    // Tools of a run still going when the window closes end with it; their
    // ends no longer reach this object.
    m_running = false;
    for (ScriptProcess* p : {&m_process1, &m_process2, &m_process3, &m_process4, &m_process5, &m_process6})
        p->disconnect(this);
    for (ScriptProcess* p : qAsConst(m_extraMatchers))
        p->disconnect(this);
    killAll();
}

void SfMReconstruction::connectProcess(ScriptProcess& process, void (SfMReconstruction::*finished)(int),
                                       void (SfMReconstruction::*output)())
{
    connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this, finished);
    connect(&process, &QProcess::readyReadStandardOutput, this, output);
    connect(&process, &QProcess::readyReadStandardError, this, output);
    connect(&process, &QProcess::errorOccurred, this, [this, &process](QProcess::ProcessError error) {
        // A process that never started sends no finished(): end the run here.
        if (error == QProcess::FailedToStart && m_running && process.state() == QProcess::NotRunning)
            fail(stageName(), process);
    });
}

const ScanSettings& SfMReconstruction::settings() const
{
    return ScanSettings::global();
}

void SfMReconstruction::log(const QString& text, LogLevel level)
{
    LogSink::write(level, text);
}

// ---- Operations of a run ------------------------------------------------------

void SfMReconstruction::setPipelineFolder(const QString& firstImage)
{
    m_layout = PipelineLayout(m_appDir, firstImage);
}

void SfMReconstruction::disableRunActions()
{
    for (QAction* a : {m_runSparse, m_runDense, m_scanSettings})
        if (a)
            a->setEnabled(false);
    if (m_abort)
        m_abort->setEnabled(true);
    m_running = true;
}

void SfMReconstruction::setImages(QStringList& fullPaths, QStringList& itemTexts)
{
    m_layout.setImages(fullPaths, itemTexts);
    fullPaths.clear();
    itemTexts.clear();
}

QList<QProcess*> SfMReconstruction::runningProcesses() const
{
    QList<QProcess*> out;
    for (const ScriptProcess* p :
         {&m_process1, &m_process2, &m_process3, &m_process4, &m_process5, &m_process6})
        if (p->state() != QProcess::NotRunning)
            out << const_cast<ScriptProcess*>(p);
    for (ScriptProcess* p : m_extraMatchers)
        if (p->state() != QProcess::NotRunning)
            out << p;
    return out;
}

void SfMReconstruction::startStage(Stage stage, const QString& script)
{
    ScriptProcess& process = this->*stepOf(stage).process;
    m_stage = stage;
    m_stageStart = QDateTime::currentDateTime();
    if (stage != m_timedStage) {
        closeStageTime();
        m_timedStage = stage;
        m_timedSince = m_stageStart;
    }
    m_stageProgress = StageProgress(m_stageStart);
    // Separate channels: a failing tool's reason is the last line of the error
    // output; merged, a script's closing ECHO would stand in its place.
    process.setProcessChannelMode(QProcess::SeparateChannels);
    showProgress();
    // The status bar changes once a second at most: each change recomposes
    // the window, which holds the 3D view, on the processor.
    m_progressTimer.start();
    process.startScript(m_appDir, script);
}

void SfMReconstruction::closeStageTime()
{
    if (m_timedStage != Stage::None)
        m_stageTimes.append(
            {nameOf(m_timedStage), m_timedSince.msecsTo(QDateTime::currentDateTime()) / 1000.0});
    m_timedStage = Stage::None;
}

const SfMReconstruction::StageStep& SfMReconstruction::stepOf(Stage stage)
{
    using S = SfMReconstruction;
    // clang-format off
    static const StageStep steps[] = {
        {Stage::None, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, Stage::None},
        // The extraction is the window's process; the run waits for it (continueAfterExif).
        {Stage::Exif, QT_TR_NOOP("Extracting EXIF"), nullptr, nullptr, nullptr,
         &S::showExifProgress, &S::readToolLines, nullptr, Stage::None},
        {Stage::Undistortion, QT_TR_NOOP("Undistortion"), &S::m_process6, &S::startUndistortion, nullptr,
         &S::showUndistortionProgress, &S::readToolLines, &S::undistortionDone, Stage::Features},
        // Counted by the feature files that appear: its batches run one after
        // the other, each counting its lines from nought.
        {Stage::Features, QT_TR_NOOP("Feature detection"), &S::m_process1, &S::startFeatureDetection,
         &S::missingFeatures, &S::showFeatureProgress, nullptr, &S::featuresDone, Stage::Matching},
        // m_process2 runs the last batch; the others have processes of their own.
        {Stage::Matching, QT_TR_NOOP("Matching"), &S::m_process2, &S::startMatching, &S::missingMatchTables,
         &S::showToolProgress, &S::readToolLines, &S::matchingDone, Stage::BundleAdjustment},
        {Stage::BundleAdjustment, QT_TR_NOOP("Bundle adjustment"), &S::m_process3, &S::startBundleAdjustment,
         &S::missingSparseResult, &S::showToolProgress, &S::readToolLines, &S::sparseDone, Stage::None},
        {Stage::DensePrepare, QT_TR_NOOP("Dense preparation"), &S::m_process4, &S::startDensePreparation,
         &S::missingPreparation, &S::showToolProgress, &S::readToolLines, &S::preparationDone, Stage::Dense},
        {Stage::Dense, QT_TR_NOOP("Dense"), &S::m_process5, &S::startDenseMatching, &S::missingDenseModels,
         &S::showToolProgress, &S::readToolLines, &S::denseDone, Stage::None},
    };
    // clang-format on
    for (const StageStep& step : steps)
        if (step.stage == stage)
            return step;
    return steps[0];
}

QString SfMReconstruction::stageName() const
{
    return nameOf(m_stage);
}

QString SfMReconstruction::nameOf(Stage stage)
{
    const char* name = stepOf(stage).name;
    return name ? tr(name) : QString();
}

void SfMReconstruction::showProgress()
{
    if (const auto show = stepOf(m_stage).show)
        (this->*show)();
}

void SfMReconstruction::showToolProgress()
{
    emit progress(m_stageProgress.text(stageName()), m_stageProgress.known() ? m_stageProgress.fraction() : -1.0);
}

void SfMReconstruction::startStep(Stage stage)
{
    (this->*stepOf(stage).start)();
}

void SfMReconstruction::stageFinished(Stage stage, ScriptProcess& process)
{
    if (!m_running || m_stage != stage)
        return;
    const StageStep& step = stepOf(stage);
    // Feature detection's end is timed whether it succeeded or not.
    if (stage == Stage::Features)
        endFeatureTiming();
    if (!process.succeeded()) {
        fail(stageName(), process);
        return;
    }
    // Under cmd.exe a script's exit code tells little (it ends with an ECHO):
    // the stage is judged by what it left.
    const QString missing = step.missing ? (this->*step.missing)() : QString();
    if (!missing.isEmpty()) {
        fail(stageName(), process, missing);
        return;
    }
    (this->*step.done)();
    if (step.next != Stage::None)
        startStep(step.next);
}

void SfMReconstruction::showUndistortionProgress()
{
    // One undistorter run per photo: the photos it has kept count them.
    for (int i = m_undistortPending.size() - 1; i >= 0; --i)
        if (QFileInfo::exists(PipelineLayout::toLocal(UndistortionScript::keptCopy(m_undistortPending[i]))))
            m_undistortPending.removeAt(i);
    if (m_undistortTotal > 0)
        m_stageProgress.set({QString(), m_undistortTotal - int(m_undistortPending.size()), m_undistortTotal,
                             QStringLiteral("photos")},
                            QDateTime::currentDateTime());
    emit progress(m_stageProgress.text(stageName()),
                  m_stageProgress.known() ? m_stageProgress.fraction() : -1.0);
}

void SfMReconstruction::readProgress(const QString& text, int source)
{
    if (const auto parse = stepOf(m_stage).parse)
        (this->*parse)(text, source);
}

void SfMReconstruction::readToolLines(const QString& text, int source)
{
    m_stageProgress.readAll(text, QDateTime::currentDateTime(), source);
}

void SfMReconstruction::showFeatureProgress()
{
    for (int i = m_featuresPending.size() - 1; i >= 0; --i)
        if (QFileInfo::exists(PipelineLayout::toLocal(m_featuresPending[i])))
            m_featuresPending.removeAt(i);
    const int total = m_featuresToCompute.size();
    const int done = total - m_featuresPending.size();
    // The stage's estimate until files arrive, then the pace they arrive at.
    const double seconds = done > 0
                               ? m_record.start.msecsTo(QDateTime::currentDateTime()) / 1000.0 * total / done
                               : total * estimatedSecondsPerFile;
    const QString end =
        m_record.start.addMSecs(qint64(seconds * 1000)).time().toString(QStringLiteral("hh:mm:ss"));
    emit progress(tr("Feature detection %1/%2, estimated end %3").arg(done).arg(total).arg(end),
                  total > 0 ? double(done) / total : -1.0);
}

void SfMReconstruction::showExifProgress()
{
    for (int i = m_exifPending.size() - 1; i >= 0; --i)
        if (ExifScript::hasXml(m_exifPending[i]))
            m_exifPending.removeAt(i);
    const int done = m_exifTotal - m_exifPending.size();
    emit progress(tr("Extracting EXIF %1/%2").arg(done).arg(m_exifTotal),
                  m_exifTotal > 0 ? double(done) / m_exifTotal : -1.0);
}

void SfMReconstruction::showOutput(ScriptProcess& process, bool display)
{
    const QString text = process.takeOutput();
    readProgress(text, &process == &m_process2 ? m_layout.processCount() - 1 : 0);
    if (!display || !settings().displayOutput || text.isEmpty())
        return;
    log(text + QLatin1Char('\n'));
}

void SfMReconstruction::onProcess1Output()
{
    showOutput(m_process1, true);
}
void SfMReconstruction::onProcess2Output()
{
    showOutput(m_process2, true);
}
void SfMReconstruction::onProcess3Output()
{
    showOutput(m_process3, !m_rerun);
}
void SfMReconstruction::onProcess4Output()
{
    showOutput(m_process4, true);
}
void SfMReconstruction::onProcess5Output()
{
    showOutput(m_process5, true);
}
void SfMReconstruction::onProcess6Output()
{
    showOutput(m_process6, true);
}

// ---- Sparse chain -----------------------------------------------------------------

void SfMReconstruction::startSparse(QProcess* exifExtraction)
{
    if (!m_running)
        disableRunActions();
    if (exifExtraction && exifExtraction->state() != QProcess::NotRunning) {
        // The extraction's XML files come before the tools; wait for its end
        // without holding up the window.
        m_stage = Stage::Exif;
        m_exif = exifExtraction;
        m_exifConnection =
            connect(exifExtraction, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
                    &SfMReconstruction::continueAfterExif);
        m_exifPending = ExifScript::missingXml(m_layout.imagePaths());
        m_exifTotal = m_exifPending.size();
        showProgress();
        m_progressTimer.start();
        return;
    }
    startFirstSparseStage();
}

void SfMReconstruction::continueAfterExif()
{
    disconnect(m_exifConnection);
    m_progressTimer.stop();
    m_exif = nullptr;
    // Photos the extraction could not read go on without EXIF: the tools
    // guess their focal length and pair them by their features.
    if (m_running && m_stage == Stage::Exif)
        startFirstSparseStage();
}

void SfMReconstruction::startFirstSparseStage()
{
    startStep(settings().undistortMethod == QLatin1String("None") ? Stage::Features : Stage::Undistortion);
}

void SfMReconstruction::startUndistortion()
{
    if (!writeUndistortion()) {
        endRun(false, QStringLiteral("Undistortion bat file creation failed \n"));
        return;
    }
    log(QStringLiteral("Undistortion bat file created \n"));
    m_undistortPending.clear();
    for (const QString& image : m_layout.imagePaths())
        if (!QFileInfo::exists(PipelineLayout::toLocal(UndistortionScript::keptCopy(image))))
            m_undistortPending << image;
    m_undistortTotal = m_undistortPending.size();
    startStage(Stage::Undistortion, m_layout.file(QLatin1String(UndistortionScript::fileName)));
}

bool SfMReconstruction::writeUndistortion()
{
    const ScanSettings& s = settings();
    // Only OpenCV has an undistortion script.
    if (s.undistortMethod != QLatin1String("OpenCV"))
        return false;
    if (!UndistortionScript::calibrationSet(s)) {
        log(QStringLiteral(
            "Please make sure to set non zero values to fx,fy,cx and cy in Scan settings window"));
        return false;
    }
    return ScriptFile::write(m_layout.file(QLatin1String(UndistortionScript::fileName)),
                             UndistortionScript::text(m_layout, s));
}

void SfMReconstruction::onProcess6Finished(int)
{
    stageFinished(Stage::Undistortion, m_process6);
}

void SfMReconstruction::undistortionDone()
{
    log(QStringLiteral("Undistortion bat file executed"));
}

void SfMReconstruction::startFeatureDetection()
{
    // The first stage of a run without undistortion says so with a blank.
    const QString suffix =
        settings().undistortMethod == QLatin1String("None") ? QStringLiteral(" \n") : QString();
    if (!prepareFeatureDetection()) {
        endRun(false, QStringLiteral("SIFTGPU bat file creation failed") + suffix);
        return;
    }
    log(QStringLiteral("SIFTGPU bat file created") + suffix);
    startStage(Stage::Features, m_layout.file(QLatin1String(SiftLists::scriptName)));
    if (!m_running)
        return;
    m_progressTimer.start();
}

bool SfMReconstruction::prepareFeatureDetection()
{
    const ScanSettings& s = settings();
    m_record.start = QDateTime::currentDateTime();
    m_record.startTime = StageTiming::clockText(m_record.start.time());
    m_record.startDate = m_record.start.date().toString(QStringLiteral("dd.MM.yyyy"));
    m_record.estimatedPerFile = estimatedSecondsPerFile;
    m_record.processCount = m_layout.processCount();
    m_record.stage = QStringLiteral("SIFT");
    m_record.tool = QStringLiteral("siftGPU");
    LogLine() << m_record.startTime.toStdString() << " " << m_record.startDate.toStdString() << std::endl;

    log(FocalList::write(m_layout, s) ? QStringLiteral("listfocal text file created")
                                      : QStringLiteral("listfocal text file creation failed"));

    m_featuresToCompute = SiftLists::missingFeatures(m_layout);
    m_featuresPending = m_featuresToCompute;
    m_record.files = m_featuresToCompute.size();
    log(QStringLiteral("Total Sift Files: ") + QString::number(m_record.files));
    log(QStringLiteral("Estimated time per file: ") + QString::number(estimatedSecondsPerFile));
    for (const QString& line :
         StageTiming::estimateLines(m_record.startTime, m_record.files * estimatedSecondsPerFile))
        log(line);

    SiftLists::writeLists(m_layout, m_featuresToCompute);
    log(QStringLiteral("siftlist text file created"));
    return ScriptFile::write(m_layout.file(QLatin1String(SiftLists::scriptName)),
                             SiftLists::scriptText(m_layout));
}

void SfMReconstruction::onProcess1Finished(int)
{
    stageFinished(Stage::Features, m_process1);
}

void SfMReconstruction::endFeatureTiming()
{
    m_progressTimer.stop();
    m_record.end = QDateTime::currentDateTime();
    m_record.endTime = StageTiming::clockText(m_record.end.time());
    m_record.endDate = m_record.end.date().toString(QStringLiteral("dd.MM.yyyy"));
    log(QStringLiteral("Ended at: ") + m_record.endTime + QLatin1Char(' ') + m_record.endDate);
    for (const QString& line : StageTiming::finish(m_record))
        log(line);
}

QString SfMReconstruction::missingFeatures() const
{
    QStringList missing;
    for (const QString& feature : m_featuresToCompute)
        if (!QFileInfo::exists(PipelineLayout::toLocal(feature)))
            missing << feature;
    if (missing.isEmpty())
        return QString();
    return missing.size() == 1 ? missing.first()
                               : tr("%1 and %2 more").arg(missing.first()).arg(missing.size() - 1);
}

void SfMReconstruction::featuresDone()
{
    // Said once the detector has really run, not when it was started.
    log(QStringLiteral("SiftGpu bat file executed"));
}

void SfMReconstruction::startMatching()
{
    const MatchPlan plan = MatchPlan::choose(m_layout);
    log(plan.incremental() ? QStringLiteral("Matching From GPS") : QStringLiteral("Matching All"));
    plan.writeLists(m_layout);
    const int n = m_layout.processCount();
    m_matchFiles.clear();
    m_gpuMatchFiles.clear();
    for (int i = 0; i < n; ++i) {
        ScriptFile::write(m_layout.file(PairoloScripts::scriptName(i)), PairoloScripts::text(m_layout, i));
        m_matchFiles << PairoloScripts::matchFile(m_layout, i);
        m_gpuMatchFiles << PairoloScripts::gpuMatchFile(m_layout, i);
    }
    log(QStringLiteral("RunPairolo bat file created"));

    m_matchersLeft = n;
    m_stage = Stage::Matching;
    m_stageStart = QDateTime::currentDateTime();
    for (int i = 0; i + 1 < n; ++i) {
        auto* p = new ScriptProcess(this);
        m_extraMatchers << p;
        p->setProcessChannelMode(QProcess::SeparateChannels);
        connect(p, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
                [this, p, i] { matcherFinished(*p, i); });
        // Their output is not shown; it is read for its progress and to keep its end.
        connect(p, &QProcess::readyReadStandardOutput, this,
                [this, p, i] { readProgress(p->takeOutput(), i); });
        connect(p, &QProcess::readyReadStandardError, this,
                [this, p, i] { readProgress(p->takeOutput(), i); });
        connect(p, &QProcess::errorOccurred, this, [this, p](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart && m_running && m_stage == Stage::Matching)
                fail(stageName(), *p);
        });
        p->startScript(m_appDir, m_layout.file(PairoloScripts::scriptName(i)));
    }
    startStage(Stage::Matching, m_layout.file(PairoloScripts::scriptName(n - 1)));
}

void SfMReconstruction::onProcess2Finished(int)
{
    matcherFinished(m_process2, m_layout.processCount() - 1);
}

void SfMReconstruction::matcherFinished(ScriptProcess& process, int batch)
{
    if (!m_running || m_stage != Stage::Matching)
        return;
    if (&process == &m_process2)
        LogLine() << "First Match Process  Finished\n" << std::flush;
    else
        LogLine() << "Match Process " << batch + 1 << " Finished\n" << std::flush;
    if (!process.succeeded()) {
        fail(tr("Matching (batch %1)").arg(batch), process);
        return;
    }
    if (--m_matchersLeft > 0)
        return;
    stageFinished(Stage::Matching, process);
}

QString SfMReconstruction::missingMatchTables() const
{
    for (const QStringList* files : {&m_matchFiles, &m_gpuMatchFiles})
        for (const QString& f : *files)
            // An incremental run may keep a batch's tables of the run before.
            if (!QFileInfo::exists(PipelineLayout::toLocal(f)))
                return f;
    return QString();
}

void SfMReconstruction::matchingDone()
{
    // One of them may be the sender of this call.
    for (ScriptProcess* p : qAsConst(m_extraMatchers))
        p->deleteLater();
    m_extraMatchers.clear();
    // The tables hold this run's images now; the next run matches only those added.
    if (!FocalList::recordMatched(m_layout))
        log(tr("Cannot write %1: the next run matches every image again")
                .arg(m_layout.nativeFile(QLatin1String(FocalList::oldFileName))));
    log(QStringLiteral("RunPairolo bat file executed"));
    log(ScriptFile::write(m_layout.file(QLatin1String(BundlerOptions::fileName)),
                          BundlerOptions::text(m_layout))
            ? QStringLiteral("options text file created")
            : QStringLiteral("options text file creation failed"));
}

void SfMReconstruction::startBundleAdjustment()
{
    const ScanSettings& s = settings();
    const QString script = QLatin1String(s.usesBundler() ? BundlerScript::fileName : PbaScript::fileName);
    const QByteArray text = s.usesBundler() ? BundlerScript::text(m_layout)
                                            : PbaScript::text(m_layout, s, m_matchFiles, m_gpuMatchFiles);
    // Bundler reads the joined table, which its script does not make (the PBA
    // script does): one left by an earlier run would number other images.
    QString error;
    if (s.usesBundler() && !PairoloScripts::joinTables(
                               m_matchFiles, m_layout.file(QStringLiteral("matches.init.txt")), &error)) {
        endRun(false, tr("Bundle adjustment not started: %1").arg(error));
        return;
    }
    if (!ScriptFile::write(m_layout.file(script), text)) {
        endRun(false, s.bundleAdjustment + QStringLiteral(" bat file creation failed"));
        return;
    }
    log(s.bundleAdjustment + QStringLiteral(" bat file created"));
    startStage(Stage::BundleAdjustment, m_layout.file(script));
}

void SfMReconstruction::reRunBundler()
{
    const ScanSettings& s = settings();
    if (!m_running)
        disableRunActions();
    // Bundler has no rerun script.
    if (s.usesBundler()) {
        endRun(false, s.bundleAdjustment + QStringLiteral(" bat file creation failed"));
        return;
    }
    FocalList::write(m_layout, s);
    if (!ScriptFile::write(m_layout.file(QLatin1String(PbaScript::rerunFileName)),
                           PbaScript::rerunText(m_layout, s))) {
        endRun(false, s.bundleAdjustment + QStringLiteral(" bat file creation failed"));
        return;
    }
    log(s.bundleAdjustment + QStringLiteral(" bat file created"));
    m_rerun = true;
    disconnect(&m_process3, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
               &SfMReconstruction::onProcess3Finished);
    connect(&m_process3, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &SfMReconstruction::onRerunFinished);
    startStage(Stage::BundleAdjustment, m_layout.file(QLatin1String(PbaScript::rerunFileName)));
}

void SfMReconstruction::onProcess3Finished(int)
{
    stageFinished(Stage::BundleAdjustment, m_process3);
}

void SfMReconstruction::onRerunFinished(int)
{
    stageFinished(Stage::BundleAdjustment, m_process3);
}

QString SfMReconstruction::missingSparseResult() const
{
    const QString result = SparseResults::resultOf(settings());
    return written(m_layout.file(result)) ? QString() : m_layout.nativeFile(result);
}

void SfMReconstruction::sparseDone()
{
    const ScanSettings& s = settings();
    log(s.bundleAdjustment + QStringLiteral(" bat file executed"));
    closeStageTime();
    for (const QString& line : SparseResults::finish(m_layout, s, m_stageTimes))
        log(line);
    endRun(true, QStringLiteral("Sparse Reconstruction is done!"));
    emit resultsWritten(QLatin1String(ProductRecord::sparse), m_layout.pipelineFolder());
    if (s.bundleAdjustment == QLatin1String("MPBA") &&
        QFileInfo::exists(m_layout.file(QStringLiteral("sparse.nvm")))) {
        m_sparseFile.setFileName(m_layout.file(QStringLiteral("sparse.nvm")));
        emit sparseNVMFinished(&m_sparseFile);
    }
}

// ---- Dense chain --------------------------------------------------------------------

bool SfMReconstruction::startDense()
{
    const ScanSettings& s = settings();
    const bool present = s.usesBundler()
                             ? QFileInfo::exists(m_layout.file(QLatin1String(FocalList::fileName))) &&
                                   QFileInfo::exists(m_layout.file(QStringLiteral("bundle/bundle.out")))
                             : QFileInfo::exists(m_layout.file(QStringLiteral("sparse.nvm")));
    if (!present) {
        endRun(false, QStringLiteral("Run Sparse should be triggered first"));
        return false;
    }
    disableRunActions();
    m_denseStart = QDateTime::currentDateTime();
    // What the dense clouds are made from, as it is now; an earlier run's
    // record no longer describes the folder once the preparation clears it.
    const QString folder = m_layout.pipelineFolder();
    m_denseRecord = ProductRecord::make(
        folder, QLatin1String(ProductRecord::dense),
        s.usesBundler() ? QStringList{QLatin1String(FocalList::fileName), QStringLiteral("bundle/bundle.out")}
                        : QStringList{QStringLiteral("sparse.nvm")},
        {}, s.denseReconstruction);
    QFile::remove(ProductRecord::fileOf(folder, QLatin1String(ProductRecord::dense)));
    startStep(Stage::DensePrepare);
    return m_running;
}

void SfMReconstruction::startDensePreparation()
{
    const ScanSettings& s = settings();
    const QString prepare = QStringLiteral("prepare_") + s.denseReconstruction;
    const QString script = m_layout.file(DensePrepareScript::fileName(s));
    if (!ScriptFile::write(script, DensePrepareScript::text(m_layout, s))) {
        endRun(false, prepare + QStringLiteral(" bat file creation failed \n"));
        return;
    }
    startStage(Stage::DensePrepare, script);
    if (!m_running)
        return;
    log(prepare + QStringLiteral(" bat file created \n"));
}

void SfMReconstruction::onProcess4Finished(int)
{
    stageFinished(Stage::DensePrepare, m_process4);
}

QString SfMReconstruction::missingPreparation() const
{
    return DenseResults::missingPreparation(m_layout, settings(), [this](const QString& f) { return written(f); });
}

void SfMReconstruction::preparationDone()
{
    log(QStringLiteral("prepare_") + settings().denseReconstruction + QStringLiteral(" bat file executed"));
}

void SfMReconstruction::startDenseMatching()
{
    if (settings().usesPmvs()) {
        startStage(Stage::Dense, m_layout.file(QLatin1String(DenseResults::pmvsAllScript)));
        return;
    }
    if (!ScriptFile::write(m_layout.file(QLatin1String(CmpmvsScript::fileName)),
                           CmpmvsScript::text(m_layout))) {
        endRun(false, QStringLiteral("RunCMPMVS bat file creation failed"));
        return;
    }
    if (!ScriptFile::write(m_layout.file(QLatin1String(CmpmvsScript::iniFileName)),
                           CmpmvsScript::iniText(m_layout))) {
        log(QStringLiteral("mvs.ini file creation failed"));
        endRun(false, QStringLiteral("RunCMPMVS bat file created"));
        return;
    }
    startStage(Stage::Dense, m_layout.file(QLatin1String(CmpmvsScript::fileName)));
    if (!m_running)
        return;
    log(QStringLiteral("mvs.ini file created"));
    log(QStringLiteral("RunCMPMVS bat file created"));
}

void SfMReconstruction::onProcess5Finished(int)
{
    stageFinished(Stage::Dense, m_process5);
}

QString SfMReconstruction::missingDenseModels() const
{
    return DenseResults::missingModels(m_layout, settings(), [this](const QString& f) { return written(f); });
}

void SfMReconstruction::denseDone()
{
    const bool pmvs = settings().usesPmvs();
    log(pmvs ? QStringLiteral("pmvs_all bat file executed") : QStringLiteral("runCMPMVS bat file executed"));
    recordDense(DenseResults::outputs(m_layout, settings()));
    log(DenseResults::timeLine(m_denseStart.msecsTo(QDateTime::currentDateTime()) / 1000.0,
                               m_layout.imagePaths().size()));
    if (pmvs)
        emit densepmvsFinished(DenseResults::patches(m_layout));
    endRun(true, QStringLiteral("Dense Reconstruction is done!"));
    emit resultsWritten(QLatin1String(ProductRecord::dense), m_layout.pipelineFolder());
}

void SfMReconstruction::recordDense(const QStringList& outputs)
{
    const QString folder = m_layout.pipelineFolder();
    ProductRecord record = m_denseRecord;
    record.outputs = ProductRecord::make(folder, record.stage, {}, outputs).outputs;
    record.made = QDateTime::currentDateTimeUtc();
    QString error;
    if (!record.write(folder, &error))
        log(tr("The record of what the dense clouds were made from was not written: %1").arg(error));
}

// ---- Ends of a run -------------------------------------------------------------------

bool SfMReconstruction::written(const QString& fileName) const
{
    const QFileInfo info(fileName);
    return info.exists() && info.lastModified() >= m_stageStart.addSecs(-resultSlackSeconds);
}

void SfMReconstruction::fail(const QString& stage, ScriptProcess& process, const QString& missing)
{
    // What the run printed last may not have been read yet (shown as the
    // output slots show it: not for the extra matchers, nor the rerun).
    showOutput(process, !m_extraMatchers.contains(&process) && !(m_rerun && &process == &m_process3));
    const bool started = process.error() != QProcess::FailedToStart;
    QString message =
        tr("%1 failed (%2)")
            .arg(stage, started ? process.exitText() : tr("could not start %1").arg(process.program()));
    QStringList reasons;
    // A run that ended well printed no failure of its own: its error lines
    // are those of clean-up commands, not the cause.
    if (started && !process.succeeded() && !process.lastErrorLine().isEmpty())
        reasons << process.lastErrorLine();
    if (!missing.isEmpty())
        reasons << tr("missing %1").arg(missing);
    if (!reasons.isEmpty())
        message += QStringLiteral(": ") + reasons.join(QStringLiteral("; "));
    killAll();
    endRun(false, message);
}

void SfMReconstruction::killAll()
{
    m_progressTimer.stop();
    disconnect(m_exifConnection);
    if (m_exif && m_exif->state() != QProcess::NotRunning) {
        if (auto* script = qobject_cast<ScriptProcess*>(m_exif.data()))
            script->killTree();
        else
            m_exif->kill();
    }
    m_exif = nullptr;
    for (ScriptProcess* p : {&m_process1, &m_process2, &m_process3, &m_process4, &m_process5, &m_process6})
        p->killTree();
    for (ScriptProcess* p : m_extraMatchers)
        p->killTree();
}

void SfMReconstruction::abortRunningProcess()
{
    if (!m_running)
        return;
    const bool bundleAdjusting = m_process3.state() != QProcess::NotRunning;
    killAll();
    if (bundleAdjusting) {
        // What the adjustment had begun to write; a result of an earlier run stays.
        const QString partial = m_layout.file(SparseResults::resultOf(settings()));
        if (written(partial))
            QFile::remove(partial);
    }
    endRun(false, QStringLiteral("Current process is stopped"));
}

void SfMReconstruction::endRun(bool success, const QString& message)
{
    log(message, success ? LogLevel::Info : LogLevel::Error);
    m_running = false;
    m_stage = Stage::None;
    m_progressTimer.stop();
    // An extraction that outlived a finished run is no longer this run's to stop.
    m_exif = nullptr;
    for (QAction* a : {m_runSparse, m_runDense, m_scanSettings})
        if (a)
            a->setEnabled(true);
    if (m_abort)
        m_abort->setEnabled(false);
    // Later runs have pipelines of their own; this one no longer answers Abort.
    disconnect(m_abortConnection);
    emit runEnded(success, message);
}
