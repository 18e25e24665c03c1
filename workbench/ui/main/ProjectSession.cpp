#include "ui/main/ProjectSession.h"

#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardItem>

#include <deque>

#include "ui/annotation/GeoRef.h"
#include "ui/pipeline/ConfigWindow.h"
#include "ui/layers/LayerTree.h"
#include "ui/images/MyListWidget.h"
#include "scene/view/OsgWidget.h"
#include "core/project/ProjectReader.h"
#include "core/project/ProjectWriter.h"
#include "core/project/ScanSettings.h"

ProjectSession::ProjectSession(const Parts& parts, ProjectFile::AddLayer addLayer, QObject* parent)
    : QObject(parent), m_parts(parts), m_addLayer(std::move(addLayer))
{
}

void ProjectSession::warn(const QString& text)
{
    QMessageBox box(m_parts.window);
    box.setIcon(QMessageBox::Warning);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

ProjectDocument ProjectSession::document() const
{
    ProjectDocument doc = ProjectFile::gather(*m_parts.layers, *m_parts.images);
    doc.settings = ScanSettings::global();
    for (const OsgWidget::Bookmark& b : m_parts.scene->bookmarks())
        doc.bookmarks.append({b.eye.x(), b.eye.y(), b.eye.z(), b.centre.x(), b.centre.y(), b.centre.z(),
                              b.up.x(), b.up.y(), b.up.z()});
    if (m_parts.groundControl) {
        doc.controlPoints = m_parts.groundControl->controlPoints();
        doc.controlSystem = m_parts.groundControl->referenceSystem();
        doc.adjustment = m_parts.groundControl->adjustmentDefaults();
    }
    return doc;
}

QByteArray ProjectSession::state() const
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ProjectWriter::write(buffer, document());
    return buffer.data();
}

void ProjectSession::markUnmodified()
{
    m_savedState = state();
}

bool ProjectSession::isModified() const
{
    return state() != m_savedState;
}

bool ProjectSession::writeFile(const QString& fileName)
{
    const ProjectDocument doc = document();
    QString error;
    if (ProjectWriter::writeFile(fileName, doc, &error)) {
        m_lastError.clear();
        m_savedState = state();
        return true;
    }
    m_lastError = tr("Cannot write project %1: %2").arg(fileName, error);
    emit logLine(m_lastError);
    return false;
}

bool ProjectSession::openFile(const QString& fileName)
{
    ProjectDocument doc;
    // The file stores neither the image folder nor the sync folder, and an
    // older file may lack more: what it does not hold stays as it is.
    doc.settings = ScanSettings::global();
    QString error;
    if (!ProjectReader::readFile(fileName, doc, &error)) {
        // Nothing of a file that failed to read is shown as a project.
        m_lastError = tr("Cannot read file %1:\n%2.").arg(fileName, error);
        QMessageBox::warning(m_parts.window, tr("QXmlStream Bookmarks"), m_lastError);
        return false;
    }
    // What the reader left out of a file it could read (a control point with a
    // coordinate that is not a number) is said, not passed over.
    for (const QString& problem : doc.problems)
        emit logLine(tr("Project %1: %2").arg(QFileInfo(fileName).fileName(), problem));
    const int layersBefore = m_parts.layers->layers().size();
    ProjectFile::apply(doc, *m_parts.layers, *m_parts.images, m_parts.view, m_addLayer);
    int unread = 0;
    for (int i = layersBefore; i < m_parts.layers->layers().size(); ++i)
        unread += m_parts.layers->layers()[i].loaded ? 0 : 1;
    ScanSettings::global() = doc.settings;
    // The settings window shows what it showed when last closed: refill it so
    // its "OK" does not put stale values over the ones just read.
    m_parts.settings->showSettings(ScanSettings::global());
    if (!doc.bookmarks.isEmpty()) {
        std::deque<OsgWidget::Bookmark> marks = m_parts.scene->bookmarks();
        for (const ProjectDocument::Bookmark& b : doc.bookmarks)
            marks.push_back(
                {osg::Vec3d(b[0], b[1], b[2]), osg::Vec3d(b[3], b[4], b[5]), osg::Vec3d(b[6], b[7], b[8])});
        m_parts.scene->setBookmarks(marks);
    }
    if (m_parts.groundControl && (!doc.controlPoints.isEmpty() || !doc.controlSystem.isEmpty()))
        m_parts.groundControl->setControlPoints(doc.controlPoints, doc.controlSystem);
    if (m_parts.groundControl)
        m_parts.groundControl->setAdjustmentDefaults(doc.adjustment);
    m_path = fileName;
    m_lastError.clear();
    markUnmodified();
    emit opened();
    if (unread == 0)
        status(tr("Project loaded"));
    else // the layers stay in the project; the log view says why each was not read
        status(unread == 1 ? tr("Project loaded; 1 layer could not be read (see the Log View)")
                           : tr("Project loaded; %1 layers could not be read (see the Log View)").arg(unread),
               5000);
    return true;
}

