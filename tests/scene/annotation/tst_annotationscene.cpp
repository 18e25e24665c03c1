#include <QTemporaryDir>
#include <QtTest>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/TriangleFunctor>
#include <osgText/Text>

#include "scene/annotation/AnnotationNodes.h"
#include "scene/annotation/AnnotationScene.h"
#include "core/annotation/CategoryColour.h"

namespace
{

AnnotationRecord find(const QString& basket, const QString& code)
{
    AnnotationRecord r;
    r.type = "Points";
    r.basket = basket;
    r.dCode = code;
    r.position = {1, 2, 3};
    return r;
}

AnnotationRecord outline(const QString& locus, const QString& category)
{
    AnnotationRecord r;
    r.type = "Polygons";
    r.locus = locus;
    r.locusDesc = category;
    // Concave: an L shape, which a plain polygon primitive would draw wrongly.
    r.vertices = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}};
    return r;
}

struct AreaSum {
    double area = 0.0;
    void operator()(const osg::Vec3& a, const osg::Vec3& b, const osg::Vec3& c)
    {
        area += ((b - a) ^ (c - a)).length() / 2.0;
    }
};

QString labelText(osg::Node* label)
{
    auto* text = dynamic_cast<osgText::Text*>(label->asGeode()->getDrawable(0));
    return text ? QString::fromStdString(text->getText().createUTF8EncodedString()) : QString();
}

} // namespace

class TestAnnotationScene : public QObject
{
    Q_OBJECT
private slots:
    void labelsToggleAndLaterRecordsFollow()
    {
        osg::ref_ptr<osg::Group> root = new osg::Group;
        AnnotationScene scene(root.get());
        scene.addLayer(LayerType::Points, true, ORVALIS_APP_DIR);
        scene.append(LayerType::Points, 0, find("10000", "PO-POTTERY"));
        AnnotationLayer* layer = scene.layer(LayerType::Points, 0);
        QCOMPARE(labelText(layer->labelNode(0)), QString("10000"));
        scene.toggleLabels(LayerType::Points, 0);
        QCOMPARE(layer->labelNode(0)->getNodeMask(), 0u);
        scene.append(LayerType::Points, 0, find("10001", "PO-POTTERY"));
        QCOMPARE(layer->labelNode(1)->getNodeMask(), 0u);
        scene.toggleLabels(LayerType::Points, 0);
        QCOMPARE(layer->labelNode(0)->getNodeMask(), ~0u);
        QCOMPARE(layer->labelNode(1)->getNodeMask(), ~0u);
    }

    void iconsFallBackToGeneric()
    {
        const QString app = ORVALIS_APP_DIR;
        QVERIFY(AnnotationNodes::iconStateSet(app + "/d_code/PO.png"));
        QVERIFY(AnnotationNodes::iconStateSet(app + "/d_code/generic.png"));
        QVERIFY(!AnnotationNodes::iconStateSet(app + "/d_code/none.png"));
        // No icon file at all still gives a marker.
        QTemporaryDir empty;
        osg::ref_ptr<osg::Group> root = new osg::Group;
        AnnotationScene scene(root.get());
        scene.addLayer(LayerType::Points, true, empty.path());
        scene.append(LayerType::Points, 0, find("1", "PO-POTTERY"));
        QCOMPARE(scene.layer(LayerType::Points, 0)->group()->getNumChildren(), 1u);
    }

    void polygonInItsCategoryColour_data()
    {
        QTest::addColumn<QString>("category");
        QTest::newRow("floor") << "FL-FLOOR";
        QTest::newRow("palette") << "QX-QUARRY";
        QTest::newRow("neutral") << "unknown";
    }
    void polygonInItsCategoryColour()
    {
        QFETCH(QString, category);
        const AnnotationNodes::Built built = AnnotationNodes::polygonNode(outline("12", category));
        QCOMPARE(labelText(built.label.get()), QString("L.12"));
        osg::Geode* shape = built.node->asGroup()->getChild(0)->asGeode();
        QVERIFY(shape);
        auto* fill = shape->getDrawable(0)->asGeometry();
        auto* colours = dynamic_cast<osg::Vec4Array*>(fill->getColorArray());
        QCOMPARE(colours->at(0), CategoryColour::colourOf(category));
        // Tessellated into triangles covering exactly the L's area of 3.
        for (unsigned p = 0; p < fill->getNumPrimitiveSets(); ++p)
            QVERIFY(fill->getPrimitiveSet(p)->getMode() != GL_POLYGON);
        osg::TriangleFunctor<AreaSum> sum;
        fill->accept(sum);
        QCOMPARE(sum.area, 3.0);
    }

};

QTEST_MAIN(TestAnnotationScene)
#include "tst_annotationscene.moc"
