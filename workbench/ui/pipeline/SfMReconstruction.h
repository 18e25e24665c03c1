#pragma once

#include <QDateTime>
#include <QFile>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include "core/georef/AccuracyReport.h"
#include "core/log/LogLevel.h"
#include "core/pipeline/PipelineLayout.h"
#include "core/pipeline/StageProgress.h"
#include "core/pipeline/StageRecord.h"
#include "core/platform/ScriptProcess.h"
#include "core/products/ProductRecord.h"

class QAction;
struct ScanSettings;

// One run of the reconstruction tool chain: writes the scripts and lists of
// each stage into the pipeline folder, runs them through the command
// interpreter and goes on to the next stage when one has finished and left
// its results. Sparse: [undistortion ->] feature detection -> matching ->
// bundle adjustment; or the bundle adjustment again; dense: prepare -> PMVS
// or CMPMVS. A stage that fails, or Abort, ends the run and gives the run
// actions back. Its messages go to the log channel (core/log/LogSink), one
// line per message, which the window's "Log View" subscribes to.
class SfMReconstruction : public QObject
{
    Q_OBJECT
public:
    SfMReconstruction(QObject* parent, const QString& appDir, QAction* runSparse, QAction* runDense,
                      QAction* scanSettings, QAction* abort);
    ~SfMReconstruction() override;

    // The operations of a run, in this order: the folder from the first
    // image's full path; the run actions off and Abort on; the images (both
    // lists are emptied); then startSparse() or reRunBundler(). startDense()
    // turns the actions itself, once the sparse result is found.
    void setPipelineFolder(const QString& firstImage);
    void disableRunActions();
    void setImages(QStringList& fullPaths, QStringList& itemTexts);

    // Waits for exifExtraction to end (when given and running; without
    // blocking, as long as it takes: the tools need its focal lengths and
    // positions), then undistortion or feature detection. Abort stops it.
    void startSparse(QProcess* exifExtraction = nullptr);
    // False, with a log line, when there is no sparse result to densify or
    // the prepare script cannot be written.
    bool startDense();

    bool isRunning() const { return m_running; }
    PipelineLayout& layout() { return m_layout; }
    const StageRecord& stageRecord() const { return m_record; }
    // The processes of the run still going, for those who must wait on them.
    QList<QProcess*> runningProcesses() const;

signals:
    void sparseNVMFinished(QFile* f);
    void densepmvsFinished(QStringList lf);
    // What runs now, for the status bar, at most once a second: "Feature
    // detection 3/12, ...", "Matching: 40 of 120 pairs, estimated end
    // 10:42:17", ...; fraction: the share of the stage done, 0 to 1, or
    // negative while it is not known.
    void progress(const QString& text, double fraction);
    // The run is over; message is its last log line.
    void runEnded(bool success, const QString& message);
    // A stage's results are written in the pipeline folder (after runEnded):
    // stage is ProductRecord's name of it ("sparse", "dense").
    void resultsWritten(const QString& stage, const QString& folder);

public slots:
    void onProcess1Finished(int exitCode);
    void onProcess1Output();
    void onProcess2Finished(int exitCode);
    void reRunBundler();
    void onProcess2Output();
    void onProcess3Finished(int exitCode);
    void onRerunFinished(int exitCode);
    void onProcess3Output();
    void onProcess4Finished(int exitCode);
    void onProcess4Output();
    void onProcess5Finished(int exitCode);
    void onProcess5Output();
    void onProcess6Finished(int exitCode);
    void onProcess6Output();
    void abortRunningProcess();

private:
    enum class Stage { None, Exif, Undistortion, Features, Matching, BundleAdjustment, DensePrepare, Dense };

    // A stage of the tool chain as the run drives it: how it starts, which
    // process runs its script, what it must leave, how its progress is read
    // and shown, what follows once it has left its results, and the next stage.
    struct StageStep
    {
        Stage stage;
        const char* name; // untranslated
        ScriptProcess SfMReconstruction::*process;
        // Writes the stage's scripts and lists and starts its process, or ends
        // the run saying what could not be written.
        void (SfMReconstruction::*start)();
        // The first result missing once the process has ended well, or empty;
        // nullptr: the stage is judged by its exit code alone.
        QString (SfMReconstruction::*missing)() const;
        void (SfMReconstruction::*show)();
        // Reads the tools' progress lines in a block of their output; nullptr:
        // the stage is counted otherwise.
        void (SfMReconstruction::*parse)(const QString& text, int source);
        // What is said and done after the stage left its results.
        void (SfMReconstruction::*done)();
        Stage next; // None: the run ends with this stage
    };
    static const StageStep& stepOf(Stage stage);
    void startStep(Stage stage);
    // The common end of every stage's process: the run goes on to the next
    // stage, or ends with the stage's failure.
    void stageFinished(Stage stage, ScriptProcess& process);

