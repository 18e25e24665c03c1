#include "scene/sensors/SensorScene.h"

#include "core/sensors/SensorNetwork.h"
#include "scene/sensors/SensorSmoke.h"

#include <osg/BlendFunc>
#include <osgUtil/IntersectionVisitor>
#include <osgUtil/LineSegmentIntersector>

namespace
{

constexpr osg::Node::NodeMask hiddenMask = 0x0;
constexpr osg::Node::NodeMask shownMask = ~0x0u;

const osg::Vec4 orange(1.0f, 0.5f, 0.0f, 1.0f);
const osg::Vec4 panelColour(0.1f, 0.1f, 0.15f, 0.75f);
constexpr float characterSize = 1.8f; // six lines of up to 16 characters fit the panel

void makeTransparent(osg::StateSet* state)
{
    state->setMode(GL_BLEND, osg::StateAttribute::ON);
    state->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    state->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
}

osg::ref_ptr<osg::Geometry> pointGeometry(osg::Vec3Array* vertices, osg::Vec4Array* colours,
                                          osg::Array::Binding binding)
{
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(vertices);
    geometry->setColorArray(colours, binding);
    geometry->addPrimitiveSet(new osg::DrawArrays(GL_POINTS, 0, GLsizei(vertices->size())));
    geometry->setUseDisplayList(false);
    geometry->setUseVertexBufferObjects(true);
    return geometry;
}

} // namespace

SensorScene::SensorScene(const std::string& smokeTexture)
    : m_smokeTexture(smokeTexture), m_group(new osg::Group), m_spheres(new osg::Group)
{
}

SensorScene::~SensorScene() = default;

void SensorScene::build()
{
    if (m_built)
        return;
    m_nodes = SensorNetwork::initialNodes();
    m_group->addChild(m_spheres.get());
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    for (const SensorNode& node : m_nodes) {
        osg::ref_ptr<osg::ShapeDrawable> sphere =
            new osg::ShapeDrawable(new osg::Sphere(node.position, sphereRadius));
        sphere->setColor(node.colour);
        osg::ref_ptr<osg::Geode> geode = new osg::Geode;
        geode->addDrawable(sphere.get());
        makeTransparent(geode->getOrCreateStateSet());
        m_spheres->addChild(geode.get());
        m_sphereDrawables.push_back(sphere);
        vertices->push_back(node.position);
        colours->push_back(node.colour);
        addPopup(node);
    }

    m_colourPoints = pointGeometry(vertices.get(), colours.get(), osg::Array::BIND_PER_VERTEX);
    osg::ref_ptr<osg::Vec4Array> orangeColour = new osg::Vec4Array;
    orangeColour->push_back(orange);
    m_orangePoints = pointGeometry(vertices.get(), orangeColour.get(), osg::Array::BIND_OVERALL);
    osg::ref_ptr<osg::Geode> points = new osg::Geode;
    points->addDrawable(m_colourPoints.get());
    points->addDrawable(m_orangePoints.get());
    points->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    m_group->addChild(points.get());
    m_built = true;
}

void SensorScene::addPopup(const SensorNode& node)
{
    const osg::Vec3f& p = node.position;
    const float left = p.x() + popupOffsetX;
    const float right = left + popupSize;
    const float bottom = p.y() - popupSize / 2;
    const float top = p.y() + popupSize / 2;
    const float z = p.z() + popupHeight;

    osg::ref_ptr<osg::Vec3Array> corners = new osg::Vec3Array;
    corners->push_back(osg::Vec3(left, bottom, z));
    corners->push_back(osg::Vec3(right, bottom, z));
    corners->push_back(osg::Vec3(right, top, z));
    corners->push_back(osg::Vec3(left, top, z));
    osg::ref_ptr<osg::Vec4Array> colour = new osg::Vec4Array;
    colour->push_back(panelColour);
    osg::ref_ptr<osg::Geometry> panel = new osg::Geometry;
    panel->setVertexArray(corners.get());
    panel->setColorArray(colour.get(), osg::Array::BIND_OVERALL);
    panel->addPrimitiveSet(new osg::DrawArrays(GL_QUADS, 0, 4));

    // Flat in the x-y plane, readable from above, a little over the panel.
    osg::ref_ptr<osgText::Text> label = new osgText::Text;
    label->setAxisAlignment(osgText::Text::XY_PLANE);
    label->setAlignment(osgText::Text::LEFT_TOP);
    label->setCharacterSize(characterSize);
    label->setColor(osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f));
    label->setPosition(osg::Vec3(left + 1.0f, top - 1.0f, z + 0.05f));
    label->setText(SensorNetwork::popupText(node).toStdString());

    osg::ref_ptr<osg::Geode> popup = new osg::Geode;
    popup->addDrawable(panel.get());
    popup->addDrawable(label.get());
    makeTransparent(popup->getOrCreateStateSet());
    popup->setNodeMask(hiddenMask);
    m_group->addChild(popup.get());
    m_popups.push_back(popup);
}

