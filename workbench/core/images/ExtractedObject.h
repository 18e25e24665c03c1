#pragma once

#include <QVector>

#include <osg/Node>
#include <osg/Vec3d>
#include <osg/ref_ptr>

#include <array>

// A point made ready for the CAD export: its position in world coordinates,
// its foot on the ground plane and a copy lowered by 0.3. Kind 1 items make
// the outer ring of a shape, kind 0 items the inner ring.
struct ExtrudedItem {
    int kind = 0;
    osg::Vec3d point;
    osg::Vec3d foot;
    osg::Vec3d lowered;
};

// One line joining two extruded items, as the scene shows it and the CAD
// export reads it.
struct ConnectorRecord {
    osg::ref_ptr<osg::Node> node; // the line in the scene; null until the scene builds it
    osg::Vec3d first;
    osg::Vec3d third;
    osg::Vec3d second;
    int type = 0;
};

// The connectors of one extract, in six lists by type: 1 outer ring, 0 inner
// ring, 2 and 3 the same rings at the lowered positions, 4 and 5 the uprights
// of outer and inner items.
struct ExtractedObject {
    static constexpr int typeCount = 6;
    std::array<QVector<ConnectorRecord>, typeCount> connectors;

    const QVector<ConnectorRecord>& outerRing() const { return connectors[1]; }
    const QVector<ConnectorRecord>& innerRing() const { return connectors[0]; }

    // The connectors that join the items, in the order they are made: rings
    // of kind 1 then kind 0 through the points (types 1, 0), the same through
    // the lowered points (2, 3), then each item's upright from its point to
    // its lowered point carrying its foot (4, 5). A ring connector joins an
    // item to the next of its kind, the last one back to the first, and
    // carries the first item's foot as its third position; a kind with a
    // single item gets one connector from it to itself, so it is exported.
    static QVector<ConnectorRecord> plan(const QVector<ExtrudedItem>& items);
};
