#pragma once

#include <QString>

// The icon file of a find code: "<application folder>/d_code/" + the code's
// first two characters + ".png", or "generic.png" there when that file does
// not exist.
class DCodeIcon
{
public:
    static QString path(const QString& appFolder, const QString& dCode);
    static QString folder(const QString& appFolder) { return appFolder + QStringLiteral("/d_code/"); }
};
