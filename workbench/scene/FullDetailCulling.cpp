#include "FullDetailCulling.h"

#include <osg/CullStack>
#include <osg/NodeVisitor>

void FullDetailCulling::operator()(osg::Node* node, osg::NodeVisitor* visitor)
{
    osg::CullStack* cull = visitor->asCullStack();
    if (!cull || cull->getProjectionCullingStack().empty()) {
        traverse(node, visitor);
        return;
    }
    // Transforms below start their culling sets from the projection's, so
    // both the current set and that one lose the small-feature test.
    osg::CullingSet& current = cull->getCurrentCullingSet();
    osg::CullingSet& projection = cull->getProjectionCullingStack().back();
    const osg::CullingSet::Mask currentMask = current.getCullingMask();
    const osg::CullingSet::Mask projectionMask = projection.getCullingMask();
    current.setCullingMask(currentMask & ~osg::CullingSet::SMALL_FEATURE_CULLING);
    projection.setCullingMask(projectionMask & ~osg::CullingSet::SMALL_FEATURE_CULLING);
    traverse(node, visitor);
    current.setCullingMask(currentMask);
    projection.setCullingMask(projectionMask);
}
