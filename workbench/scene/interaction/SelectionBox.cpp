#include "scene/interaction/SelectionBox.h"

#include <osg/BlendFunc>
#include <osg/Material>
#include <osg/PolygonMode>

namespace
{

constexpr osg::Node::NodeMask hiddenMask = 0x0;
constexpr osg::Node::NodeMask shownMask = ~0x0u;

} // namespace

void SelectionBox::build(osg::Group* root)
{
    if (isBuilt())
        return;
    m_box = new osg::Box(osg::Vec3(0.0f, 0.0f, 0.0f), 1.0f);
    m_box->setHalfLengths(m_halfLengths);
    m_drawable = new osg::ShapeDrawable(m_box.get());
    m_drawable->setColor(osg::Vec4(0.0f, 1.0f, 0.0f, 0.7f));
    m_drawable->setUseDisplayList(false);

    m_geode = new osg::Geode;
    m_geode->addDrawable(m_drawable.get());
    osg::StateSet* state = m_geode->getOrCreateStateSet();
    osg::ref_ptr<osg::Material> material = new osg::Material;
    material->setColorMode(osg::Material::DIFFUSE);
    material->setDiffuse(osg::Material::FRONT_AND_BACK, osg::Vec4(1.0f, 0.0f, 0.0f, 0.7f));
    state->setAttributeAndModes(material.get());
    state->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
    state->setMode(GL_BLEND, osg::StateAttribute::ON);
    state->setMode(GL_LIGHTING, osg::StateAttribute::ON);
    state->setAttributeAndModes(
        new osg::PolygonMode(osg::PolygonMode::FRONT_AND_BACK, osg::PolygonMode::FILL),
        osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);

    m_transform = new osg::PositionAttitudeTransform;
    m_transform->addChild(m_geode.get());
    m_transform->setNodeMask(hiddenMask);
    applyTransform();
    root->addChild(m_transform.get());
}

void SelectionBox::show()
{
    if (isBuilt())
        m_transform->setNodeMask(shownMask);
}

void SelectionBox::hide()
{
    if (isBuilt())
        m_transform->setNodeMask(hiddenMask);
}

void SelectionBox::setCentre(const osg::Vec3d& centre)
{
    m_centre = centre;
    applyTransform();
}

void SelectionBox::setCentreX(double x)
{
    m_centre.x() = x;
    applyTransform();
}

void SelectionBox::setCentreY(double y)
{
    m_centre.y() = y;
    applyTransform();
}

void SelectionBox::setCentreZ(double z)
{
    m_centre.z() = z;
    applyTransform();
}

void SelectionBox::setRotation(double degrees)
{
    m_rotation = degrees;
    applyTransform();
}

void SelectionBox::setWidth(double x)
{
    m_halfLengths.x() = float(x / 2.0);
    applySize();
}

void SelectionBox::setDepth(double y)
{
    m_halfLengths.y() = float(y / 2.0);
    applySize();
}

void SelectionBox::setHeight(double z)
{
    m_halfLengths.z() = float(z / 2.0);
    applySize();
}

void SelectionBox::reset()
{
    m_centre = unplaced();
    m_rotation = 0.0;
    hide();
    applyTransform();
}

void SelectionBox::applyTransform()
{
    if (!isBuilt())
        return;
    m_transform->setPosition(m_centre);
    m_transform->setAttitude(osg::Quat(osg::DegreesToRadians(m_rotation), osg::Vec3d(0.0, 0.0, 1.0)));
}

void SelectionBox::applySize()
{
    if (!isBuilt())
        return;
    m_box->setHalfLengths(m_halfLengths);
    m_drawable->build();
    m_drawable->dirtyBound();
}

std::array<osg::Vec3d, 8> SelectionBox::corners() const
{
    // Before the box is built its drawable would have the same extent.
    osg::BoundingBox bounds(-m_halfLengths, m_halfLengths);
    if (isBuilt())
        bounds = m_drawable->getBoundingBox();
    const osg::Quat attitude(osg::DegreesToRadians(m_rotation), osg::Vec3d(0.0, 0.0, 1.0));
    std::array<osg::Vec3d, 8> result;
    for (unsigned i = 0; i < 8; ++i) {
        const osg::Vec3d corner((i & 1) ? bounds.xMax() : bounds.xMin(),
                                (i & 2) ? bounds.yMax() : bounds.yMin(),
                                (i & 4) ? bounds.zMax() : bounds.zMin());
        result[i] = attitude * corner + m_centre;
    }
    return result;
}

osg::Polytope SelectionBox::polytope() const
{
    const std::array<osg::Vec3d, 8> c = corners();
    osg::Vec3d middle;
    for (const osg::Vec3d& corner : c)
        middle += corner;
    middle /= 8.0;
    // Three corners of each face: x min/max, y min/max, z min/max.
    static const int faces[6][3] = {{0, 2, 4}, {1, 3, 5}, {0, 1, 4}, {2, 3, 6}, {0, 1, 2}, {4, 5, 6}};
    osg::Polytope polytope;
    for (const auto& face : faces) {
        osg::Plane plane(c[size_t(face[0])], c[size_t(face[1])], c[size_t(face[2])]);
        if (plane.distance(middle) < 0.0)
            plane.flip();
        polytope.add(plane);
    }
    return polytope;
}
