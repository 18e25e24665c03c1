#pragma once

#include <QString>

// Output files that never replace an earlier one: folder + prefix + the
// smallest number n = 0, 1, 2, ... for which no such file exists + suffix.
class NumberedFile
{
public:
    static QString next(const QString& folder, const QString& prefix, const QString& suffix);
};
