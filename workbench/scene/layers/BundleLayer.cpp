#include "scene/layers/BundleLayer.h"

#include "core/georef/GeoReference.h"
#include "scene/layers/BundleSceneBuilder.h"

BundleLayer::BundleLayer(const LayerOptions& options, std::unique_ptr<SparseBundle> bundle, osg::Group* root,
                         const NvmReader::VertexArrays& vertices, const NvmReader::ColourArrays& colours,
                         const GeoReference* geo, const osg::Vec3d& offset)
    : SceneLayer(options, nullptr), m_bundle(std::move(bundle))
{
    BundleSceneBuilder(root, geo, offset).build(*m_bundle, vertices, colours);
}

BundleLayer::~BundleLayer() = default;

osg::Node* BundleLayer::node() const
{
    return m_bundle->sparsePoints.empty() ? nullptr : m_bundle->sparsePoints.front().get();
}

void BundleLayer::applyVisible(bool visible)
{
    const osg::Node::NodeMask mask = visible ? shownMask : hiddenMask;
    for (auto& cameras : m_bundle->bundleCameras)
        for (auto& camera : cameras)
            if (camera && camera->transform)
                camera->transform->setNodeMask(mask);
    for (auto& group : m_bundle->sparsePoints)
        if (group)
            group->setNodeMask(mask);
}

void BundleLayer::detach(osg::Group* root)
{
    applyVisible(false);
    for (auto& cameras : m_bundle->bundleCameras)
        for (auto& camera : cameras)
            if (camera && camera->transform)
                detachFromRoot(root, camera->transform.get());
    for (auto& group : m_bundle->sparsePoints)
        if (group)
            detachFromRoot(root, group.get());
}

LayerSummary BundleLayer::summary() const
{
    return LayerSummary::ofBundle(*m_bundle);
}

bool BundleLayer::holdsOrigin() const
{
    for (const auto& group : m_bundle->sparsePoints)
        if (group && group->getNumParents() > 0)
            return true;
    return false;
}

int BundleLayer::referenceSystem() const
{
    GeoReference geo;
    if (m_options.file.isEmpty() || !GeoReference::read(GeoReference::companionFileName(file()), geo))
        return 0;
    return geo.epsg > 0 ? geo.epsg : 0;
}
