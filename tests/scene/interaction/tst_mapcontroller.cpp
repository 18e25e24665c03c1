#include <QtTest>

#include <osg/MatrixTransform>
#include <osg/ShapeDrawable>
#include <osgGA/GUIEventAdapter>
#include <osgText/Text>

#include "scene/interaction/BoxPointExtractor.h"
#include "scene/view/GLWidget.h"
#include "scene/interaction/MapController.h"
#include "scene/interaction/MapManipulator.h"
#include "core/io/NumberString.h"
#include "scene/view/OsgWidget.h"
#include "core/formats/PlyWriter.h"
#include "scene/layers/PointCloudLoader.h"
#include "scene/layers/PointGeometry.h"
#include "core/formats/PointShift.h"

using osgGA::GUIEventAdapter;

namespace
{

struct Cloud {
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    void add(const osg::Vec3& p, const osg::Vec4& c = osg::Vec4(0.5f, 0.6f, 0.7f, 1.0f))
    {
        vertices->push_back(p);
        colours->push_back(c);
    }
    osg::ref_ptr<osg::Group> group() const
    {
        osg::ref_ptr<osg::Group> g = new osg::Group;
        g->addChild(PointGeometry::makeGeode(vertices.get(), colours.get()));
        return g;
    }
};

// n x n x n points at 0.5, 1.5, ...: no point lies on an integer box face.
Cloud grid(int n)
{
    Cloud c;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < n; ++k)
                c.add(osg::Vec3(i + 0.5f, j + 0.5f, k + 0.5f));
    return c;
}

// Looking straight down on the plane z = 1 from 20 units above (x, y).
void lookDown(OsgWidget& w, double x, double y)
{
    w.getCamera()->setViewMatrixAsLookAt(osg::Vec3d(x, y, 21.0), osg::Vec3d(x, y, 1.0), osg::Vec3d(0, 1, 0));
}

osg::Vec2d windowPoint(OsgWidget& w, const osg::Vec3d& world)
{
    osg::Camera* camera = w.getCamera();
    const osg::Matrixd vpw = camera->getViewMatrix() * camera->getProjectionMatrix() *
                             camera->getViewport()->computeWindowMatrix();
    const osg::Vec3d window = world * vpw;
    return osg::Vec2d(window.x(), window.y());
}

bool handle(OsgWidget& w, GUIEventAdapter::EventType type, const osg::Vec2d& at = osg::Vec2d(),
            int buttons = 0, int key = 0)
{
    osg::ref_ptr<GUIEventAdapter> e = new GUIEventAdapter;
    e->setEventType(type);
    e->setX(float(at.x()));
    e->setY(float(at.y()));
    e->setButtonMask(buttons);
    if (buttons)
        e->setButton(buttons);
    e->setKey(key);
    return w.mapController()->handle(*e, *w.getOsgView());
}

void control(OsgWidget& w, bool down)
{
    handle(w, down ? GUIEventAdapter::KEYDOWN : GUIEventAdapter::KEYUP, {}, 0,
           GUIEventAdapter::KEY_Control_L);
}

// A left press and release at the window position of a world point.
void clickAt(OsgWidget& w, const osg::Vec3d& world, const osg::Vec2d& offset = osg::Vec2d())
{
    const osg::Vec2d at = windowPoint(w, world) + offset;
    handle(w, GUIEventAdapter::PUSH, at, GUIEventAdapter::LEFT_MOUSE_BUTTON);
    handle(w, GUIEventAdapter::RELEASE, at, 0);
}

void controlClickAt(OsgWidget& w, const osg::Vec3d& world)
{
    control(w, true);
    clickAt(w, world);
    control(w, false);
}

bool near(const osg::Vec3d& a, const osg::Vec3d& b, double tolerance = 1e-4)
{
    return (a - b).length() <= tolerance;
}

QString text(const osg::Vec3d& v)
{
    return QStringLiteral("(%1, %2, %3)").arg(v.x()).arg(v.y()).arg(v.z());
}

// A scene of a few picking targets on z = 1, loaded from a PLY file.
std::unique_ptr<OsgWidget> pickScene(const QString& folder)
{
    Cloud c;
    for (const osg::Vec3& p :
         {osg::Vec3(1, 1, 1), osg::Vec3(4, 5, 1), osg::Vec3(2, 3, 1), osg::Vec3(3, 1, 1), osg::Vec3(5, 2, 1)})
        c.add(p);
    const QString file = folder + "/targets.ply";
    if (!PlyWriter::writePly(file, *c.vertices, *c.colours))
        return nullptr;
    auto w = std::make_unique<OsgWidget>(osgViewer::ViewerBase::SingleThreaded, nullptr);
    if (!w->loadPointCloud(file, true))
        return nullptr;
    lookDown(*w, 3.0, 3.0);
    return w;
}

