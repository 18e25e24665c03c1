#include "core/annotation/DCodeIcon.h"

#include <QFileInfo>

QString DCodeIcon::path(const QString& appFolder, const QString& dCode)
{
    const QString own = folder(appFolder) + dCode.left(2) + QStringLiteral(".png");
    // A code shorter than two characters, or one with a path separator,
    // must not name some other file.
    if (dCode.size() >= 2 && !dCode.left(2).contains(QLatin1Char('/')) &&
        !dCode.left(2).contains(QLatin1Char('\\')) && QFileInfo(own).isFile())
        return own;
    return folder(appFolder) + QStringLiteral("generic.png");
}