void ProjectSession::open()
{
    if (m_parts.layers->projectRoot()->hasChildren() && close() == CloseOutcome::NotSaved) {
        // The project that could not be saved stays as it is, alone.
        status(tr("Project not opened: the open project was not saved"), 5000);
        return;
    }
    const QString fileName = QFileDialog::getOpenFileName(m_parts.window, tr("Open Project"),
                                                          QDir::currentPath(), tr("Project Files (*.prj)"));
    if (fileName.isEmpty()) {
        status(tr("Project not loaded, empty"));
        return;
    }
    openFile(fileName);
}

bool ProjectSession::save()
{
    if (m_path.isEmpty())
        return saveAs();
    if (writeFile(m_path)) {
        status(tr("Saved '%1'").arg(m_path));
        return true;
    }
    status(tr("Write Failed"));
    return false;
}

bool ProjectSession::saveAs()
{
    const QString fileName = QFileDialog::getSaveFileName(m_parts.window, tr("Choose a file name"),
                                                          QStringLiteral("."), tr("Project File (*.prj)"));
    if (fileName.isEmpty()) {
        m_lastError = tr("No file name was chosen.");
        status(tr("Filename Empty"));
        return false;
    }
    m_path = fileName;
    status(tr("Saved '%1'").arg(m_path));
    return saveVariables();
}

bool ProjectSession::saveVariables()
{
    QString settingsError;
    if (!m_parts.settings->apply(ScanSettings::global(), &settingsError)) {
        m_lastError = settingsError;
        status(tr("Project not saved: %1").arg(settingsError), 5000);
        return false;
    }
    // A project that has no file yet is not given one behind the user's
    // back: the settings are applied, and Save Project asks for a name.
    if (m_path.isEmpty()) {
        m_lastError = tr("The project has no file yet.");
        status(tr("Scan settings applied; the project has no file yet: use Save Project to keep it"), 5000);
        return false;
    }
    if (writeFile(m_path)) {
        status(tr(" Project Saved '%1'").arg(m_path));
        return true;
    }
    status(tr("Project write Failed"));
    return false;
}

bool ProjectSession::confirmQuit()
{
    if (!isModified())
        return true;
    QMessageBox box(m_parts.window);
    box.setText(tr("Save before closing?"));
    box.setInformativeText(tr("The project has changes that are not saved."));
    box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Save);
    const int answer = box.exec();
    if (answer == QMessageBox::Discard)
        return true;
    if (answer != QMessageBox::Save)
        return false;
    if (save())
        return true;
    warn(tr("The project was not saved, so the program stays open.\n%1").arg(m_lastError));
    return false;
}

ProjectSession::CloseOutcome ProjectSession::close()
{
    QMessageBox box(m_parts.window);
    box.setText(tr("Save before closing?"));
    box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Save);
    const int answer = box.exec();
    if (answer == QMessageBox::Save && !save()) {
        warn(tr("The project was not saved, so it stays open.\n%1").arg(m_lastError));
        return CloseOutcome::NotSaved;
    }
    if (answer != QMessageBox::Save && answer != QMessageBox::Discard)
        return CloseOutcome::Cancelled;
    clear();
    return CloseOutcome::Cleared;
}

void ProjectSession::clear()
{
    m_parts.layers->removeAll();
    QStandardItem* root = m_parts.layers->projectRoot();
    root->removeRows(0, root->rowCount());
    if (m_parts.groundControl) {
        m_parts.groundControl->setControlPoints({}, QString());
        m_parts.groundControl->setAdjustmentDefaults(AdjustmentDefaults());
    }
    markUnmodified();
}