// A survey site: three targets at UTM coordinates, written as a surveyor's
// file would hold them, seen from 20 m above.
const osg::Vec3d surveyA(712345.674, 4123456.781, 101.752);
const osg::Vec3d surveyB(712348.674, 4123460.781, 101.752); // 3, 4, 0 from A
const osg::Vec3d surveyC(712346.123, 4123458.456, 101.752);

std::unique_ptr<OsgWidget> surveyScene(const QString& folder)
{
    const QString file = folder + "/survey.ply";
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return nullptr;
    out.write("ply\nformat ascii 1.0\nelement vertex 3\nproperty double x\nproperty double y\n"
              "property double z\nend_header\n"
              "712345.674 4123456.781 101.752\n712348.674 4123460.781 101.752\n"
              "712346.123 4123458.456 101.752\n");
    out.close();
    auto w = std::make_unique<OsgWidget>(osgViewer::ViewerBase::SingleThreaded, nullptr);
    if (!w->loadPointCloud(file, true))
        return nullptr;
    const osg::Vec3d centre(712347, 4123458.5, 101.752);
    w->getCamera()->setViewMatrixAsLookAt(centre + osg::Vec3d(0, 0, 20), centre, osg::Vec3d(0, 1, 0));
    return w;
}

// Where a mark made by the picking controller lies: its group's origin plus
// its own float position.
osg::Vec3d markAt(const osg::Group* group, const osg::Vec3& local)
{
    const auto* placed = dynamic_cast<const osg::MatrixTransform*>(group);
    return (placed ? placed->getMatrix().getTrans() : osg::Vec3d()) + osg::Vec3d(local);
}

using Points = std::vector<std::pair<std::array<float, 3>, std::array<float, 3>>>;

Points sorted(const osg::Vec3Array& v, const osg::Vec4Array& c)
{
    Points points;
    for (size_t i = 0; i < v.size(); ++i)
        points.push_back({{v[i].x(), v[i].y(), v[i].z()}, {c[i].r(), c[i].g(), c[i].b()}});
    std::sort(points.begin(), points.end());
    return points;
}

} // namespace

Q_DECLARE_METATYPE(osg::Vec3d)
Q_DECLARE_METATYPE(osg::Vec3)
Q_DECLARE_METATYPE(osg::Vec4)

class TestMapController : public QObject
{
    Q_OBJECT

    QTemporaryDir m_files;

private slots:
    void controlIsTrackedAndEveryEventPassedOn()
    {
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        QVERIFY(!handle(w, GUIEventAdapter::KEYDOWN, {}, 0, GUIEventAdapter::KEY_Control_R));
        QVERIFY(w.mapController()->controlHeld());
        QVERIFY(!handle(w, GUIEventAdapter::KEYUP, {}, 0, GUIEventAdapter::KEY_Control_R));
        QVERIFY(!w.mapController()->controlHeld());
        handle(w, GUIEventAdapter::KEYDOWN, {}, 0, 'a');
        QVERIFY(!w.mapController()->controlHeld());
    }

    void controlClickPicksTheNearestPoint_data()
    {
        QTest::addColumn<osg::Vec3d>("target");
        QTest::newRow("(1, 1, 1)") << osg::Vec3d(1, 1, 1);
        QTest::newRow("(4, 5, 1)") << osg::Vec3d(4, 5, 1);
        QTest::newRow("(5, 2, 1)") << osg::Vec3d(5, 2, 1);
    }

    void controlClickPicksTheNearestPoint()
    {
        QFETCH(osg::Vec3d, target);
        auto w = pickScene(m_files.path());
        QVERIFY(w);
        MapController* c = w->mapController();
        c->drawPointToggle(true);
        // Three pixels off still lies inside the pick square.
        control(*w, true);
        clickAt(*w, target, osg::Vec2d(3, -3));
        QVERIFY(c->hasPick());
        QVERIFY2(near(c->lastPick(), target), qPrintable(text(c->lastPick())));
        // Drawing points only records the pick.
        QVERIFY(c->pointCapture().points().empty());
        QVERIFY(c->polygonCapture().points().empty());
    }

