#include <QtTest>

#include <QAction>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStandardItem>
#include <QStatusBar>

#include "FileSizeLimit.h"
#include "ui/layers/LayerTree.h"
#include "ui/main/MainWindow.h"
#include "scene/interaction/MapController.h"
#include "scene/interaction/MapManipulator.h"
#include "scene/view/OsgWidget.h"
#include "core/formats/PlyReader.h"
#include "core/formats/PlyWriter.h"
#include "scene/layers/PointCloudLoader.h"
#include "ui/main/SelectionToolWidget.h"

namespace
{

QWidget* cell(QGridLayout* grid, int row, int column)
{
    QLayoutItem* item = grid->itemAtPosition(row, column);
    return item ? item->widget() : nullptr;
}

QString cellText(QGridLayout* grid, int row, int column)
{
    QWidget* w = cell(grid, row, column);
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text();
    if (auto* button = qobject_cast<QPushButton*>(w))
        return button->text();
    return {};
}

// A 10 x 10 x 10 grid at 0.5, 1.5, ... 9.5 written as PLY.
bool writeGrid(const QString& file)
{
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j)
            for (int k = 0; k < 10; ++k) {
                v->push_back(osg::Vec3(i + 0.5f, j + 0.5f, k + 0.5f));
                c->push_back(osg::Vec4(0.4f, 0.6f, 0.8f, 1.0f));
            }
    return PlyWriter::writePly(file, *v, *c);
}

QString projectFolder()
{
    return QCoreApplication::applicationDirPath() + "/project/";
}

} // namespace

class TestSelectionToolWidget : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_written;

