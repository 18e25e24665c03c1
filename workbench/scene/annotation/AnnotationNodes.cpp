#include "scene/annotation/AnnotationNodes.h"

#include <QImage>

#include <osg/AutoTransform>
#include <osg/BlendFunc>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Image>
#include <osg/LineWidth>
#include <osg/MatrixTransform>
#include <osg/Texture2D>
#include <osgText/Text>
#include <osgUtil/Tessellator>

#include "core/annotation/CategoryColour.h"
#include "core/formats/SceneOrigin.h"

namespace
{

osg::ref_ptr<osgText::Text> makeText(const QString& text, const osg::Vec3f& position, float size,
                                     osgText::Text::AlignmentType alignment)
{
    osg::ref_ptr<osgText::Text> label = new osgText::Text;
    label->setText(text.toStdString(), osgText::String::ENCODING_UTF8);
    label->setPosition(position);
    label->setCharacterSize(size);
    label->setAlignment(alignment);
    label->setColor(osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f));
    label->setBackdropType(osgText::Text::OUTLINE);
    label->setBackdropColor(osg::Vec4(0.0f, 0.0f, 0.0f, 1.0f));
    return label;
}

// Screen-sized markers must not count with their pixel size as scene units
// when views are framed: they count as the point they mark, and are never
// culled for being small.
class PointBound : public osg::Node::ComputeBoundingSphereCallback
{
public:
    explicit PointBound(const osg::Vec3d& at) : m_at(at) {}
    osg::BoundingSphere computeBound(const osg::Node&) const override
    {
        return osg::BoundingSphere(osg::Vec3(m_at), 0.0f);
    }

private:
    osg::Vec3d m_at;
};

void boundAsPoint(osg::Node* node, const osg::Vec3d& at)
{
    node->setComputeBoundingSphereCallback(new PointBound(at));
    node->setCullingActive(false);
}

void setUnlitTransparent(osg::StateSet* state)
{
    state->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    state->setMode(GL_BLEND, osg::StateAttribute::ON);
    state->setAttributeAndModes(new osg::BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA));
    state->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
}

// Labels are read over everything, the category fills included.
void setLabelState(osg::StateSet* state)
{
    state->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    state->setMode(GL_DEPTH_TEST, osg::StateAttribute::OFF);
    state->setRenderBinDetails(20, "DepthSortedBin");
}

osg::ref_ptr<osg::Image> toOsgImage(const QImage& source)
{
    // OSG's origin is the bottom-left corner.
    const QImage rgba = source.convertToFormat(QImage::Format_RGBA8888).mirrored();
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(rgba.width(), rgba.height(), 1, GL_RGBA, GL_UNSIGNED_BYTE);
    for (int y = 0; y < rgba.height(); ++y)
        memcpy(image->data(0, y), rgba.constScanLine(y), size_t(rgba.width()) * 4);
    return image;
}

} // namespace

osg::ref_ptr<osg::StateSet> AnnotationNodes::iconStateSet(const QString& iconPath)
{
    const QImage source(iconPath);
    if (source.isNull())
        return nullptr;
    osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D(toOsgImage(source).get());
    texture->setFilter(osg::Texture::MIN_FILTER, osg::Texture::LINEAR);
    texture->setFilter(osg::Texture::MAG_FILTER, osg::Texture::LINEAR);
    texture->setWrap(osg::Texture::WRAP_S, osg::Texture::CLAMP_TO_EDGE);
    texture->setWrap(osg::Texture::WRAP_T, osg::Texture::CLAMP_TO_EDGE);
    osg::ref_ptr<osg::StateSet> state = new osg::StateSet;
    state->setTextureAttributeAndModes(0, texture.get());
    setUnlitTransparent(state.get());
    return state;
}

