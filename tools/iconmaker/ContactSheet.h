#pragma once
#include <QImage>
#include <QStringList>

// Lays every icon out on one page, at its real size and enlarged with visible
// pixels, so the whole set can be reviewed side by side.
class ContactSheet
{
public:
    static QImage compose(const QStringList& names);
};
