#include "core/products/ProductStatus.h"

#include <QDir>
#include <QFileInfo>

#include "core/products/ProductRecord.h"

bool ProductStatus::locate(const QString& file, QString* folder, QString* stage)
{
    const QFileInfo info(file);
    const QString name = info.fileName();
    const QDir dir = info.absoluteDir();
    const QString parent = dir.dirName();
    QDir up = dir;
    if (name == QLatin1String("sparse.nvm") || name == QLatin1String("sparse.txt")) {
        *folder = dir.absolutePath();
        *stage = QLatin1String(ProductRecord::georeference);
        return true;
    }
    if (parent == QLatin1String("ortho") && up.cdUp()) {
        *folder = up.absolutePath();
        *stage = QLatin1String(ProductRecord::orthophoto);
        return true;
    }
    if (parent == QLatin1String("models") && up.cdUp() &&
        (up.dirName() == QLatin1String("pmvs") || up.dirName() == QLatin1String("cmpmvs")) && up.cdUp()) {
        *folder = up.absolutePath();
        *stage = QLatin1String(ProductRecord::dense);
        return true;
    }
    return false;
}

QString ProductStatus::remedy(const QString& stage)
{
    if (stage == QLatin1String(ProductRecord::georeference))
        return QStringLiteral("fit it to the control points again, or run Sparse again");
    if (stage == QLatin1String(ProductRecord::dense))
        return QStringLiteral("run Dense again");
    if (stage == QLatin1String(ProductRecord::orthophoto))
        return QStringLiteral("run Orthophoto and DSM again");
    return QStringLiteral("run Sparse again");
}

ProductStatus ProductStatus::of(const QString& file)
{
    ProductStatus status;
    if (!locate(file, &status.folder, &status.stage))
        return status;
    ProductRecord record;
    if (!ProductRecord::read(status.folder, status.stage, &record))
        return status;
    const QString name = QFileInfo(file).fileName();
    if (status.stage == QLatin1String(ProductRecord::georeference)) {
        // The reconstruction is placed by sparse.txt; stale when that was fitted to another sparse.nvm.
        if (!QFileInfo::exists(QDir(status.folder).filePath(QStringLiteral("sparse.txt"))))
            return status;
    } else if (!record.madeFile(ProductRecord::relative(status.folder, file))) {
        return status; // lies where results lie, but this stage did not make it
    }
    status.known = true;
    status.changed = record.changedInputs(status.folder);
    status.stale = !status.changed.isEmpty();
    if (!status.stale)
        return status;
    QStringList earlier;
    for (const QString& input : status.changed)
        earlier << QFileInfo(input).fileName();
    earlier.removeDuplicates();
    if (status.stage == QLatin1String(ProductRecord::georeference))
        status.reason = QStringLiteral("%1 is stale: its georeference sparse.txt was made for an earlier "
                                       "sparse.nvm; %2")
                            .arg(name, remedy(status.stage));
    else
        status.reason = QStringLiteral("%1 is stale: it was made from an earlier %2; %3")
                            .arg(name,
                                 earlier.size() > 3 ? QStringLiteral("set of %1 files").arg(earlier.size())
                                                    : earlier.join(QStringLiteral(", ")),
                                 remedy(status.stage));
    return status;
}
