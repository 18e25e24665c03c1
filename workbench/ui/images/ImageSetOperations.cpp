#include "ui/images/ImageSetOperations.h"

#include "core/log/LogLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSet>

#include <iostream>

#include "ui/images/MyListWidget.h"
#include "core/project/ScanSettings.h"

ImageSetOperations::ImageSetOperations(MyListWidget* list, QWidget* dialogParent, QObject* parent)
    : QObject(parent), m_list(list), m_dialogParent(dialogParent),
      m_appDir(QCoreApplication::applicationDirPath())
{
}

void ImageSetOperations::addImage()
{
    QFileDialog dialog(m_dialogParent, QString(), QString(), QString());
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(tr("Image File (*.jpg *.png *.tif *.arw *.nef)"));
    dialog.setWindowTitle(tr("Add Images"));
    addImages(dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList());
}

void ImageSetOperations::addImages(const QStringList& paths)
{
    if (paths.isEmpty()) {
        emit statusMessage(tr("Image not loaded, empty"), 2000);
        return;
    }
    ScanSettings& settings = ScanSettings::global();
    if (settings.imageFolder.isEmpty()) {
        const QString& first = paths.first();
        settings.imageFolder = first.left(first.lastIndexOf(QLatin1Char('/')));
        emit imageFolderChosen(settings.imageFolder);
    }
    m_list->addImages(paths);
    emit imagesListed();
}

void ImageSetOperations::syncImages()
{
    if (m_copying)
        return; // the progress dialog of a run under way keeps events turning
    const ScanSettings& settings = ScanSettings::global();
    if (settings.syncFolder.isEmpty() || settings.imageFolder.isEmpty()) {
        emit statusMessage(tr("Please make sure to set Image and Sync Folder in Settings"), 2000);
        return;
    }
    QStringList listed;
    for (int i = 0; i < m_list->count(); ++i)
        listed << m_list->item(i)->text();
    const ImageSyncPlan plan = ImageSyncPlan::make(settings.syncFolder, settings.imageFolder, listed);
    if (plan.found == 0) {
        emit statusMessage(tr("No images in Sync Folder"), 2000);
        LogLine(LogLevel::Info) << "No images in Sync Folder" << std::endl;
        return;
    }
    for (const QString& name : plan.newNames)
        LogLine() << (settings.syncFolder + QLatin1Char('/') + name).toStdString() << std::endl;
    for (const QString& name : plan.differing)
        emit logLine(tr("%1 not synced: %2 holds a different file of that name")
                         .arg(settings.syncFolder + QLatin1Char('/') + name, settings.imageFolder));
    if (plan.newNames.isEmpty()) {
        emit statusMessage(tr("No new images"), 2000);
        LogLine(LogLevel::Info) << "No new images" << std::endl;
        return;
    }

    // Only files that are really in the image folder now get listed, and
    // only when they are the camera's photographs.
    QSet<QString> absent;
    for (const QString& name : plan.differing)
        absent.insert(settings.imageFolder + QLatin1Char('/') + name);
    CopyRun run;
    if (!plan.copies.isEmpty()) {
        QDir().mkpath(settings.imageFolder);
        run = runCopies(plan.copies, tr("Syncing Files"), tr("Syncing image %1 of %2..."));
        for (int k = 0; k < plan.copies.size(); ++k)
            if (k >= run.outcomes.size() || run.outcomes[k] == ImageCopy::Outcome::Failed)
                absent.insert(plan.copies[k].target);
    }
    QStringList targets;
    for (const QString& target : plan.newTargets)
        if (!absent.contains(target))
            targets << target;
    if (run.cancelled) {
        const QString text = tr("Sync cancelled: %1 of %2 images copied")
                                 .arg(run.outcomes.size() - run.outcomes.count(ImageCopy::Outcome::Failed))
                                 .arg(plan.copies.size());
        emit logLine(text);
        emit statusMessage(text, 2000);
    }
    if (targets.isEmpty()) {
        if (!run.cancelled)
            emit statusMessage(tr("No images synced, see the Log View"), 2000);
        return;
    }
    m_list->addImages(targets);
    emit imagesListed();
}

void ImageSetOperations::copyToFolder()
{
    if (m_list->count() == 0) {
        emit statusMessage(tr("Images not copied, list is empty"), 2000);
        return;
    }
    const QString folder = QFileDialog::getExistingDirectory(m_dialogParent, tr("Choose folder"), m_appDir,
                                                             QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        emit statusMessage(tr("Images not copied, empty"), 2000);
        return;
    }
    copyToFolder(folder);
}