private slots:
    void initTestCase() { Q_INIT_RESOURCE(images); }

    void cleanup()
    {
        for (const QString& f : m_written)
            QFile::remove(f);
        m_written.clear();
    }

    void layoutIsTheBoxSelectGrid()
    {
        SelectionToolWidget w;
        auto* outer = qobject_cast<QHBoxLayout*>(w.layout());
        QVERIFY(outer);
        QCOMPARE(outer->count(), 1);
        auto* group = qobject_cast<QGroupBox*>(outer->itemAt(0)->widget());
        QVERIFY(group);
        QCOMPARE(group->title(), QString("Box Select"));
        auto* grid = qobject_cast<QGridLayout*>(group->layout());
        QVERIFY(grid);

        QCOMPARE(cellText(grid, 0, 0), QString("Activate"));
        QVERIFY(w.activateButton()->isCheckable());
        const QStringList labels = {"X:", "Y:", "Z:", "Rotate:", "Width(x):", "Depth(y):", "Height(z)"};
        const QList<QDoubleSpinBox*> boxes = {w.xBox(),     w.yBox(),     w.zBox(),     w.rotateBox(),
                                              w.widthBox(), w.depthBox(), w.heightBox()};
        for (int row = 1; row <= 7; ++row) {
            QCOMPARE(cellText(grid, row, 0), labels[row - 1]);
            QCOMPARE(cell(grid, row, 1), static_cast<QWidget*>(boxes[row - 1]));
        }
        QCOMPARE(cell(grid, 4, 2), static_cast<QWidget*>(w.currentPosButton()));
        QCOMPARE(w.currentPosButton()->text(), QString("Get Current Pos"));
        QCOMPARE(cellText(grid, 8, 0), QString("Extract"));
        QVERIFY(!w.extractButton()->isCheckable());
    }

    void spinBoxRanges_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("minimum");
        QTest::addColumn<double>("maximum");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<double>("value");
        // The centre reaches survey grids (UTM northings run to 10,000,000):
        // at most a million, a box could not be put on a site at y = 4123456.
        QTest::newRow("X") << "X" << -1e9 << 1e9 << 3 << 0.0;
        QTest::newRow("Y") << "Y" << -1e9 << 1e9 << 3 << 0.0;
        QTest::newRow("Z") << "Z" << -1e9 << 1e9 << 3 << 0.0;
        QTest::newRow("Rotate") << "Rotate" << -180.0 << 180.0 << 3 << 0.0;
        QTest::newRow("Width") << "Width" << 0.0 << 1000.0 << 2 << 1.0;
        QTest::newRow("Depth") << "Depth" << 0.0 << 1000.0 << 2 << 1.0;
        QTest::newRow("Height") << "Height" << 0.0 << 1000.0 << 2 << 1.0;
    }

    void spinBoxRanges()
    {
        QFETCH(QString, name);
        QFETCH(double, minimum);
        QFETCH(double, maximum);
        QFETCH(int, decimals);
        QFETCH(double, value);
        SelectionToolWidget w;
        const QHash<QString, QDoubleSpinBox*> boxes = {{"X", w.xBox()},          {"Y", w.yBox()},
                                                       {"Z", w.zBox()},          {"Rotate", w.rotateBox()},
                                                       {"Width", w.widthBox()},  {"Depth", w.depthBox()},
                                                       {"Height", w.heightBox()}};
        QDoubleSpinBox* box = boxes.value(name);
        QCOMPARE(box->minimum(), minimum);
        QCOMPARE(box->maximum(), maximum);
        QCOMPARE(box->decimals(), decimals);
        QCOMPARE(box->value(), value);
        QCOMPARE(box->singleStep(), 0.1);
        // Typed values past the range stop at its end.
        box->setValue(maximum * 2 + 1);
        QCOMPARE(box->value(), maximum);
    }

    void panelDrivesTheSelectionBox()
    {
        MainWindow w;
        SelectionToolWidget* panel = w.selectionTool();
        QVERIFY(panel);
        QCOMPARE(w.dock("Select Tools")->widget(), static_cast<QWidget*>(panel));
        MapController* c = w.sceneView()->mapController();

        QTest::mouseClick(panel->activateButton(), Qt::LeftButton);
        QVERIFY(c->selectionBox().isBuilt());
        QVERIFY(c->boxPlacing());

        panel->xBox()->setValue(3.5);
        panel->yBox()->setValue(-2.25);
        panel->zBox()->setValue(7);
        panel->rotateBox()->setValue(45);
        QCOMPARE(c->getBoxPos(), osg::Vec3d(3.5, -2.25, 7.0));
        QCOMPARE(c->getBoxRotation(), 45.0);

        panel->heightBox()->setValue(4);
        panel->depthBox()->setValue(3);
        panel->widthBox()->setValue(2);
        QCOMPARE(c->selectionBox().halfLengths(), osg::Vec3f(1.0f, 1.5f, 2.0f));

        // "Get Current Pos" shows where the box is now, e.g. after a click placed it.
        c->setBoxX(11);
        c->setBoxR(-30);
        QTest::mouseClick(panel->currentPosButton(), Qt::LeftButton);
        QCOMPARE(panel->xBox()->value(), 11.0);
        QCOMPARE(panel->yBox()->value(), -2.25);
        QCOMPARE(panel->rotateBox()->value(), -30.0);

        QTest::mouseClick(panel->activateButton(), Qt::LeftButton);
        QVERIFY(!c->selectionBox().isShown());
        QCOMPARE(c->getBoxPos(), SelectionBox::unplaced());
    }

    void toolActionsSwitchTheControllerModes()
    {
        MainWindow w;
        MapController* c = w.sceneView()->mapController();
        w.action("&DrawingPoint")->setChecked(true);
        QVERIFY(c->drawPointMode());
        w.action("&DrawingPoint")->setChecked(false);
        QVERIFY(!c->drawPointMode());
        w.action("&Measure")->setChecked(true);
        QVERIFY(c->measureMode());
        w.action("&Measure")->setChecked(false);
        QVERIFY(!c->measureMode());
        QVERIFY(c->polygonCapture().points().empty());

        // "Switch Manipulator" hands the view to the map manipulator.
        w.switchManipulator();
        QCOMPARE(w.sceneView()->activeManipulator(),
                 static_cast<osgGA::CameraManipulator*>(w.sceneView()->mapManipulator()));
    }

    void extractAddsAPointCloudLayerThatSurvivesTheProject()
    {
        const QString grid = m_dir.filePath("grid.ply");
        QVERIFY(writeGrid(grid));
        // A file of another project's selection under the next number stays untouched.
        QDir().mkpath(projectFolder());
        const QString foreign = projectFolder() + "newselection_1.ply";
        QFile::remove(projectFolder() + "newselection_2.ply");
        {
            QFile f(foreign);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("keep me");
        }
        m_written << foreign << projectFolder() + "newselection_2.ply";

        MainWindow w;
        w.addDataFiles({grid});
        OsgWidget* scene = w.sceneView();
        SelectionToolWidget* panel = w.selectionTool();
        QTest::mouseClick(panel->activateButton(), Qt::LeftButton);
        panel->xBox()->setValue(5);
        panel->yBox()->setValue(5);
        panel->zBox()->setValue(5);
        panel->widthBox()->setValue(4);
        panel->depthBox()->setValue(2);
        panel->heightBox()->setValue(6);
        QTest::mouseClick(panel->extractButton(), Qt::LeftButton);

        QCOMPARE(int(scene->pointClouds().size()), 2);
        QVERIFY(!panel->activateButton()->isChecked());
        QVERIFY(!scene->mapController()->selectionBox().isShown());
        const LayerTree::Lists& clouds = w.layers()->lists(LayerType::PointCloud);
        QCOMPARE(clouds.names, (QStringList{"grid.ply", "newselection_2.ply"}));
        const QString file = projectFolder() + "newselection_2.ply";
        QCOMPARE(QDir::cleanPath(QString::fromUtf8(clouds.files[1])), QDir::cleanPath(file));
        QStandardItem* item = w.layers()->projectRoot()->child(1);
        QCOMPARE(item->text(), QString("newselection_2.ply"));
        QCOMPARE(LayerTree::typeOf(item), LayerType::PointCloud);
        QCOMPARE(item->checkState(), Qt::Checked);
        QFile keep(foreign);
        QVERIFY(keep.open(QIODevice::ReadOnly));
        QCOMPARE(keep.readAll(), QByteArray("keep me"));

        osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
        QVERIFY(PlyReader::readPly(file, *v, *c));
        QCOMPARE(int(v->size()), 4 * 2 * 6);

        // Saved and opened again, the selection is still there.
        const QString project = m_dir.filePath("site.prj");
        QVERIFY(w.writeProjectFile(project));
        MainWindow other;
        QVERIFY(other.openProjectFile(project));
        QCOMPARE(int(other.sceneView()->pointClouds().size()), 2);
        osg::ref_ptr<osg::Vec3Array> reread;
        osg::ref_ptr<osg::Vec4Array> rereadColours;
        QVERIFY(PointCloudLoader::extractArrays(other.sceneView()->pointClouds()[1]->asGroup(), reread,
                                                rereadColours));
        QCOMPARE(int(reread->size()), 48);
    }

    void extractWithNothingInsideAddsNoLayer()
    {
        const QString grid = m_dir.filePath("grid.ply");
        QVERIFY(writeGrid(grid));
        MainWindow w;
        w.addDataFiles({grid});
        SelectionToolWidget* panel = w.selectionTool();
        QTest::mouseClick(panel->activateButton(), Qt::LeftButton);
        panel->xBox()->setValue(100);
        QTest::mouseClick(panel->extractButton(), Qt::LeftButton);
        QCOMPARE(int(w.sceneView()->pointClouds().size()), 1);
        QCOMPARE(w.layers()->layerCount(LayerType::PointCloud), 1);
        QVERIFY(!panel->activateButton()->isChecked());
        QCOMPARE(w.statusBar()->currentMessage(), QString("No points inside the selection box"));
        // Without a box switched on there is nothing to extract either.
        QTest::mouseClick(panel->extractButton(), Qt::LeftButton);
        QCOMPARE(w.layers()->layerCount(LayerType::PointCloud), 1);
    }

    // A selection whose file could not be written still became a layer,
    // one that the saved project then pointed to a missing file for.
    void selectionThatCannotBeWrittenAddsNoLayer()
    {
        const QString grid = m_dir.filePath("grid.ply");
        QVERIFY(writeGrid(grid));
        MainWindow w;
        w.addDataFiles({grid});
        SelectionToolWidget* panel = w.selectionTool();
        QTest::mouseClick(panel->activateButton(), Qt::LeftButton);
        panel->xBox()->setValue(5);
        panel->yBox()->setValue(5);
        panel->zBox()->setValue(5);
        panel->widthBox()->setValue(4);
        panel->depthBox()->setValue(4);
        panel->heightBox()->setValue(4);
        QDir().mkpath(projectFolder());
        const QStringList before = QDir(projectFolder()).entryList({"newselection_*"});
        {
            FileSizeLimit diskFull(256);
            QVERIFY(diskFull.active());
            QTest::mouseClick(panel->extractButton(), Qt::LeftButton);
        }
        QCOMPARE(int(w.sceneView()->pointClouds().size()), 1);
        QCOMPARE(w.layers()->layerCount(LayerType::PointCloud), 1);
        QCOMPARE(w.layers()->projectRoot()->rowCount(), 1);
        QCOMPARE(QDir(projectFolder()).entryList({"newselection_*"}), before);
        QVERIFY2(w.statusBar()->currentMessage().startsWith("Selection not extracted"),
                 qPrintable(w.statusBar()->currentMessage()));
        const QString logged = w.logList()->item(w.logList()->count() - 1)->text();
        QVERIFY2(logged.contains("could not be written"), qPrintable(logged));
    }
};

QTEST_MAIN(TestSelectionToolWidget)
#include "tst_selectiontoolwidget.moc"
