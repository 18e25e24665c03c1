#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// What fetching the camera's photographs from the sync folder into the image
// folder has to do: which names are new to the image list, and which of them
// still have to be copied.
class ImageSyncPlan
{
public:
    struct Copy {
        QString source;
        QString target;
    };

    // The "*.jpg" files of the folder, matched without regard to case, files
    // only, symbolic links left out, in the order the folder lists them.
    static QStringList listPhotographs(const QString& syncFolder);

    // listedNames: the texts the image list shows; a name shown there
    // exactly is not new.
    static ImageSyncPlan make(const QString& syncFolder, const QString& imageFolder,
                              const QStringList& listedNames);

    int found = 0;          // photographs in the sync folder
    QStringList newNames;   // in listing order
    QStringList newTargets; // image folder + "/" + name, one per new name
    QVector<Copy> copies;   // the new names whose target does not exist yet
    QStringList differing;  // new names whose target exists with other content than the camera's
};