void ImageSetOperations::copyToFolder(const QString& folder)
{
    if (m_copying)
        return;
    if (m_list->count() == 0) {
        emit statusMessage(tr("Images not copied, list is empty"), 2000);
        return;
    }
    QVector<QListWidgetItem*> rows;
    QVector<ImageSyncPlan::Copy> copies;
    for (int i = 0; i < m_list->count(); ++i) {
        QListWidgetItem* row = m_list->item(i);
        rows << row;
        copies.append({m_list->pathOf(row), folder + QLatin1Char('/') + row->text()});
    }
    const CopyRun run = runCopies(copies, tr("Copying Files"), tr("Copying image %1 of %2..."));
    if (run.cancelled)
        emit logLine(tr("Copy to %1 cancelled after %2 of %3 images")
                         .arg(folder)
                         .arg(run.outcomes.size())
                         .arg(copies.size()));
    int copied = 0;
    for (int k = 0; k < run.outcomes.size(); ++k) {
        // The entry follows its file only when the copy is really there.
        if (run.outcomes[k] != ImageCopy::Outcome::Failed) {
            m_list->setPathOf(rows[k], copies[k].target);
            ++copied;
        }
    }
    if (copied == copies.size())
        emit statusMessage(tr("Images copied to ") + folder, 2000);
    else
        emit statusMessage(
            tr("%1 of %2 images copied to %3, see the Log View").arg(copied).arg(copies.size()).arg(folder),
            2000);
}

ImageSetOperations::CopyRun ImageSetOperations::runCopies(const QVector<ImageSyncPlan::Copy>& copies,
                                                          const QString& title, const QString& label)
{
    CopyRun run;
    m_copying = true;
    QProgressDialog progress(m_dialogParent);
    progress.setWindowModality(Qt::WindowModal);
    progress.setCancelButtonText(tr("&Cancel"));
    progress.setRange(0, copies.size());
    progress.setWindowTitle(title);
    for (int k = 0; k < copies.size(); ++k) {
        progress.setValue(k);
        progress.setLabelText(label.arg(k + 1).arg(copies.size()));
        QCoreApplication::processEvents();
        if (progress.wasCanceled()) {
            run.cancelled = true;
            break;
        }
        QString error;
        const ImageCopy::Outcome outcome = ImageCopy::copy(copies[k].source, copies[k].target, &error);
        if (outcome == ImageCopy::Outcome::Failed)
            emit logLine(tr("%1 not copied to %2: %3").arg(copies[k].source, copies[k].target, error));
        run.outcomes.append(outcome);
        emit copyProgressed(k + 1, copies.size());
    }
    progress.setValue(copies.size());
    m_copying = false;
    return run;
}

void ImageSetOperations::refuseRename(QListWidgetItem* item, const QString& text, const QString& informative)
{
    const QString renameText = m_list->renameText();
    QMessageBox box(m_dialogParent);
    box.setIcon(QMessageBox::Warning);
    box.setText(text);
    box.setInformativeText(informative);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    item->setText(renameText);
}

void ImageSetOperations::changeItemValue(QListWidgetItem* item)
{
    // Only the row the list is renaming counts: icons, colours and flags
    // change rows too, and must not rename anything.
    const QString renameText = m_list->renameText();
    if (!item || item != m_list->renamingItem() || renameText.isEmpty())
        return;
    const QString newText = item->text();
    if (newText.compare(renameText, Qt::CaseInsensitive) == 0)
        return;
    if (newText.trimmed().isEmpty()) {
        // An empty name is no name: the row and its record keep the old one.
        item->setText(renameText);
    } else if (newText.contains(QLatin1Char('/')) || newText.contains(QLatin1Char('\\'))) {
        refuseRename(item, newText + tr(" is not a file name"),
                     renameText + tr(" cannot be renamed as ") + newText + tr(". A name holds no / or \\"));
    } else {
        bool clash = false;
        for (int i = 0; i < m_list->count() && !clash; ++i)
            clash =
                m_list->item(i) != item && m_list->item(i)->text().compare(newText, Qt::CaseInsensitive) == 0;
        if (clash)
            refuseRename(item, newText + tr(" already exists"),
                         renameText + tr(" cannot be renamed as ") + newText +
                             tr(". This name already exists"));
        else
            m_list->renameInTable(renameText, newText);
    }
    m_list->endRename();
}