    void emptySpaceAndPlainClicksChangeNothing()
    {
        auto w = pickScene(m_files.path());
        QVERIFY(w);
        MapController* c = w->mapController();
        c->getPointToggle(true);
        const unsigned children = w->getRoot()->getNumChildren();

        control(*w, true);
        clickAt(*w, osg::Vec3d(1, 1, 1), osg::Vec2d(8, 0)); // 8 pixels away
        clickAt(*w, osg::Vec3d(3, 3, 1));
        control(*w, false);
        QVERIFY(!c->hasPick());
        QVERIFY(c->pointCapture().points().empty());

        clickAt(*w, osg::Vec3d(1, 1, 1)); // no Control
        QVERIFY(!c->hasPick());
        QCOMPARE(w->getRoot()->getNumChildren(), children);

        // Control held but no mode on: nothing either.
        c->getPointToggle(false);
        controlClickAt(*w, osg::Vec3d(1, 1, 1));
        QVERIFY(!c->hasPick());
    }

    void pointInputFollowsThePickUntilFixed()
    {
        auto w = pickScene(m_files.path());
        QVERIFY(w);
        MapController* c = w->mapController();
        c->getPointToggle(true);
        controlClickAt(*w, osg::Vec3d(1, 1, 1));
        controlClickAt(*w, osg::Vec3d(3, 1, 1));
        QCOMPARE(int(c->pointCapture().points().size()), 1);
        QVERIFY(near(c->pointCapture().points()[0], osg::Vec3d(3, 1, 1)));
        QCOMPARE(c->pointCapture().group()->getNumChildren(), 1u);
        c->fixPoint();
        controlClickAt(*w, osg::Vec3d(5, 2, 1));
        QVERIFY(near(c->pointCapture().points()[0], osg::Vec3d(3, 1, 1)));
        // The ground station's position goes the same way.
        c->getPointToggle(false);
        QVERIFY(c->pointCapture().points().empty());
        c->getPointToggle(true);
        c->updateFromServerPos(osg::Vec3d(7, 8, 9));
        QVERIFY(near(c->pointCapture().points()[0], osg::Vec3d(7, 8, 9)));
    }

    // At survey coordinates a pick gives the target as the file holds it,
    // a measurement its true length, and the marks sit where they belong.
    void surveyPicksAndMeasuresToTheMillimetre()
    {
        auto w = surveyScene(m_files.path());
        QVERIFY(w);
        QCOMPARE(w->sceneOrigin().value(), osg::Vec3d(712000, 4123000, 0));
        MapController* c = w->mapController();
        c->drawPointToggle(true);
        for (const osg::Vec3d& target : {surveyA, surveyB, surveyC}) {
            controlClickAt(*w, target);
            QVERIFY(c->hasPick());
            QCOMPARE(c->lastPick(), target);
        }

        c->getPointToggle(true);
        controlClickAt(*w, surveyC);
        const osg::Geode* marker = c->pointCapture().group()->getChild(0)->asGeode();
        const auto* sphere = dynamic_cast<const osg::Sphere*>(marker->getDrawable(0)->getShape());
        QVERIFY(sphere);
        QVERIFY(near(markAt(c->pointCapture().group(), sphere->getCenter()), surveyC));

        c->measureToggle(true);
        controlClickAt(*w, surveyA);
        controlClickAt(*w, surveyB);
        const PolygonCapture& m = c->polygonCapture();
        QCOMPARE(int(m.edges().size()), 1);
        auto* label = dynamic_cast<osgText::Text*>(m.edges()[0].label->getDrawable(0));
        QCOMPARE(QString::fromStdString(label->getText().createUTF8EncodedString()), QString("5m"));
        QVERIFY(near(markAt(m.lineGroup(), label->getPosition()), (surveyA + surveyB) * 0.5));
        controlClickAt(*w, surveyC);
        auto* second = dynamic_cast<osgText::Text*>(m.edges()[1].label->getDrawable(0));
        QCOMPARE(QString::fromStdString(second->getText().createUTF8EncodedString()),
                 NumberString::length((surveyC - surveyB).length()) + "m");
    }

