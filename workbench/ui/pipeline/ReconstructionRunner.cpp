#include "ui/pipeline/ReconstructionRunner.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>

#include "core/log/LogSink.h"
#include "core/pipeline/PipelineLayout.h"
#include "core/products/ProductRecord.h"
#include "ui/images/MyListWidget.h"
#include "ui/pipeline/OrthoDsmRunner.h"
#include "ui/pipeline/SfMReconstruction.h"

namespace
{

constexpr int outcomeTimeoutMs = 5000;
constexpr int barSteps = 100;

} // namespace

ReconstructionRunner::ReconstructionRunner(QMainWindow* window, MyListWidget* images, const QString& appDir,
                                           const Actions& actions)
    : QObject(window), m_window(window), m_images(images), m_appDir(appDir), m_actions(actions),
      m_stageLabel(new QLabel), m_bar(new QProgressBar)
{
    // Determinate only: a bar without a known end animates, and each of its
    // frames would recompose the window through OpenGL while the tools work.
    m_bar->setRange(0, barSteps);
    m_bar->setMaximumWidth(120);
    m_bar->setTextVisible(false);
    window->statusBar()->addPermanentWidget(m_stageLabel);
    window->statusBar()->addPermanentWidget(m_bar);
    m_stageLabel->hide();
    m_bar->hide();
}

bool ReconstructionRunner::isRunning() const
{
    return m_current && m_current->isRunning();
}

bool ReconstructionRunner::mayQuit(QWidget* parent) const
{
    const bool running = isRunning() || (m_ortho && m_ortho->isRunning());
    return !running ||
           QMessageBox::question(parent, tr("Quit"), tr("A reconstruction is running. Quit and stop it?"),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
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
    m_window->statusBar()->showMessage(
        tr("A reconstruction is running: wait for it to end or abort it first"), outcomeTimeoutMs);
    return true;
}

SfMReconstruction* ReconstructionRunner::newPipeline()
{
    auto* p = new SfMReconstruction(m_window, m_appDir, m_actions.runSparse, m_actions.runDense,
                                    m_actions.scanSettings, m_actions.abort);
    connect(p, &SfMReconstruction::progress, this, &ReconstructionRunner::showStage);
    connect(p, &SfMReconstruction::runEnded, this, &ReconstructionRunner::runEnded);
    connect(p, &SfMReconstruction::resultsWritten, this, &ReconstructionRunner::resultsWritten);
    m_current = p;
    return p;
}

bool ReconstructionRunner::collectImages(QStringList& fullPaths, QStringList& texts) const
{
    QStringList missing;
    for (int i = 0; i < m_images->count(); ++i) {
        QListWidgetItem* item = m_images->item(i);
        const QString text = item->text();
        const QString path = m_images->pathOf(item);
        const QString full = path.isEmpty() ? text : path;
        // A photo gone from its folder since it was listed is left out, and
        // its row says so until it is back.
        const bool there = QFileInfo(full).isFile();
        item->setForeground(there ? QBrush() : QBrush(Qt::red));
        item->setToolTip(there ? QString() : tr("Missing: %1 is not there").arg(full));
        if (!there) {
            missing << full;
            continue;
        }
        texts << text;
        fullPaths << full;
    }
    if (!missing.isEmpty()) {
        const QString message = missing.size() == 1 ? tr("Photo %1 is missing: left out").arg(missing.first())
                                                    : tr("%1 photos are missing, left out: %2")
                                                          .arg(missing.size())
                                                          .arg(missing.join(QStringLiteral(", ")));
        LogSink::write(LogLevel::Warning, message);
        LogSink::status(message, outcomeTimeoutMs);
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
        LogSink::write(LogLevel::Error, message);
        LogSink::status(message, outcomeTimeoutMs);
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
        connect(m_ortho, &OrthoDsmRunner::logLine, this,
                [](const QString& line) { LogSink::write(LogLevel::Info, line); });
        connect(m_ortho, &OrthoDsmRunner::progress, this, &ReconstructionRunner::showStage);
        connect(m_ortho, &OrthoDsmRunner::finished, this, [this](bool written, const QString& message) {
            hideStage();
            if (m_actions.abort)
                m_actions.abort->setEnabled(false);
            enableRunActions();
            LogSink::status(message, outcomeTimeoutMs);
            if (written)
                emit resultsWritten(QLatin1String(ProductRecord::orthophoto), m_ortho->folder());
        });
        if (m_actions.abort)
            connect(m_actions.abort, &QAction::triggered, m_ortho, &OrthoDsmRunner::stop);
    }
    QString refusal;
    if (!m_ortho->start(PipelineLayout(m_appDir, paths.first()).pipelineFolder(), &refusal)) {
        m_window->statusBar()->showMessage(refusal, outcomeTimeoutMs);
        return;
    }
    // Abort reaches the tool; the other runs wait for it.
    if (m_actions.abort)
        m_actions.abort->setEnabled(true);
    for (QAction* a : {m_actions.runSparse, m_actions.runDense})
        if (a)
            a->setEnabled(false);
    showStage(tr("Orthophoto and DSM"));
}

void ReconstructionRunner::showStage(const QString& text, double fraction)
{
    // Unchanged texts and values repaint nothing.
    m_stageLabel->setText(text);
    m_stageLabel->show();
    if (fraction < 0) {
        m_bar->hide();
        return;
    }
    m_bar->setValue(int(qBound(0.0, fraction, 1.0) * barSteps));
    m_bar->show();
}

void ReconstructionRunner::hideStage()
{
    m_stageLabel->hide();
    m_bar->hide();
}

void ReconstructionRunner::runEnded(bool, const QString& message)
{
    if (sender() != m_current)
        return;
    hideStage();
    if (m_actions.reRun)
        m_actions.reRun->setEnabled(true);
    LogSink::status(message.trimmed(), outcomeTimeoutMs);
}
