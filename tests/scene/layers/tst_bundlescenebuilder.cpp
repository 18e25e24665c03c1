#include <QtTest>

#include <osg/ComputeBoundsVisitor>
#include <osg/Geometry>
#include <osg/PolygonMode>

#include "scene/layers/BundleSceneBuilder.h"
#include "core/formats/SparseBundle.h"

namespace
{

osg::Matrixd worldMatrixOf(osg::Node* node)
{
    const osg::NodePathList paths = node->getParentalNodePaths();
    return paths.empty() ? osg::Matrixd::identity() : osg::computeLocalToWorld(paths.front());
}

GeoReference makeGeo()
{
    GeoReference geo;
    // A right-angle turn about z (x -> y), as three file rows.
    geo.rotation = osg::Matrixd(0, -1, 0, 0, //
                                1, 0, 0, 0,  //
                                0, 0, 1, 0,  //
                                0, 0, 0, 1);
    geo.translation.set(500000, 4000000, 120);
    geo.scale.set(2, 3, 4);
    return geo;
}

std::unique_ptr<BundleCamera> camera(const osg::Vec3f& centre, const osg::Quat& q)
{
    auto c = std::make_unique<BundleCamera>();
    c->centre = centre;
    c->rotation[0] = float(q.x());
    c->rotation[1] = float(q.y());
    c->rotation[2] = float(q.z());
    c->rotation[3] = float(q.w());
    return c;
}

} // namespace

Q_DECLARE_METATYPE(osg::Vec3d)

class TestBundleSceneBuilder : public QObject
{
    Q_OBJECT
private slots:
    void frustumGeometry()
    {
        osg::ref_ptr<osg::Geode> geode = BundleSceneBuilder::makeFrustum();
        QVERIFY(!geode->getCullingActive());
        QCOMPARE(geode->getNumDrawables(), 1u);
        auto* geometry = geode->getDrawable(0)->asGeometry();
        QVERIFY(geometry);
        auto* v = static_cast<osg::Vec3Array*>(geometry->getVertexArray());
        QCOMPARE(v->size(), size_t(5));
        QCOMPARE((*v)[0], osg::Vec3(-0.5f, 0.5f, 1));
        QCOMPARE((*v)[2], osg::Vec3(0.5f, -0.5f, 1));
        QCOMPARE((*v)[4], osg::Vec3(0, 0, 0));
        auto* c = static_cast<osg::Vec4Array*>(geometry->getColorArray());
        QCOMPARE(c->size(), size_t(5));
        QCOMPARE(c->getBinding(), osg::Array::BIND_PER_VERTEX);
        QCOMPARE((*c)[3], osg::Vec4(1, 1, 1, 0.8f));

        const std::vector<std::vector<unsigned>> expected = {
            {3, 2, 1, 0}, {0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}};
        QCOMPARE(geometry->getNumPrimitiveSets(), 5u);
        for (unsigned p = 0; p < 5; ++p) {
            auto* elements = dynamic_cast<osg::DrawElementsUInt*>(geometry->getPrimitiveSet(p));
            QVERIFY(elements);
            QCOMPARE(elements->getMode(), GLenum(p == 0 ? GL_QUADS : GL_TRIANGLES));
            QCOMPARE(std::vector<unsigned>(elements->begin(), elements->end()), expected[p]);
        }
        const osg::StateSet* state = geode->getStateSet();
        QCOMPARE(state->getRenderingHint(), int(osg::StateSet::TRANSPARENT_BIN));
        QVERIFY(state->getMode(GL_BLEND) & osg::StateAttribute::ON);
        QCOMPARE(state->getMode(GL_LIGHTING) & osg::StateAttribute::ON, 0u);
        auto* mode =
            dynamic_cast<const osg::PolygonMode*>(state->getAttribute(osg::StateAttribute::POLYGONMODE));
        QVERIFY(mode);
        QCOMPARE(mode->getMode(osg::PolygonMode::FRONT), osg::PolygonMode::LINE);
        QCOMPARE(mode->getMode(osg::PolygonMode::BACK), osg::PolygonMode::LINE);
    }

    void cameraPlacement()
    {
        // A camera turned 90 degrees about y: the stored rotation takes world
        // to camera axes, so the frustum's apex sits at the centre and its
        // optical axis (+z in camera space) turns the other way.
        const osg::Quat q(osg::PI_2, osg::Vec3d(0, 1, 0));
        auto c = camera(osg::Vec3f(10, 20, 30), q);
        osg::ref_ptr<osg::MatrixTransform> t = BundleSceneBuilder::makeCameraTransform(*c);
        const osg::Matrixd m = t->getMatrix();
        const osg::Vec3d apex = osg::Vec3d(0, 0, 0) * m;
        const osg::Vec3d imageCentre = osg::Vec3d(0, 0, 1) * m;
        QVERIFY((apex - osg::Vec3d(10, 20, 30)).length() < 1e-5);
        const osg::Vec3d axis = imageCentre - apex;
        const osg::Vec3d expectedAxis = q.inverse() * osg::Vec3d(0, 0, 1);
        QVERIFY2((axis - expectedAxis).length() < 1e-5,
                 qPrintable(QString("%1 %2 %3").arg(axis.x()).arg(axis.y()).arg(axis.z())));
    }

