#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include "core/images/ImageSelection.h"

// The user feature file: every observation of the extracted image matches
// with the point it was triangulated to, for the tools that refine a
// reconstruction with hand-picked features.
class UserFeatureFile
{
public:
    // The number of matches, then per observation "image camera match type x y
    // X Y Z matchIndex shapeIndex".
    static QByteArray text(const QVector<ImageSelection::Match>& history);

    // Writes to folder + "newFeatures_" + n + ".txt" with the first n not
    // taken. Returns the path written, or an empty string with the reason.
    static QString write(const QString& folder, const QVector<ImageSelection::Match>& history,
                         QString* error = nullptr);
};
