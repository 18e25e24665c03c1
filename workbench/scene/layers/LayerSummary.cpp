#include "scene/layers/LayerSummary.h"

#include "core/formats/SparseBundle.h"
#include "common/numbers/NumberText.h"

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/NodeVisitor>
#include <osg/Transform>
#include <osg/ValueObject>

#include <cmath>
#include <limits>

namespace
{

class SummaryVisitor : public osg::NodeVisitor
{
public:
    SummaryVisitor() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN)
    {
        m_matrices.push_back(osg::Matrixd::identity());
    }

    void apply(osg::Transform& transform) override
    {
        osg::Matrixd matrix = m_matrices.back();
        transform.computeLocalToWorldMatrix(matrix, this);
        m_matrices.push_back(matrix);
        readArchiveFigures(transform);
        traverse(transform);
        m_matrices.pop_back();
    }

    void apply(osg::Node& node) override
    {
        readArchiveFigures(node);
        traverse(node);
    }

    void apply(osg::Drawable& drawable) override
    {
        const osg::Geometry* geometry = drawable.asGeometry();
        if (!geometry || !geometry->getVertexArray())
            return;
        for (unsigned i = 0; i < geometry->getNumPrimitiveSets(); ++i) {
            const osg::PrimitiveSet* primitives = geometry->getPrimitiveSet(i);
            if (primitives->getMode() == GL_POINTS)
                m_summary.points = std::max(0ll, m_summary.points) + primitives->getNumIndices();
        }
        // The drawable's own box is kept by OSG; its corners carry it into
        // survey coordinates.
        const osg::BoundingBox& box = drawable.getBoundingBox();
        if (!box.valid())
            return;
        for (unsigned corner = 0; corner < 8; ++corner)
            expand(surveyPoint(box.corner(corner), m_matrices.back()));
    }

    // A float corner is only known to half a float step: of all the numbers
    // in that reach, the one with the fewest decimals is what the file said
    // (1470.2507, not 1470.2507037353516).
    static osg::Vec3d surveyPoint(const osg::Vec3& local, const osg::Matrixd& matrix)
    {
        const osg::Vec3d world = osg::Vec3d(local) * matrix;
        osg::Vec3d shown;
        for (int k = 0; k < 3; ++k) {
            double tolerance = 0.0;
            for (int i = 0; i < 3; ++i)
                tolerance += std::fabs(matrix(i, k)) * NumberText::halfFloatStep(local[i]);
            shown[k] = NumberText::fewestDecimals(world[k], tolerance);
        }
        return shown;
    }

    LayerSummary summary()
    {
        if (m_archiveFigures)
            return m_archive;
        return m_summary;
    }

private:
    void expand(const osg::Vec3d& p)
    {
        if (!m_summary.hasBounds) {
            m_summary.boundsMin = m_summary.boundsMax = p;
            m_summary.hasBounds = true;
            return;
        }
        for (int k = 0; k < 3; ++k) {
            m_summary.boundsMin[k] = std::min(m_summary.boundsMin[k], p[k]);
            m_summary.boundsMax[k] = std::max(m_summary.boundsMax[k], p[k]);
        }
    }

    void readArchiveFigures(const osg::Node& node)
    {
        double count = 0;
        if (m_archiveFigures || !node.getUserValue("pointCount", count))
            return;
        m_archiveFigures = true;
        m_archive.archive = true;
        m_archive.points = static_cast<long long>(count);
        m_archive.hasBounds = node.getUserValue("boundsMin", m_archive.boundsMin) &&
                              node.getUserValue("boundsMax", m_archive.boundsMax);
    }

    std::vector<osg::Matrixd> m_matrices;
    LayerSummary m_summary;
    LayerSummary m_archive;
    bool m_archiveFigures = false;
};

} // namespace

osg::Vec3d LayerSummary::centre() const
{
    osg::Vec3d c = (boundsMin + boundsMax) * 0.5;
    // The halving rounds once: the midpoint of two short decimals is itself short.
    for (int k = 0; k < 3; ++k)
        c[k] =
            NumberText::fewestDecimals(c[k], 4.0 * std::numeric_limits<double>::epsilon() * std::fabs(c[k]));
    return c;
}

LayerSummary LayerSummary::ofNode(const osg::Node* node)
{
    if (!node)
        return LayerSummary();
    SummaryVisitor visitor;
    const_cast<osg::Node*>(node)->accept(visitor);
    return visitor.summary();
}

LayerSummary LayerSummary::ofBundle(const SparseBundle& bundle)
{
    LayerSummary summary;
    summary.cameras = 0;
    for (const SparseBundle::CameraList& cameras : bundle.bundleCameras)
        summary.cameras += static_cast<long long>(cameras.size());
    summary.points = 0;
    for (int count : bundle.pointCounts)
        summary.points += count;
    for (const osg::ref_ptr<osg::Group>& group : bundle.sparsePoints) {
        if (!group)
            continue;
        // Georeferenced point sets hang under their transform chain; the
        // chain's top is what reaches survey coordinates.
        const osg::Node* top = group.get();
        while (top->getNumParents() == 1 && top->getParent(0)->asTransform())
            top = top->getParent(0);
        LayerSummary part = ofNode(top);
        if (!part.hasBounds)
            continue;
        if (!summary.hasBounds) {
            summary.boundsMin = part.boundsMin;
            summary.boundsMax = part.boundsMax;
            summary.hasBounds = true;
        } else {
            for (int k = 0; k < 3; ++k) {
                summary.boundsMin[k] = std::min(summary.boundsMin[k], part.boundsMin[k]);
                summary.boundsMax[k] = std::max(summary.boundsMax[k], part.boundsMax[k]);
            }
        }
    }
    return summary;
}