    void measuringLabelsTheEdgeAtItsMiddle()
    {
        auto w = pickScene(m_files.path());
        QVERIFY(w);
        MapController* c = w->mapController();
        c->measureToggle(true);
        controlClickAt(*w, osg::Vec3d(1, 1, 1));
        controlClickAt(*w, osg::Vec3d(4, 5, 1));
        const PolygonCapture& m = c->polygonCapture();
        QCOMPARE(int(m.points().size()), 2);
        QCOMPARE(int(m.edges().size()), 1);
        QVERIFY(m.edges()[0].label.valid());
        auto* label = dynamic_cast<osgText::Text*>(m.edges()[0].label->getDrawable(0));
        QVERIFY(label);
        QCOMPARE(QString::fromStdString(label->getText().createUTF8EncodedString()), QString("5m"));
        QVERIFY2(near(label->getPosition(), osg::Vec3d(2.5, 3, 1)), qPrintable(text(label->getPosition())));

        // Each further pick adds a point, an edge and a label at once.
        controlClickAt(*w, osg::Vec3d(5, 2, 1));
        QCOMPARE(int(m.edges().size()), 2);
        auto* second = dynamic_cast<osgText::Text*>(m.edges()[1].label->getDrawable(0));
        // sqrt(10) to six significant digits.
        QCOMPARE(QString::fromStdString(second->getText().createUTF8EncodedString()), QString("3.16228m"));

        const osg::ref_ptr<osg::Group> spheres = m.sphereGroup();
        const osg::ref_ptr<osg::Group> lines = m.lineGroup();
        QVERIFY(w->getRoot()->containsNode(lines.get()));
        c->measureToggle(false);
        QVERIFY(m.points().empty());
        QVERIFY(m.edges().empty());
        QVERIFY(!w->getRoot()->containsNode(spheres.get()));
        QVERIFY(!w->getRoot()->containsNode(lines.get()));
    }

    void polygonKeepsOnlyFixedVertices_data()
    {
        QTest::addColumn<bool>("fixEach");
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("edges");
        QTest::newRow("unfixed") << false << 1 << 0;
        QTest::newRow("fixed after each") << true << 3 << 2;
    }

    void polygonKeepsOnlyFixedVertices()
    {
        QFETCH(bool, fixEach);
        QFETCH(int, points);
        QFETCH(int, edges);
        auto w = pickScene(m_files.path());
        QVERIFY(w);
        MapController* c = w->mapController();
        c->getPolygonToggle(true);
        for (const osg::Vec3d& p : {osg::Vec3d(1, 1, 1), osg::Vec3d(3, 1, 1), osg::Vec3d(5, 2, 1)}) {
            controlClickAt(*w, p);
            if (fixEach)
                c->updateTogglePolygon();
        }
        const PolygonCapture& polygon = c->polygonCapture();
        QCOMPARE(int(polygon.points().size()), points);
        QCOMPARE(int(polygon.edges().size()), edges);
        QCOMPARE(int(polygon.sphereGroup()->getNumChildren()), points);
        QVERIFY(near(polygon.points().back(), osg::Vec3d(5, 2, 1)));
        for (const PolygonCapture::Edge& e : polygon.edges())
            QVERIFY(!e.label.valid());
    }

    void movedVertexTakesItsEdgeAlong()
    {
        auto w = pickScene(m_files.path());
        QVERIFY(w);
        MapController* c = w->mapController();
        c->getPolygonToggle(true);
        controlClickAt(*w, osg::Vec3d(1, 1, 1));
        c->updateTogglePolygon();
        controlClickAt(*w, osg::Vec3d(3, 1, 1));
        controlClickAt(*w, osg::Vec3d(5, 2, 1));
        const PolygonCapture& polygon = c->polygonCapture();
        QCOMPARE(int(polygon.edges().size()), 1);
        auto* line = polygon.edges()[0].line->getDrawable(0)->asGeometry();
        const auto* ends = dynamic_cast<const osg::Vec3Array*>(line->getVertexArray());
        QVERIFY(near((*ends)[0], osg::Vec3d(1, 1, 1)));
        QVERIFY(near((*ends)[1], osg::Vec3d(5, 2, 1)));
    }

    void markerDragLocksTheMapManipulator()
    {
        auto w = pickScene(m_files.path());
        QVERIFY(w);
        MapController* c = w->mapController();
        c->getPointToggle(true);
        c->addMarker(osg::Vec3d(2, 2, 1), 0.2f);
        control(*w, true);
        const osg::Vec2d at = windowPoint(*w, osg::Vec3d(2, 2, 1.2));
        handle(*w, GUIEventAdapter::PUSH, at, GUIEventAdapter::LEFT_MOUSE_BUTTON);
        QVERIFY(c->markers()[0].selected);
        QCOMPARE(c->markers()[0].shape->getColor(), osg::Vec4(0, 0, 1, 1));
        QVERIFY(!c->hasPick()); // a marker is not a picked point
        handle(*w, GUIEventAdapter::DRAG, at + osg::Vec2d(12, 0), GUIEventAdapter::LEFT_MOUSE_BUTTON);
        QVERIFY(w->mapManipulator()->dragLock());
        QCOMPARE(c->dragBaseX(), int(at.x()) + 10);
        handle(*w, GUIEventAdapter::RELEASE, at, 0);
        QVERIFY(!w->mapManipulator()->dragLock());
        QVERIFY(!c->markers()[0].selected);
        QCOMPARE(c->markers()[0].shape->getColor(), osg::Vec4(1, 0, 0, 1));
        QCOMPARE(c->dragBaseX(), 0);
    }