    const ScanSettings& settings() const;
    void log(const QString& text, LogLevel level = LogLevel::Info);
    void showOutput(ScriptProcess& process, bool display);
    void connectProcess(ScriptProcess& process, void (SfMReconstruction::*finished)(int),
                        void (SfMReconstruction::*output)());
    // Starts the script in the process of the stage's step.
    void startStage(Stage stage, const QString& script);
    QString stageName() const;
    static QString nameOf(Stage stage);
    // Adds the time the stage being timed took to m_stageTimes.
    void closeStageTime();
    void showProgress();
    void showToolProgress();
    void showFeatureProgress();
    void showExifProgress();
    void showUndistortionProgress();
    // The tools' progress lines in a block of their output; source tells
    // the matcher batches apart.
    void readProgress(const QString& text, int source);
    void readToolLines(const QString& text, int source);

    void continueAfterExif();
    void startFirstSparseStage();
    void startUndistortion();
    bool writeUndistortion();
    void undistortionDone();
    void startFeatureDetection();
    bool prepareFeatureDetection();
    void endFeatureTiming();
    QString missingFeatures() const;
    void featuresDone();
    void startMatching();
    void matcherFinished(ScriptProcess& process, int batch);
    QString missingMatchTables() const;
    void matchingDone();
    void startBundleAdjustment();
    QString missingSparseResult() const;
    void sparseDone();
    void startDensePreparation();
    QString missingPreparation() const;
    void preparationDone();
    void startDenseMatching();
    QString missingDenseModels() const;
    void denseDone();
    void recordDense(const QStringList& outputs);

    // A result of the current stage: present and written since the stage began.
    bool written(const QString& fileName) const;
    // Ends the run with the stage, how the process ended, the failing tool's
    // own reason (its last error line) and the result found missing.
    void fail(const QString& stage, ScriptProcess& process, const QString& missing = QString());
    void killAll();
    void endRun(bool success, const QString& message);

    QAction* m_runSparse;
    QAction* m_runDense;
    QAction* m_scanSettings;
    QAction* m_abort;
    QMetaObject::Connection m_abortConnection;

    PipelineLayout m_layout;
    QString m_appDir;
    bool m_running = false;
    bool m_rerun = false;
    Stage m_stage = Stage::None;
    QDateTime m_stageStart;
    // The time each stage of this run took, for the accuracy report; a
    // stage of several scripts (the matcher's batches) counts as one.
    QVector<AccuracyReport::Stage> m_stageTimes;
    Stage m_timedStage = Stage::None;
    QDateTime m_timedSince;
    QDateTime m_denseStart; // the dense stage's time includes the preparation
    StageRecord m_record;

    QStringList m_featuresToCompute;
    QStringList m_featuresPending; // not on disk yet, for the progress count
    QStringList m_undistortPending; // photos the undistorter has not done yet
    int m_undistortTotal = 0;
    QStringList m_matchFiles;      // per batch, native
    QStringList m_gpuMatchFiles;
    QList<ScriptProcess*> m_extraMatchers; // every batch but the last; owned
    int m_matchersLeft = 0;

    QPointer<QProcess> m_exif; // until it has ended
    QMetaObject::Connection m_exifConnection;
    QStringList m_exifPending; // photos whose XML file is not there yet, for the progress count
    int m_exifTotal = 0;
    QTimer m_progressTimer;
    StageProgress m_stageProgress; // of the running stage, from its tools' lines
    QFile m_sparseFile;
    ProductRecord m_denseRecord; // its inputs as the dense run found them

    ScriptProcess m_process1; // SIFTGPU.bat
    ScriptProcess m_process2; // the last matcher batch
    ScriptProcess m_process3; // bundle adjustment
    ScriptProcess m_process4; // dense prepare
    ScriptProcess m_process5; // PMVS or CMPMVS
    ScriptProcess m_process6; // undistortion.bat
};
