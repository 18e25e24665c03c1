#include "ui/pipeline/ReconstructionRunner.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QStatusBar>

#include "core/pipeline/PipelineLayout.h"
#include "ui/images/MyListWidget.h"
#include "ui/log/LogView.h"
#include "ui/pipeline/OrthoDsmRunner.h"
#include "ui/pipeline/SfMReconstruction.h"

namespace
{

constexpr int outcomeTimeoutMs = 5000;

} // namespace

ReconstructionRunner::ReconstructionRunner(QMainWindow* window, QListWidget* log, MyListWidget* images,
                                           const QString& appDir, const Actions& actions)
    : QObject(window), m_window(window), m_log(log), m_images(images), m_appDir(appDir), m_actions(actions),
      m_stageLabel(new QLabel), m_busy(new QProgressBar)
{
    m_busy->setRange(0, 0); // no known end: the bar runs back and forth
    m_busy->setMaximumWidth(120);
    m_busy->setTextVisible(false);
    window->statusBar()->addPermanentWidget(m_stageLabel);
    window->statusBar()->addPermanentWidget(m_busy);
    m_stageLabel->hide();
    m_busy->hide();
}

bool ReconstructionRunner::isRunning() const
{
    return m_current && m_current->isRunning();
}

void ReconstructionRunner::enableRunActions()
{
    if (isRunning())
        return;
    for (QAction* a : {m_actions.runSparse, m_actions.runDense, m_actions.scanSettings})
        if (a)
            a->setEnabled(true);
}

bool ReconstructionRunner::refuseWhileRunning()
{
    if (m_ortho && m_ortho->isRunning()) {
        // It reads the reconstruction and the dense clouds a new run would replace.
        m_window->statusBar()->showMessage(tr("The orthophoto and DSM are being built: wait for them first"),
                                           outcomeTimeoutMs);
        return true;
    }
    if (!isRunning())
        return false;
    // A second run would write over the files of the first in the same folder.
    m_window->statusBar()->showMessage(tr("A reconstruction is running: wait for it to end or abort it first"),
                                       outcomeTimeoutMs);
    return true;
}

SfMReconstruction* ReconstructionRunner::newPipeline()
{
    auto* p = new SfMReconstruction(m_window, m_log, m_appDir, m_actions.runSparse, m_actions.runDense,
                                    m_actions.scanSettings, m_actions.abort);
    connect(p, &SfMReconstruction::progress, this, &ReconstructionRunner::showStage);
    connect(p, &SfMReconstruction::runEnded, this, &ReconstructionRunner::runEnded);
    m_current = p;
    return p;
}

bool ReconstructionRunner::collectImages(QStringList& fullPaths, QStringList& texts) const
{
    for (int i = 0; i < m_images->count(); ++i) {
        const QString text = m_images->item(i)->text();
        const QString path = m_images->pathOf(m_images->item(i));
        texts << text;
        fullPaths << (path.isEmpty() ? text : path);
    }
    if (texts.isEmpty())
        return false;
    // The scripts, lists and tools find every photo in the first one's folder.
    const QStringList folders = PipelineLayout::imageFolders(fullPaths);
    if (folders.size() > 1) {
        const QString message =
            tr("Cannot reconstruct photos from %1 folders (%2): put them in one folder first")
                .arg(folders.size())
                .arg(folders.join(QStringLiteral(", ")));
        LogView::append(m_log, message);
        m_window->statusBar()->showMessage(message, outcomeTimeoutMs);
        return false;
    }
    return true;
}

bool ReconstructionRunner::beginSparse()
{
    QStringList paths, texts;
    if (!collectImages(paths, texts))
        return false;
    SfMReconstruction* p = newPipeline();
    connect(p, &SfMReconstruction::sparseNVMFinished, this, &ReconstructionRunner::sparseNVMFinished);
    p->setPipelineFolder(paths.first());
    p->disableRunActions();
    // A second sparse run must not start over files this one is writing.
    if (m_actions.reRun)
        m_actions.reRun->setEnabled(false);
    p->setImages(paths, texts);
    if (m_saveSettings)
        m_saveSettings();
    return true;
}

void ReconstructionRunner::runSparse()
{
    if (refuseWhileRunning() || !beginSparse())
        return;
    m_current->startSparse(m_exifExtraction ? m_exifExtraction() : nullptr);
}

void ReconstructionRunner::reRun()
{
    if (refuseWhileRunning() || !beginSparse())
        return;
    m_current->reRunBundler();
}

void ReconstructionRunner::runDense()
{
    QStringList paths, texts;
    if (refuseWhileRunning() || !collectImages(paths, texts))
        return;
    SfMReconstruction* p = newPipeline();
    connect(p, &SfMReconstruction::densepmvsFinished, this, &ReconstructionRunner::densepmvsFinished);
    p->setPipelineFolder(paths.first());
    p->setImages(paths, texts);
    if (m_actions.reRun)
        m_actions.reRun->setEnabled(false);
    if (!p->startDense() && m_actions.reRun)
        m_actions.reRun->setEnabled(true);
}

void ReconstructionRunner::runOrthoDsm()
{
    QStringList paths, texts;
    if (refuseWhileRunning() || !collectImages(paths, texts))
        return;
    if (!m_ortho) {
        m_ortho = new OrthoDsmRunner(m_appDir, this);
        connect(m_ortho, &OrthoDsmRunner::logLine, this, [this](const QString& line) { LogView::append(m_log, line); });
        connect(m_ortho, &OrthoDsmRunner::finished, this, [this](bool, const QString& message) {
            m_stageLabel->hide();
            m_busy->hide();
            m_window->statusBar()->showMessage(message, outcomeTimeoutMs);
        });
    }
    QString refusal;
    if (!m_ortho->start(PipelineLayout(m_appDir, paths.first()).pipelineFolder(), &refusal)) {
        m_window->statusBar()->showMessage(refusal, outcomeTimeoutMs);
        return;
    }
    showStage(tr("Orthophoto and DSM"));
}

void ReconstructionRunner::showStage(const QString& text)
{
    m_stageLabel->setText(text);
    m_stageLabel->show();
    m_busy->show();
}

void ReconstructionRunner::runEnded(bool, const QString& message)
{
    if (sender() != m_current)
        return;
    m_stageLabel->hide();
    m_busy->hide();
    if (m_actions.reRun)
        m_actions.reRun->setEnabled(true);
    m_window->statusBar()->showMessage(message.trimmed(), outcomeTimeoutMs);
}