    void boxWaitsForAClickToBePlaced()
    {
        auto w = pickScene(m_files.path());
        QVERIFY(w);
        MapController* c = w->mapController();
        w->turnOnSelectBox(true);
        const SelectionBox& box = c->selectionBox();
        QVERIFY(box.isBuilt());
        QVERIFY(!box.isShown());
        QVERIFY(c->boxPlacing());
        clickAt(*w, osg::Vec3d(3, 3, 1)); // empty space
        QVERIFY(c->boxPlacing());
        clickAt(*w, osg::Vec3d(4, 5, 1));
        QVERIFY(!c->boxPlacing());
        QVERIFY(box.isShown());
        QVERIFY2(near(c->getBoxPos(), osg::Vec3d(4, 5, 1)), qPrintable(text(c->getBoxPos())));

        w->turnOnSelectBox(false);
        QVERIFY(!box.isShown());
        QCOMPARE(c->getBoxPos(), SelectionBox::unplaced());
        w->turnOnSelectBox(true); // built, not placed: waits again, hidden
        QVERIFY(c->boxPlacing());
        QVERIFY(!box.isShown());
        w->setBoxX(2);
        w->setBoxY(2);
        w->setBoxZ(2);
        w->turnOnSelectBox(true);
        QVERIFY(box.isShown());
    }

    void boxSizeAndRotation_data()
    {
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("depth");
        QTest::addColumn<double>("height");
        QTest::addColumn<double>("rotation");
        QTest::addColumn<osg::Vec3d>("extent");
        QTest::newRow("unit box") << 1.0 << 1.0 << 1.0 << 0.0 << osg::Vec3d(1, 1, 1);
        QTest::newRow("height 4 along z") << 1.0 << 1.0 << 4.0 << 0.0 << osg::Vec3d(1, 1, 4);
        QTest::newRow("depth 4 along y") << 1.0 << 4.0 << 1.0 << 0.0 << osg::Vec3d(1, 4, 1);
        QTest::newRow("width 4 turned 90 lies along y") << 4.0 << 1.0 << 1.0 << 90.0 << osg::Vec3d(1, 4, 1);
        QTest::newRow("turned -180 keeps its extent") << 4.0 << 2.0 << 1.0 << -180.0 << osg::Vec3d(4, 2, 1);
    }

    void boxSizeAndRotation()
    {
        QFETCH(double, width);
        QFETCH(double, depth);
        QFETCH(double, height);
        QFETCH(double, rotation);
        QFETCH(osg::Vec3d, extent);
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        w.turnOnSelectBox(true);
        w.setBoxX(10);
        w.setBoxY(20);
        w.setBoxZ(30);
        w.setSelectWidth(width);
        w.setSelectDepth(depth);
        w.setSelectHeight(height);
        w.setBoxR(rotation);
        osg::BoundingBox drawn;
        for (const osg::Vec3d& corner : w.mapController()->selectionBox().corners())
            drawn.expandBy(corner);
        const osg::Vec3d size(drawn.xMax() - drawn.xMin(), drawn.yMax() - drawn.yMin(),
                              drawn.zMax() - drawn.zMin());
        QVERIFY2(near(size, extent), qPrintable(text(size)));
        QVERIFY(near(drawn.center(), osg::Vec3d(10, 20, 30)));
        // The scene node carries the same placement.
        const osg::BoundingSphere sphere = w.mapController()->selectionBox().transform()->getBound();
        QVERIFY(near(sphere.center(), osg::Vec3d(10, 20, 30), 1e-3));
    }