AnnotationNodes::Built AnnotationNodes::pointNode(const AnnotationRecord& record, osg::StateSet* iconState)
{
    // Under the auto transform one unit is one pixel, facing the viewer.
    osg::ref_ptr<osg::AutoTransform> place = new osg::AutoTransform;
    place->setPosition(record.position);
    place->setAutoRotateMode(osg::AutoTransform::ROTATE_TO_SCREEN);
    place->setAutoScaleToScreen(true);

    const float h = iconPixels / 2.0f;
    osg::ref_ptr<osg::Geometry> quad = osg::createTexturedQuadGeometry(
        osg::Vec3(-h, -h, 0.0f), osg::Vec3(iconPixels, 0.0f, 0.0f), osg::Vec3(0.0f, iconPixels, 0.0f));
    osg::ref_ptr<osg::Vec4Array> colour = new osg::Vec4Array;
    colour->push_back(iconState ? osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f) : osg::Vec4(1.0f, 0.5f, 0.0f, 1.0f));
    quad->setColorArray(colour.get(), osg::Array::BIND_OVERALL);
    osg::ref_ptr<osg::Geode> icon = new osg::Geode;
    icon->addDrawable(quad.get());
    if (iconState)
        icon->setStateSet(iconState);
    else
        setUnlitTransparent(icon->getOrCreateStateSet());
    place->addChild(icon.get());

    osg::ref_ptr<osg::Geode> label = new osg::Geode;
    label->addDrawable(
        makeText(record.basket, osg::Vec3f(h + 2.0f, 0.0f, 0.0f), labelPixels, osgText::Text::LEFT_CENTER));
    setLabelState(label->getOrCreateStateSet());
    place->addChild(label.get());
    boundAsPoint(place.get(), record.position);
    return {place, label};
}

AnnotationNodes::Built AnnotationNodes::polygonNode(const AnnotationRecord& record)
{
    const osg::Vec4f colour = CategoryColour::colourOf(record.locusDesc);
    // An outline at survey coordinates is drawn relative to its kilometre
    // corner, under a transform adding it back: floats of the full
    // coordinates would be 25 cm coarse.
    const osg::Vec3d origin =
        record.vertices.isEmpty() ? osg::Vec3d() : SceneOrigin::localOriginFor(record.vertices.first());
    osg::ref_ptr<osg::Group> group =
        origin == osg::Vec3d() ? new osg::Group : new osg::MatrixTransform(osg::Matrixd::translate(origin));
    osg::ref_ptr<osg::Geode> shape = new osg::Geode;
    setUnlitTransparent(shape->getOrCreateStateSet());

    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::Vec3d centre;
    for (const osg::Vec3d& v : record.vertices) {
        vertices->push_back(osg::Vec3(v - origin));
        centre += v - origin;
    }
    if (!record.vertices.isEmpty())
        centre /= double(record.vertices.size());

    if (vertices->size() >= 3) {
        osg::ref_ptr<osg::Geometry> fill = new osg::Geometry;
        fill->setVertexArray(vertices.get());
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        colours->push_back(colour);
        fill->setColorArray(colours.get(), osg::Array::BIND_OVERALL);
        fill->addPrimitiveSet(new osg::DrawArrays(GL_POLYGON, 0, GLsizei(vertices->size())));
        // Locus outlines are rarely convex.
        osg::ref_ptr<osgUtil::Tessellator> tessellator = new osgUtil::Tessellator;
        tessellator->setTessellationType(osgUtil::Tessellator::TESS_TYPE_GEOMETRY);
        tessellator->setWindingType(osgUtil::Tessellator::TESS_WINDING_ODD);
        tessellator->retessellatePolygons(*fill);
        shape->addDrawable(fill.get());
    }
    if (!vertices->empty()) {
        osg::ref_ptr<osg::Geometry> outline = new osg::Geometry;
        outline->setVertexArray(new osg::Vec3Array(vertices->begin(), vertices->end()));
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        colours->push_back(osg::Vec4f(colour.r(), colour.g(), colour.b(), 1.0f));
        outline->setColorArray(colours.get(), osg::Array::BIND_OVERALL);
        outline->addPrimitiveSet(new osg::DrawArrays(GL_LINE_LOOP, 0, GLsizei(vertices->size())));
        outline->getOrCreateStateSet()->setAttributeAndModes(new osg::LineWidth(2.0f));
        shape->addDrawable(outline.get());
    }
    group->addChild(shape.get());

    osg::ref_ptr<osgText::Text> text =
        makeText(QStringLiteral("L.") + record.locus, osg::Vec3(centre), labelPixels, osgText::Text::CENTER_CENTER);
    text->setCharacterSizeMode(osgText::Text::SCREEN_COORDS);
    text->setAxisAlignment(osgText::Text::SCREEN);
    osg::ref_ptr<osg::Geode> label = new osg::Geode;
    label->addDrawable(text.get());
    setLabelState(label->getOrCreateStateSet());
    boundAsPoint(label.get(), centre);
    group->addChild(label.get());
    return {group, label};
}
