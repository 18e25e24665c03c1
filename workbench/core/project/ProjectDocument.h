#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

#include "core/formats/LayerType.h"
#include "core/georef/AdjustmentDefaults.h"
#include "core/georef/ControlPoint.h"
#include "core/layers/LayerOptions.h"
#include "core/project/ScanSettings.h"

// Everything a project file holds, independent of the widgets that show it.
struct ProjectDocument
{
    // One node of the layer tree under the project root: a folder (possibly
    // empty) or the place of a layer, named by its display name; the layer's
    // file is listed in the section of its type. On reading, a layer goes to
    // the first place that bears its name.
    struct Node
    {
        enum Kind { Folder, Layer };
        Kind kind = Folder;
        QString text;
        LayerType::Code type = LayerType::None; // layers only
        QVector<Node> children;                  // folders only
    };

    // A layer's file, name and options, in the section of its type.
    using Layer = LayerOptions;

    struct Image
    {
        QString originalFilename;
        QString nameFromList;
    };

    using Bookmark = std::array<double, 9>; // eye, centre, up

    QVector<Node> tree;
    QVector<Layer> layers[LayerType::Annotation + 1]; // indexed by type code
    QVector<Image> images;
    ScanSettings settings;
    QVector<Bookmark> bookmarks;
    // The ground control points with their photos' observations, and the
    // reference system of their coordinates.
    QString controlSystem;
    QVector<ControlPoint> controlPoints;
    // The standard deviations of control points and GPS positions that carry none of their own.
    AdjustmentDefaults adjustment;
    // What the reader left out of a file that otherwise opens (a ground
    // control point with a coordinate that is not a number), one line each
    // for the log view.
    QStringList problems;

    // The section element of a layer type ("models", "pointclouds", ...).
    static QString sectionName(LayerType::Code type);
    static LayerType::Code sectionType(const QString& element);
};
