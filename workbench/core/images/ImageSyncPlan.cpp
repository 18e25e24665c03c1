#include "core/images/ImageSyncPlan.h"

#include <QDir>
#include <QFileInfo>

#include "core/images/ImageCopy.h"

QStringList ImageSyncPlan::listPhotographs(const QString& syncFolder)
{
    QDir dir(syncFolder);
    dir.setNameFilters({QStringLiteral("*.jpg")}); // QDir matches name filters without regard to case
    dir.setFilter(QDir::Files | QDir::NoSymLinks);
    dir.setSorting(QDir::NoSort);
    return dir.entryList();
}

ImageSyncPlan ImageSyncPlan::make(const QString& syncFolder, const QString& imageFolder,
                                  const QStringList& listedNames)
{
    ImageSyncPlan plan;
    const QStringList names = listPhotographs(syncFolder);
    plan.found = names.size();
    for (const QString& name : names) {
        if (listedNames.contains(name, Qt::CaseSensitive))
            continue;
        const QString target = imageFolder + QLatin1Char('/') + name;
        plan.newNames << name;
        plan.newTargets << target;
        const QString source = syncFolder + QLatin1Char('/') + name;
        if (!QFileInfo::exists(target))
            plan.copies.append({source, target});
        else if (!ImageCopy::sameContent(source, target))
            plan.differing << name;
    }
    return plan;
}