    void extractionCountsTheGridPointsInside_data()
    {
        QTest::addColumn<osg::Vec3d>("centre");
        QTest::addColumn<osg::Vec3d>("size"); // width (x), depth (y), height (z)
        QTest::addColumn<double>("rotation");
        QTest::addColumn<int>("count");
        QTest::addColumn<osg::Vec3d>("site"); // where the grid's corner lies
        const osg::Vec3d origin, utm(712345, 4123456, 95);
        QTest::newRow("cube of 4") << osg::Vec3d(5, 5, 5) << osg::Vec3d(4, 4, 4) << 0.0 << 64 << origin;
        QTest::newRow("4 x 2 x 6") << osg::Vec3d(5, 5, 5) << osg::Vec3d(4, 2, 6) << 0.0 << 4 * 2 * 6 << origin;
        QTest::newRow("4 x 2 x 6 turned 90")
            << osg::Vec3d(5, 5, 5) << osg::Vec3d(4, 2, 6) << 90.0 << 2 * 4 * 6 << origin;
        QTest::newRow("half outside the grid")
            << osg::Vec3d(10, 5, 5) << osg::Vec3d(4, 4, 4) << 0.0 << 2 * 4 * 4 << origin;
        QTest::newRow("between the points")
            << osg::Vec3d(5, 5, 5) << osg::Vec3d(0.8, 0.8, 0.8) << 0.0 << 0 << origin;
        // At survey coordinates the box keeps exactly the same points: a
        // float box edge would lie 25 cm off in y.
        QTest::newRow("cube of 4 at UTM") << osg::Vec3d(5, 5, 5) << osg::Vec3d(4, 4, 4) << 0.0 << 64 << utm;
        QTest::newRow("4 x 2 x 6 turned 90 at UTM")
            << osg::Vec3d(5, 5, 5) << osg::Vec3d(4, 2, 6) << 90.0 << 2 * 4 * 6 << utm;
        QTest::newRow("between the points at UTM")
            << osg::Vec3d(5, 5, 5) << osg::Vec3d(0.8, 0.8, 0.8) << 0.0 << 0 << utm;
    }

    void extractionCountsTheGridPointsInside()
    {
        QFETCH(osg::Vec3d, centre);
        QFETCH(osg::Vec3d, size);
        QFETCH(double, rotation);
        QFETCH(int, count);
        QFETCH(osg::Vec3d, site);
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        const Cloud cloud = grid(10);
        // The grid kept as floats relative to its corner, as a loaded survey cloud is.
        w.addPointCloud(PointCloudLoader::placeAt(cloud.group().get(), site).get(), true);
        centre += site;
        w.turnOnSelectBox(true);
        w.setBoxX(centre.x());
        w.setBoxY(centre.y());
        w.setBoxZ(centre.z());
        w.setSelectWidth(size.x());
        w.setSelectDepth(size.y());
        w.setSelectHeight(size.z());
        w.setBoxR(rotation);
        const OsgWidget::LayerId extracted = w.extractBox();
        if (count == 0) {
            QCOMPARE(extracted, OsgWidget::noLayer);
            QCOMPARE(int(w.pointClouds().size()), 1);
            return;
        }
        QVERIFY(extracted != OsgWidget::noLayer);
        QCOMPARE(w.layerNode(extracted), w.pointClouds()[1].get());
        osg::ref_ptr<osg::Vec3Array> v;
        osg::ref_ptr<osg::Vec4Array> c;
        QVERIFY(PointCloudLoader::extractArrays(w.pointClouds()[1]->asGroup(), v, c));
        QCOMPARE(int(v->size()), count);
        QCOMPARE(int(c->size()), count);
        QCOMPARE((*c)[0], osg::Vec4(0.5f, 0.6f, 0.7f, 1.0f));
        // Each point kept is a grid point, in world coordinates to the last digit.
        const osg::Vec3d offset = PointCloudLoader::offsetOf(w.pointClouds()[1].get());
        for (const osg::Vec3& local : *v) {
            const osg::Vec3d p = PointShift::toWorld(local, offset) - site;
            for (int k = 0; k < 3; ++k)
                QCOMPARE(p[k] - std::floor(p[k]), 0.5);
        }
        QVERIFY(w.getRoot()->containsNode(w.pointClouds()[1].get()));
        QVERIFY(w.pointClouds()[1]->getStateSet()->getMode(GL_LIGHTING) & osg::StateAttribute::OVERRIDE);
    }