void SensorScene::setNodes(const QVector<SensorNode>& nodes)
{
    if (!m_built || nodes.size() != m_nodes.size())
        return;
    // Where smoke rises is this side's business; the readings bring the rest.
    for (int i = 0; i < m_nodes.size(); ++i) {
        const bool smokeOn = m_nodes[i].smokeOn;
        m_nodes[i] = nodes[i];
        m_nodes[i].smokeOn = smokeOn;
    }
    auto* colours = static_cast<osg::Vec4Array*>(m_colourPoints->getColorArray());
    for (int i = 0; i < m_nodes.size(); ++i) {
        const osg::Vec4f& colour = m_nodes[i].colour;
        if ((*colours)[size_t(i)] != colour) {
            (*colours)[size_t(i)] = colour;
            m_sphereDrawables[size_t(i)]->setColor(colour);
        }
    }
    colours->dirty();
    if (valid(m_popupNode))
        popupLabel(m_popupNode)->setText(SensorNetwork::popupText(m_nodes[m_popupNode]).toStdString());
    changed();
}

osg::ShapeDrawable* SensorScene::sphere(int node) const
{
    return valid(node) ? m_sphereDrawables[size_t(node)].get() : nullptr;
}

int SensorScene::pick(const osg::Vec3d& start, const osg::Vec3d& end) const
{
    if (!m_built)
        return -1;
    osg::ref_ptr<osgUtil::LineSegmentIntersector> line =
        new osgUtil::LineSegmentIntersector(osgUtil::Intersector::MODEL, start, end);
    osgUtil::IntersectionVisitor visitor(line.get());
    m_spheres->accept(visitor);
    if (!line->containsIntersections())
        return -1;
    const osg::Drawable* hit = line->getFirstIntersection().drawable.get();
    for (size_t i = 0; i < m_sphereDrawables.size(); ++i)
        if (m_sphereDrawables[i].get() == hit)
            return int(i);
    return -1;
}

osg::Geode* SensorScene::popup(int node) const
{
    return valid(node) ? m_popups[size_t(node)].get() : nullptr;
}

osgText::Text* SensorScene::popupLabel(int node) const
{
    return valid(node) ? static_cast<osgText::Text*>(m_popups[size_t(node)]->getDrawable(1)) : nullptr;
}

osg::Geometry* SensorScene::popupPanel(int node) const
{
    return valid(node) ? m_popups[size_t(node)]->getDrawable(0)->asGeometry() : nullptr;
}

bool SensorScene::showPopup(int node)
{
    if (!valid(node))
        return hidePopup();
    if (node == m_popupNode)
        return false;
    if (valid(m_popupNode))
        m_popups[size_t(m_popupNode)]->setNodeMask(hiddenMask);
    popupLabel(node)->setText(SensorNetwork::popupText(m_nodes[node]).toStdString());
    m_popups[size_t(node)]->setNodeMask(shownMask);
    m_popupNode = node;
    changed();
    return true;
}

bool SensorScene::hidePopup()
{
    if (!valid(m_popupNode))
        return false;
    m_popups[size_t(m_popupNode)]->setNodeMask(hiddenMask);
    m_popupNode = -1;
    changed();
    return true;
}

void SensorScene::startSmoke(int node)
{
    if (!m_built || !valid(node))
        return;
    m_nodes[node].smokeOn = true;
    if (m_smoke)
        return;
    m_smoke = std::make_unique<SensorSmoke>(m_nodes[node].position, m_smokeTexture);
    m_group->addChild(m_smoke->node());
    changed();
}

void SensorScene::stopSmoke()
{
    if (!m_smoke)
        return;
    m_group->removeChild(m_smoke->node());
    m_smoke.reset();
    for (SensorNode& node : m_nodes)
        node.smokeOn = false;
    changed();
}

bool SensorScene::smokeRunning() const
{
    return m_smoke != nullptr;
}

void SensorScene::changed() const
{
    if (m_changed)
        m_changed();
}
