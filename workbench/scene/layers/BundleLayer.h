#pragma once

#include <memory>

#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "scene/layers/SceneLayer.h"

class GeoReference;

// A reconstruction (sparse bundle): its point sets and camera frusta, built
// into the scene by BundleSceneBuilder, placed by its georeference.
class BundleLayer : public SceneLayer
{
public:
    // Builds the bundle's nodes under root, shown; offset is what its
    // points are stored relative to, geo (when given) places them.
    BundleLayer(const LayerOptions& options, std::unique_ptr<SparseBundle> bundle, osg::Group* root,
                const NvmReader::VertexArrays& vertices, const NvmReader::ColourArrays& colours,
                const GeoReference* geo, const osg::Vec3d& offset);
    ~BundleLayer() override;

    SparseBundle& bundle() const { return *m_bundle; }

    osg::Node* node() const override;
    void detach(osg::Group* root) override;
    LayerSummary summary() const override;
    bool holdsOrigin() const override;
    // The system of its georeference companion file ("sparse.txt"), if it names one.
    int referenceSystem() const override;

protected:
    void applyVisible(bool visible) override;

private:
    std::unique_ptr<SparseBundle> m_bundle;
};
