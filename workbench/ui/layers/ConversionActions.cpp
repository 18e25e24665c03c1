#include "ui/layers/ConversionActions.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "core/formats/PtsToPly.h"
#include "ui/layers/CloudConversion.h"

ConversionActions::ConversionActions(QWidget* window, const QString& appDir)
    : QObject(window), m_window(window), m_process(this),
      m_conversion(new CloudConversion(&m_process, appDir, this))
{
    connect(m_conversion, &CloudConversion::logLine, this, &ConversionActions::logLine);
    connect(m_conversion, &CloudConversion::statusMessage, this, &ConversionActions::statusMessage);
    connect(&m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this](int exitCode, QProcess::ExitStatus) { archiveFinished(exitCode); });
}

void ConversionActions::openArchiveConversion()
{
    const QString fileName = QFileDialog::getOpenFileName(m_window, tr("Open Ply Ascii"), QDir::currentPath(),
                                                          tr("Ply Ascii Files (*.ply)"));
    if (fileName.isEmpty())
        return;
    startArchive(fileName);
    emit statusMessage(tr("Ply converting to Osgb LOD (Please do not close until popup!"), 2000);
}

void ConversionActions::startArchive(const QString& plyFile)
{
    QString refusal;
    if (m_conversion->startArchive(plyFile, &refusal))
        return;
    QMessageBox box(m_window);
    box.setText(refusal);
    box.exec();
}

void ConversionActions::archiveFinished(int exitCode)
{
    const CloudConversion::Finish finish = m_conversion->finishArchive(exitCode, m_process.exitStatus());
    QMessageBox box(m_window);
    box.setText(finish.message);
    if (!finish.converted) {
        box.setIcon(QMessageBox::Warning);
        box.exec();
        return;
    }
    box.setInformativeText(tr("Add %1 to the project as a layer?").arg(QFileInfo(finish.archive).fileName()));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    if (box.exec() == QMessageBox::Yes)
        emit archiveAccepted(finish.archive);
}

void ConversionActions::convertPlyToPts()
{
    const QString fileName =
        QFileDialog::getOpenFileName(m_window, tr("Open Ply"), QDir::currentPath(), tr("Ply Files (*.ply)"));
    if (fileName.isEmpty())
        return;
    m_conversion->startPts(fileName);
}

void ConversionActions::convertPtsToPly()
{
    const QString fileName =
        QFileDialog::getOpenFileName(m_window, tr("Open Pts"), QDir::currentPath(), tr("Pts Files (*.pts)"));
    if (fileName.isEmpty())
        return;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QMessageBox::warning(m_window, tr("QXmlStream Bookmarks"),
                             tr("Cannot read file %1:\n%2.").arg(fileName, file.errorString()));
        return;
    }
    file.close();
    QString message;
    if (PtsToPly::convert(fileName, &message))
        emit statusMessage(tr("Pts converted to Ply"), 2000);
    else
        emit statusMessage(tr("Pts not converted: %1").arg(message), 5000);
    if (!message.isEmpty())
        emit logLine(message);
}