    void pointGroups()
    {
        osg::ref_ptr<osg::Group> root = new osg::Group;
        SparseBundle bundle;
        NvmReader::VertexArrays v(2);
        NvmReader::ColourArrays c(2);
        for (int m = 0; m < 2; ++m) {
            v[m] = new osg::Vec3Array;
            c[m] = new osg::Vec4Array;
            for (int i = 0; i < 3 + m; ++i) {
                v[m]->push_back(osg::Vec3(float(i), 0, 0));
                c[m]->push_back(osg::Vec4(0, 1, 0, 1));
            }
        }
        BundleSceneBuilder(root.get(), nullptr).build(bundle, v, c);
        QCOMPARE(bundle.sparsePoints.size(), size_t(2));
        QCOMPARE(bundle.pointCounts, (std::vector<int>{3, 4}));
        QCOMPARE(root->getNumChildren(), 2u);
        osg::Group* group = bundle.sparsePoints[1].get();
        QCOMPARE(group->getParent(0), root.get());
        const osg::StateAttribute::GLModeValue lighting = group->getStateSet()->getMode(GL_LIGHTING);
        QCOMPARE(lighting, osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE);
        auto* geode = group->getChild(0)->asGeode();
        QVERIFY(geode && !geode->getCullingActive());
        auto* geometry = geode->getDrawable(0)->asGeometry();
        QVERIFY(!geometry->getUseDisplayList());
        QVERIFY(geometry->getUseVertexBufferObjects());
        QCOMPARE(geometry->getVertexArray()->getVertexBufferObject()->getUsage(), GLenum(GL_STREAM_DRAW_ARB));
        auto* points = dynamic_cast<osg::DrawArrays*>(geometry->getPrimitiveSet(0));
        QVERIFY(points);
        QCOMPARE(points->getMode(), GLenum(GL_POINTS));
        QCOMPARE(points->getCount(), 4);
        QCOMPARE(geometry->getColorArray()->getBinding(), osg::Array::BIND_PER_VERTEX);
    }

    void mismatchedArraysAreSkipped()
    {
        osg::ref_ptr<osg::Group> root = new osg::Group;
        SparseBundle bundle;
        NvmReader::VertexArrays v{new osg::Vec3Array(3)};
        NvmReader::ColourArrays c{new osg::Vec4Array(2)};
        BundleSceneBuilder(root.get(), nullptr).build(bundle, v, c);
        QVERIFY(bundle.sparsePoints.empty());
        QCOMPARE(root->getNumChildren(), 0u);
    }

    void georeferenceChainPlacesPoints_data()
    {
        QTest::addColumn<osg::Vec3d>("p");
        QTest::newRow("origin") << osg::Vec3d(0, 0, 0);
        QTest::newRow("x axis") << osg::Vec3d(1, 0, 0);
        QTest::newRow("general") << osg::Vec3d(1.5, -2, 7);
    }
    void georeferenceChainPlacesPoints()
    {
        QFETCH(osg::Vec3d, p);
        const GeoReference geo = makeGeo();
        osg::ref_ptr<osg::Group> root = new osg::Group;
        SparseBundle bundle;
        NvmReader::VertexArrays v{new osg::Vec3Array};
        NvmReader::ColourArrays c{new osg::Vec4Array};
        v[0]->push_back(p);
        c[0]->push_back(osg::Vec4(1, 1, 1, 1));
        SparseBundle::CameraList cameras;
        cameras.push_back(camera(osg::Vec3f(p), osg::Quat()));
        bundle.bundleCameras.push_back(std::move(cameras));
        BundleSceneBuilder(root.get(), &geo).build(bundle, v, c);

        // t + s (R p), with R's rows as written in the file.
        const osg::Vec3d rp(
            geo.rotation(0, 0) * p.x() + geo.rotation(0, 1) * p.y() + geo.rotation(0, 2) * p.z(),
            geo.rotation(1, 0) * p.x() + geo.rotation(1, 1) * p.y() + geo.rotation(1, 2) * p.z(),
            geo.rotation(2, 0) * p.x() + geo.rotation(2, 1) * p.y() + geo.rotation(2, 2) * p.z());
        const osg::Vec3d expected(geo.translation.x() + geo.scale.x() * rp.x(),
                                  geo.translation.y() + geo.scale.y() * rp.y(),
                                  geo.translation.z() + geo.scale.z() * rp.z());

        QCOMPARE(root->getNumChildren(), 2u);
        osg::Group* group = bundle.sparsePoints[0].get();
        const osg::Vec3d point = p * worldMatrixOf(group);
        QVERIFY2(
            (point - expected).length() < 1e-6,
            qPrintable(
                QString("%1 %2 %3").arg(point.x(), 0, 'f').arg(point.y(), 0, 'f').arg(point.z(), 0, 'f')));
        // The frustum's apex (its camera centre) lands on the same spot.
        osg::MatrixTransform* frustum = bundle.bundleCameras[0][0]->transform.get();
        const osg::Vec3d apex = osg::Vec3d(0, 0, 0) * worldMatrixOf(frustum->getChild(0));
        QVERIFY((apex - expected).length() < 1e-6);

        // Outermost first: translate, scale, rotate, then the node.
        osg::Node* top = root->getChild(0);
        auto* translate = dynamic_cast<osg::MatrixTransform*>(top);
        QVERIFY(translate);
        QCOMPARE(translate->getMatrix().getTrans(), geo.translation);
        auto* scale = dynamic_cast<osg::MatrixTransform*>(translate->getChild(0));
        QVERIFY(scale);
        auto* rotate = dynamic_cast<osg::MatrixTransform*>(scale->getChild(0));
        QVERIFY(rotate);
        QCOMPARE(rotate->getChild(0), static_cast<osg::Node*>(group));
    }
};

QTEST_MAIN(TestBundleSceneBuilder)
#include "tst_bundlescenebuilder.moc"