    void extractionNeedsTheBoxSwitchedOn()
    {
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        w.addPointCloud(grid(4).group().get(), true);
        QCOMPARE(w.extractBox(), OsgWidget::noLayer); // never switched on
        w.turnOnSelectBox(true);
        w.setSelectWidth(20);
        w.setSelectDepth(20);
        w.setSelectHeight(20);
        QVERIFY(w.extractBox() != OsgWidget::noLayer);
        w.turnOnSelectBox(false);
        QCOMPARE(w.extractBox(), OsgWidget::noLayer);
        w.turnOnSelectBox(true);
        w.setSelectWidth(0);
        QCOMPARE(w.extractBox(), OsgWidget::noLayer);
    }

    // Points on an axis plane and pure colours are measurements like any
    // other: extraction once dropped them.
    void extractionKeepsPointsOnAxesAndPureColours_data()
    {
        QTest::addColumn<osg::Vec3>("point");
        QTest::addColumn<osg::Vec4>("colour");
        QTest::newRow("plain") << osg::Vec3(1, 1, 1) << osg::Vec4(0.2f, 0.3f, 0.4f, 0.5f);
        QTest::newRow("on the x plane") << osg::Vec3(0, 1, 1) << osg::Vec4(0.2f, 0.3f, 0.4f, 1);
        QTest::newRow("on the z plane") << osg::Vec3(1, -1, 0) << osg::Vec4(0.2f, 0.3f, 0.4f, 1);
        QTest::newRow("black at the origin") << osg::Vec3(0, 0, 0) << osg::Vec4(0, 0, 0, 1);
        QTest::newRow("pure red") << osg::Vec3(1, 1, 1) << osg::Vec4(1, 0, 0, 1);
        QTest::newRow("no blue") << osg::Vec3(-1, 1, 1) << osg::Vec4(1, 1, 0, 1);
    }

    void extractionKeepsPointsOnAxesAndPureColours()
    {
        QFETCH(osg::Vec3, point);
        QFETCH(osg::Vec4, colour);
        Cloud cloud;
        cloud.add(point, colour);
        cloud.add(osg::Vec3(1.5f, 1.5f, 1.5f), osg::Vec4(0.1f, 0.1f, 0.1f, 1));
        cloud.add(osg::Vec3(9, 0, 0), osg::Vec4(1, 0, 0, 1)); // outside the box
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        w.addPointCloud(cloud.group().get(), true);
        w.turnOnSelectBox(true);
        w.setSelectWidth(5);
        w.setSelectDepth(5);
        w.setSelectHeight(5);
        const OsgWidget::LayerId extracted = w.extractBox();
        QVERIFY(extracted != OsgWidget::noLayer);
        QCOMPARE(w.layerNode(extracted), w.pointClouds()[1].get());
        osg::ref_ptr<osg::Vec3Array> v;
        osg::ref_ptr<osg::Vec4Array> c;
        QVERIFY(PointCloudLoader::extractArrays(w.pointClouds()[1]->asGroup(), v, c));
        QCOMPARE(int(v->size()), 2);
        QCOMPARE((*v)[0], point);
        QCOMPARE((*c)[0], osg::Vec4(colour.r(), colour.g(), colour.b(), 1.0f));
        QCOMPARE((*v)[1], osg::Vec3(1.5f, 1.5f, 1.5f));
    }

    void byteColoursAndTransformsAreHonoured()
    {
        osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
        v->push_back(osg::Vec3(1, 1, 1));
        v->push_back(osg::Vec3(9, 9, 9));
        osg::ref_ptr<osg::Vec4ubArray> c = new osg::Vec4ubArray;
        c->push_back(osg::Vec4ub(51, 102, 255, 7));
        c->push_back(osg::Vec4ub(1, 1, 1, 1));
        osg::ref_ptr<osg::Geometry> g = new osg::Geometry;
        g->setVertexArray(v.get());
        g->setColorArray(c.get(), osg::Array::BIND_PER_VERTEX);
        g->addPrimitiveSet(new osg::DrawArrays(GL_POINTS, 0, 2));
        osg::ref_ptr<osg::Geode> geode = new osg::Geode;
        geode->addDrawable(g.get());
        osg::ref_ptr<osg::MatrixTransform> moved =
            new osg::MatrixTransform(osg::Matrixd::translate(10, 0, 0));
        moved->addChild(geode.get());
        SelectionBox box;
        box.setCentre(osg::Vec3d(11, 1, 1));
        BoxPointExtractor extractor(box.polytope());
        moved->accept(extractor);
        QCOMPARE(int(extractor.vertices()->size()), 1);
        QCOMPARE((*extractor.vertices())[0], osg::Vec3(11, 1, 1));
        QCOMPARE((*extractor.colours())[0], osg::Vec4(0.2f, 0.4f, 1.0f, 1.0f));
        // Hidden layers are not extracted.
        moved->setNodeMask(0);
        BoxPointExtractor hidden(box.polytope());
        moved->accept(hidden);
        QCOMPARE(int(hidden.hits()), 0);
    }

