#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>

#include "core/pipeline/StageProgress.h"
#include "core/platform/ScriptProcess.h"

// "&Orthophoto and DSM": runs OrthoDsm on a pipeline folder through the
// command interpreter, hands its lines to the log as they come, its count of
// tiles with an estimated end to the status bar once a second, and judges how
// it ended (the tool's own last line says why it failed).
class OrthoDsmRunner : public QObject
{
    Q_OBJECT
public:
    OrthoDsmRunner(const QString& appDir, QObject* parent = nullptr);
    // A run still going is ended; the tool removes its partial rasters.
    ~OrthoDsmRunner() override;

    // folder: the pipeline folder (the photos' folder, where sparse.nvm and
    // the dense stage's pmvs/ lie). False with the reason when it cannot start.
    bool start(const QString& folder, QString* refusal);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // Abort: the tool stops at its next tile and removes its partial
    // rasters; one that does not stop within a few seconds is killed.
    void stop();
    QString folder() const { return m_folder; }

    // The command line as the log shows it and the interpreter runs it.
    static QString commandLine(const QString& appDir, const QString& folder);
    // Where a run on folder leaves its rasters.
    static QString dsmPath(const QString& folder);
    static QString orthophotoPath(const QString& folder);

signals:
    void logLine(const QString& line);
    // "Orthophoto and DSM: DSM 4 of 10 tiles, estimated end 10:42:17";
    // fraction: the share of the current raster done, negative while unknown.
    void progress(const QString& text, double fraction);
    // message: what the status bar and the log say.
    void finished(bool written, const QString& message);

private:
    void readOutput();
    void ended(int exitCode, QProcess::ExitStatus status);
    void showProgress();

    QString m_appDir;
    QString m_folder;
    ScriptProcess m_process;
    QByteArray m_partialLine;
    QTimer m_killTimer;
    QTimer m_progressTimer;
    StageProgress m_progress;
    QElapsedTimer m_clock;
    bool m_stopping = false;
};
