#include "scene/layers/FullDetailCulling.h"

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
    // both the current set and that one lose the small-feature test. The
    // stacks grow while the subgraph is traversed: the sets are looked up
    // again afterwards, never kept by reference across the traversal.
    const osg::CullingSet::Mask currentMask = cull->getCurrentCullingSet().getCullingMask();
    const osg::CullingSet::Mask projectionMask = cull->getProjectionCullingStack().back().getCullingMask();
    cull->getCurrentCullingSet().setCullingMask(currentMask & ~osg::CullingSet::SMALL_FEATURE_CULLING);
    cull->getProjectionCullingStack().back().setCullingMask(projectionMask &
                                                            ~osg::CullingSet::SMALL_FEATURE_CULLING);
    traverse(node, visitor);
    cull->getCurrentCullingSet().setCullingMask(currentMask);
    cull->getProjectionCullingStack().back().setCullingMask(projectionMask);
}
