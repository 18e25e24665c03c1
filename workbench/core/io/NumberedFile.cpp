#include "core/io/NumberedFile.h"

#include <QFileInfo>

QString NumberedFile::next(const QString& folder, const QString& prefix, const QString& suffix)
{
    for (int n = 0;; ++n) {
        const QString path = folder + prefix + QString::number(n) + suffix;
        if (!QFileInfo::exists(path))
            return path;
    }
}
