#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include "core/images/ImageCopy.h"
#include "core/images/ImageSyncPlan.h"

class MyListWidget;
class QListWidgetItem;
class QWidget;

// The window's operations on the set of photographs: adding images from
// disk, fetching new ones from the camera's sync folder, copying the set into
// another folder and renaming an entry. Copies run on the GUI thread behind a
// progress dialog whose Cancel stops them; every failed copy is named in the log.
class ImageSetOperations : public QObject
{
    Q_OBJECT
public:
    // dialogParent: the window, parent of the dialogs and message boxes.
    ImageSetOperations(MyListWidget* list, QWidget* dialogParent, QObject* parent = nullptr);

    void setApplicationFolder(const QString& appDir) { m_appDir = appDir; }

    // "&Add Images...": asks for the files, then addImages().
    void addImage();
    void addImages(const QStringList& paths);
    // "&Sync Images", between the folders of the scan settings.
    void syncImages();
    // "&Copy to Folder": asks for the folder, then copyToFolder(folder).
    void copyToFolder();
    void copyToFolder(const QString& folder);
    // The image list's itemChanged: ends a rename the list started.
    void changeItemValue(QListWidgetItem* item);

signals:
    void statusMessage(const QString& text, int timeout);
    void logLine(const QString& text);
    // Images were appended to the list.
    void imagesListed();
    // Adding images set the image folder of the scan settings.
    void imageFolderChosen(const QString& folder);
    // One more file of a copy run was handled (done counts from 1).
    void copyProgressed(int done, int total);

private:
    struct CopyRun {
        QVector<ImageCopy::Outcome> outcomes; // one per attempted copy, in order
        bool cancelled = false;
    };
    CopyRun runCopies(const QVector<ImageSyncPlan::Copy>& copies, const QString& title, const QString& label);
    void refuseRename(QListWidgetItem* item, const QString& text, const QString& informative);

    MyListWidget* m_list;
    QWidget* m_dialogParent;
    QString m_appDir;
    bool m_copying = false;
};
