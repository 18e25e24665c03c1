#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

#include "ui/pipeline/SfMReconstruction.h"

class MyListWidget;
class OrthoDsmRunner;
class QAction;
class QFile;
class QLabel;
class QMainWindow;
class QProcess;
class QProgressBar;

// The window's side of the reconstruction runs: starts a pipeline for
// "&Run Sparse", "&ReRun BundleAdjustment" and "&Run Dense" with the images
// of the image list, and shows the running stage, its count and estimated
// end and a bar of the share done in the status bar until the run ends. Nothing
// there moves by itself: every repaint of the window recomposes the 3D view's
// window, so the display changes only when the run's progress does. What the
// runs have to say goes to the log channel (core/log/LogSink), their outcomes
// as its status texts as well; refusals go straight to the status bar.
class ReconstructionRunner : public QObject
{
    Q_OBJECT
public:
    struct Actions {
        QAction* runSparse = nullptr;
        QAction* reRun = nullptr;
        QAction* runDense = nullptr;
        QAction* scanSettings = nullptr;
        QAction* abort = nullptr;
    };

    // Pipelines become children of window; their progress goes to its status bar.
    ReconstructionRunner(QMainWindow* window, MyListWidget* images, const QString& appDir,
                         const Actions& actions);

    // Starts the EXIF extraction that a sparse run waits for and hands back
    // its process (null or not running: nothing to wait for).
    void setExifExtraction(std::function<QProcess*()> start) { m_exifExtraction = std::move(start); }
    // Applies the scan settings window and saves the project; called before
    // the first stage reads the settings.
    void setSaveSettings(std::function<void()> save) { m_saveSettings = std::move(save); }

    // Nothing happens while the image list is empty; photos from several
    // folders are refused with a message naming the folders, and while a run
    // is going a second one is refused with a status bar message.
    void runSparse();
    void reRun();
    void runDense();
    // "&Orthophoto and DSM" on the photos' folder: OrthoDsm builds
    // ortho/dsm.tif and ortho/orthophoto.tif from the georeferenced sparse
    // and the dense results; refused while a reconstruction runs and the
    // other way round.
    void runOrthoDsm();

    SfMReconstruction* current() const { return m_current; }
    OrthoDsmRunner* orthoDsm() const { return m_ortho; }
    bool isRunning() const;
    // True when no reconstruction or orthophoto runs, or the user chose to
    // quit and stop it (asked over parent).
    bool mayQuit(QWidget* parent) const;
    // "&Run Sparse", "&Run Dense" and "&Scan Settings" back on (new photos, a
    // project opened), unless a run is going: it gives them back when it ends.
    void enableRunActions();
    QLabel* stageLabel() const { return m_stageLabel; }
    // Shown while the share done of the running stage is known.
    QProgressBar* progressBar() const { return m_bar; }

signals:
    void sparseNVMFinished(QFile* f);
    void densepmvsFinished(QStringList patchList);
    // A run wrote its results into the pipeline folder: stage is
    // ProductRecord's name of it ("sparse", "dense", "orthophoto").
    void resultsWritten(const QString& stage, const QString& folder);

private:
    SfMReconstruction* newPipeline();
    // The images' full paths and item texts in list order, without the
    // photos gone from their folder (named in the log, marked in the list);
    // false for an empty list, and, with a message, for photos from more
    // than one folder.
    bool collectImages(QStringList& fullPaths, QStringList& texts) const;
    // Folder, run actions, images: the steps every sparse run begins with.
    bool beginSparse();
    // fraction: share done, 0 to 1; negative: not known, the bar hides.
    void showStage(const QString& text, double fraction = -1.0);
    void hideStage();
    // True, with the user told why, while a run is going.
    bool refuseWhileRunning();
    void runEnded(bool success, const QString& message);

    QMainWindow* m_window;
    MyListWidget* m_images;
    QString m_appDir;
    Actions m_actions;
    std::function<QProcess*()> m_exifExtraction;
    std::function<void()> m_saveSettings;
    QPointer<SfMReconstruction> m_current;
    OrthoDsmRunner* m_ortho = nullptr;
    QLabel* m_stageLabel;
    QProgressBar* m_bar;
};