    void fastPathMatchesThePolytopeIntersector()
    {
        // A few thousand points with some on the coordinate planes and some
        // with a zero channel, half of them under a transform, and a turned box.
        Cloud plain, moved;
        quint32 seed = 12345;
        const auto next = [&seed]() {
            seed = seed * 1664525u + 1013904223u;
            return float(seed >> 8) / float(1u << 24);
        };
        for (int i = 0; i < 4000; ++i) {
            osg::Vec3 p(next() * 10 - 5, next() * 10 - 5, next() * 10 - 5);
            if (i % 97 == 0)
                p.x() = 0;
            osg::Vec4 colour(next(), next(), next(), 1);
            if (i % 53 == 0)
                colour.g() = 0;
            (i % 2 ? plain : moved).add(p, colour);
        }
        osg::ref_ptr<osg::Group> scene = new osg::Group;
        scene->addChild(plain.group().get());
        osg::ref_ptr<osg::MatrixTransform> transform = new osg::MatrixTransform(
            osg::Matrixd::rotate(0.3, osg::Vec3d(0, 0, 1)) * osg::Matrixd::translate(1, 2, 0));
        transform->addChild(moved.group().get());
        scene->addChild(transform.get());

        SelectionBox box;
        box.setCentre(osg::Vec3f(0.5f, 0.5f, 0.3f));
        box.setWidth(6);
        box.setDepth(3.5);
        box.setHeight(4);
        box.setRotation(30);
        const osg::Polytope polytope = box.polytope();

        BoxPointExtractor ours(polytope);
        scene->accept(ours);
        osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
        const size_t hits = BoxPointExtractor::extractWithIntersector(scene.get(), polytope, *v, *c);
        QVERIFY(ours.vertices()->size() > 200);
        QCOMPARE(ours.hits(), hits);
        const Points fast = sorted(*ours.vertices(), *ours.colours());
        const Points reference = sorted(*v, *c);
        QCOMPARE(fast.size(), reference.size());
        for (size_t i = 0; i < fast.size(); ++i)
            for (int k = 0; k < 3; ++k) {
                QVERIFY(std::abs(fast[i].first[size_t(k)] - reference[i].first[size_t(k)]) < 1e-5f);
                QCOMPARE(fast[i].second[size_t(k)], reference[i].second[size_t(k)]);
            }
    }

    // The whole road through the real widget: Qt key and mouse events reach the
    // controller through the graphics window's event queue and a frame.
    void controlClickOnTheShownView()
    {
        auto w = pickScene(m_files.path());
        QVERIFY(w);
        w->resize(640, 480);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        // Drawn at its shown size, with nothing more asked for.
        QTRY_VERIFY(w->glWidget()->renderedFrames() > 0 && !w->frameWanted());
        w->activeManipulator()->setByInverseMatrix(
            osg::Matrixd::lookAt(osg::Vec3d(3, 3, 21), osg::Vec3d(3, 3, 1), osg::Vec3d(0, 1, 0)));
        // Frames come on demand; the moved manipulator asks for one.
        const quint64 frames = w->glWidget()->renderedFrames();
        QTRY_VERIFY(w->glWidget()->renderedFrames() > frames);

        MapController* c = w->mapController();
        c->getPointToggle(true);
        const osg::Vec2d at = windowPoint(*w, osg::Vec3d(4, 5, 1));
        const double scale = w->glWidget()->devicePixelRatioF();
        const QPoint pos(int(std::lround(at.x() / scale)),
                         int(std::lround((w->getCamera()->getViewport()->height() - at.y()) / scale)));
        QTest::keyPress(w->glWidget(), Qt::Key_Control);
        QTRY_VERIFY(c->controlHeld());
        QTest::mouseClick(w->glWidget(), Qt::LeftButton, Qt::ControlModifier, pos);
        QTRY_VERIFY(c->hasPick());
        QVERIFY2(near(c->lastPick(), osg::Vec3d(4, 5, 1)), qPrintable(text(c->lastPick())));
        QCOMPARE(int(c->pointCapture().points().size()), 1);
        QTest::keyRelease(w->glWidget(), Qt::Key_Control);
        QTRY_VERIFY(!c->controlHeld());
    }
};

QTEST_MAIN(TestMapController)
#include "tst_mapcontroller.moc"
