#pragma once

#include <QString>

#include <osg/Node>
#include <osg/StateSet>
#include <osg/ref_ptr>

#include "core/annotation/AnnotationRecord.h"

// Builds the scene nodes of one annotation record: a find as its code's icon
// with the basket number beside it, a locus outline as a filled polygon in
// its category colour with "L." + locus at its centre. Icons and labels keep
// their size on screen whatever the scene's scale.
class AnnotationNodes
{
public:
    struct Built {
        osg::ref_ptr<osg::Node> node;  // everything of the record
        osg::ref_ptr<osg::Node> label; // the part the label toggle hides
    };

    // iconState from iconStateSet(); a null one draws a plain marker.
    static Built pointNode(const AnnotationRecord& record, osg::StateSet* iconState);
    static Built polygonNode(const AnnotationRecord& record);
    // The textured, blended state of an icon file; null when it cannot be read.
    static osg::ref_ptr<osg::StateSet> iconStateSet(const QString& iconPath);

    static constexpr float iconPixels = 24.0f;
    static constexpr float labelPixels = 14.0f;
};
