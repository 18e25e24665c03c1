#include "ui/main/ActionTable.h"

#include "ui/main/MainWindow.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QToolBar>

namespace {
constexpr QKeySequence::StandardKey None = QKeySequence::UnknownKey;
constexpr const char* Save = ":/images/save.png";
constexpr bool Hidden = false;
}

const QVector<ActionTable::Entry>& ActionTable::actions()
{
    // clang-format off
    static const QVector<Entry> table = {
        {"&Open Project...", ":/images/open.png", nullptr, QKeySequence::Open, "Open a saved project", &MainWindow::openProj, nullptr, false, true},
        {"&Add Images...", ":/images/add.png", "Ctrl+Shift+I", None, "Add images to the image view", &MainWindow::addImage, nullptr, false, true},
        {"&Add Data(s)...", ":/images/Add.jpg", "Ctrl+M", None, "Add a model to the project", &MainWindow::openModel, nullptr, false, true},
        {"&Save Project", Save, nullptr, QKeySequence::Save, "Save the current Project", &MainWindow::save, nullptr, false, true},
        {"&Save As Project", ":/images/saveas.png", "F12", None, "Save the current Project as New", &MainWindow::saveAs, nullptr, false, true},
        {"&Close Project", Save, nullptr, None, "Close the current Project", &MainWindow::closeProject, nullptr, false, true},
        // Not offered: a point cloud is exported from its layer's "Export".
        {"&Export Model...", Save, nullptr, None, "Save the current form letter", nullptr, nullptr, false, true, Hidden},
        {"&Print...", ":/images/print.png", nullptr, QKeySequence::Print, "Print the current form letter", &MainWindow::print, nullptr, false, true},
        // Connected to close() by the window.
        {"&Quit", nullptr, nullptr, QKeySequence::Quit, "Quit the application", nullptr, nullptr, false, true},
        // Not offered: there is no Edit menu; the image list and the layer tree
        // select with the mouse and delete from their own menus.
        {"&Deselect", Save, nullptr, None, "Deselect Selected Items", nullptr, nullptr, false, true, Hidden},
        {"&Inverse", Save, nullptr, None, "Inverse Selected Items", nullptr, nullptr, false, true, Hidden},
        {"&Copy", Save, nullptr, None, "Copy Selected Items", nullptr, nullptr, false, true, Hidden},
        {"&Delete", Save, nullptr, None, "Delete Selected Items", nullptr, nullptr, false, true, Hidden},
        {"&Paste", Save, nullptr, None, "Paste", nullptr, nullptr, false, true, Hidden},
        {"&Undo", ":/images/undo.png", nullptr, QKeySequence::Undo, "Undo the last editing action", &MainWindow::undo, nullptr, false, true},
        {"&Copy to Folder", ":/images/movetofolder.png", "Ctrl+Shift+C", None, "Copy images into a new folder", &MainWindow::copyToFolder, nullptr, false, true},
        // Not offered: there is no log file reader to geotag from.
        {"&Geotag Images", Save, nullptr, None, "Geotags images from log file", nullptr, nullptr, false, true, Hidden},
        {"&Extract Exif", Save, "Ctrl+E", None, "Extracts Exif to XML file", &MainWindow::exifExtract, nullptr, false, true},
        // Not offered: the image list turns to thumbnails from its own menu and has
        // no way back to the plain list to toggle to.
        {"&Show Thumbnails", Save, nullptr, None, "Toggles whether to show thumbnails in image viewer", nullptr, nullptr, false, true, Hidden},
        {"&Sync Images", Save, "Ctrl+P", None, "Sync images from camera to project folder", &MainWindow::syncImages, nullptr, false, true},
        {"&Run Sparse", ":/images/sparse.png", "Ctrl+1", None, "Runs Initial Sparse Reconstruction", &MainWindow::SfMSparseReconstruction, nullptr, false, false},
        {"&ReRun BundleAdjustment", ":/images/sparse.png", nullptr, None, "ReRuns Bundle Adjustment", &MainWindow::SfMSparseReRun, nullptr, false, true},
        {"&Run Dense", ":/images/dense.png", "Ctrl+2", None, "Runs Final Dense Reconstruction", &MainWindow::denseReconstruction, nullptr, false, false},
        {"&Orthophoto and DSM", ":/images/dense.png", nullptr, None, "Builds the orthophoto and the elevation model (GeoTIFF) of the georeferenced reconstruction", &MainWindow::orthophotoAndDsm, nullptr, false, true},
        {"Accuracy &Report", ":/images/export.png", nullptr, None, "Opens the accuracy report of the reconstruction: control and check points, GPS, reprojection errors, overlap", &MainWindow::accuracyReport, nullptr, false, true},
        // Connected by each pipeline run, not by the window.
        {"&Abort current reconstruction", ":/images/abort.png", "Ctrl+A", None, "Aborts current reconstruction", nullptr, nullptr, false, false},
        {"&Scan Settings", ":/images/settings.png", "Ctrl+I", None, "Configure Settings for Scan Methods", &MainWindow::configureScanSettings, nullptr, false, true},
        // Not offered: there is no GPS or aircraft connection to set up or open
        // here; the EDM and the sensors have their own entries.
        {"&Connect Settings", Save, nullptr, None, "Configure Settings for Connections", nullptr, nullptr, false, true, Hidden},
        {"&Connect GPS", Save, nullptr, None, "Connect to External GPS", nullptr, nullptr, false, true, Hidden},
        {"&Connect UAV", Save, nullptr, None, "Connect to Unmanned Aerial Vehicle", nullptr, nullptr, false, true, Hidden},
        {"&Connect EDM", Save, nullptr, None, "Connect EDM", &MainWindow::openSerialPortPass, nullptr, false, true},
        {"&Disconnect EDM", Save, nullptr, None, "Disconnect to EDM", &MainWindow::closeSerialPortPass, nullptr, false, true},
        {"&Sensors", ":/images/Sensors.png", nullptr, None, "Show the site's sensor network from its serial gateway", nullptr, &MainWindow::startSensors, true, true},
        // Not offered: there is no mission plan to send, fetch, load or save.
        {"&Send Mission", Save, nullptr, None, "Send Mission to AUV onboard memory (Warning!!! Will overwrite current mission plan!!", nullptr, nullptr, false, true, Hidden},
        {"&Retrieve Mission", Save, nullptr, None, "Retrieve Mission from AUV onboard memory", nullptr, nullptr, false, true, Hidden},
        {"&Load Mission", Save, nullptr, None, "Load from File saved Mission", nullptr, nullptr, false, true, Hidden},
        {"&Save Mission", Save, nullptr, None, "Save Mission to file", nullptr, nullptr, false, true, Hidden},
        // Not offered: the selection box lives in the "Select Tools" panel.
        {"&Select Pointer", Save, nullptr, None, "Select using Pointer", nullptr, nullptr, false, true, Hidden},
        {"&Select Box", Save, nullptr, None, "Select by drawing a box", nullptr, nullptr, false, true, Hidden},
        {"&Select Polygon", Save, nullptr, None, "Select by creating a Polygon", nullptr, nullptr, false, true, Hidden},
        {"&Convert Ply2Pts", Save, nullptr, None, "Convert Ply to Pts", &MainWindow::convertPly2PtsOpen, nullptr, false, true},
        {"&Convert Pts2Ply", Save, nullptr, None, "Convert Pts to Ply", &MainWindow::convertPts2PlyOpen, nullptr, false, true},
        {"&PLY->OSGA(LOD)", Save, nullptr, None, "Convert Pts to Asc", &MainWindow::convertPts2AscOpen, nullptr, false, true},
        {"&Save Selected Points to Polyline", Save, "Ctrl+f", None, "Save Selected Points to Polyline", &MainWindow::saveSelectedPointsasPolyline, nullptr, false, true},
        {"&About", nullptr, nullptr, None, "Show the application's About box", &MainWindow::about, nullptr, false, true},
        // Connected to the application's aboutQt() by the window.
        {"About &Qt", nullptr, nullptr, None, "Show the Qt library's About box", nullptr, nullptr, false, true},
        // Not offered: the view from the top at a layer is its "Zoom To".
        {"&View All", ":/images/ViewAll.png", nullptr, None, "View All", nullptr, nullptr, false, true, Hidden},
        {"&View Front", ":/images/ViewFront.png", nullptr, None, "View Front", &MainWindow::showFront, nullptr, false, true},
        {"&View Back", ":/images/ViewBack.png", nullptr, None, "View Back", &MainWindow::showBack, nullptr, false, true},
        {"&View Left", ":/images/ViewLeft.png", nullptr, None, "View Left", &MainWindow::showLeft, nullptr, false, true},
        {"&View Right", ":/images/ViewRight.png", nullptr, None, "View Right", &MainWindow::showRight, nullptr, false, true},
        {"&View Top", ":/images/ViewTop.png", nullptr, None, "View Top", &MainWindow::showTop, nullptr, false, true},
        {"&View Bottom", ":/images/ViewBottom.png", nullptr, None, "View Bottom", &MainWindow::showBottom, nullptr, false, true},
        // Not offered: the camera's view of a photo is its image viewer.
        {"&View From Camera Perspective", ":/images/ViewCameraPerspective.png", nullptr, None, "View Camera Perspective", nullptr, nullptr, false, true, Hidden},
        {"&Save Bookmark", ":/images/ViewBookmark.png", nullptr, None, "View bookmark", &MainWindow::createBookmark, nullptr, false, true},
        {"&Switch Manipulator", ":/images/SwitchManipulator.png", nullptr, None, "Switch Manipulator", &MainWindow::switchManipulator, nullptr, false, true},
        // Not offered: picking and editing the cloud goes through the "Select Tools"
        // panel and the point and polygon forms; these tools have no scene side.
        {"&SelectSinglePoint", ":/images/singlePoint.png", nullptr, None, "Select Single Point", nullptr, nullptr, false, true, Hidden},
        {"&SelectFromCameraView", ":/images/SelectFromCameraView.jpg", nullptr, None, "Select From Camera View", nullptr, nullptr, false, true, Hidden},
        {"&SelectBox", ":/images/SelectBox.png", nullptr, None, "Select Box", nullptr, nullptr, false, true, Hidden},
        {"&SelectDragging", ":images/SelectDragging.jpg", nullptr, None, "Select Dragging", nullptr, nullptr, false, true, Hidden},
        {"&SelectCoordinate", ":images/SelectCoordinate.png", nullptr, None, "Select Coordinate", &MainWindow::sendMeasurement, nullptr, false, true},
        {"&SelectSlice", ":images/SelectSlice.png", nullptr, None, "Select Slice", nullptr, nullptr, false, true, Hidden},
        {"&SliderForSlicingPoint", ":images/SliderForSlicingPoint.png", nullptr, None, "Slider For Slicing Point", nullptr, nullptr, false, true, Hidden},
        {"&MovePoint", ":images/movePoints.jpg", nullptr, None, "Move Point", nullptr, nullptr, false, true, Hidden},
        {"&SegmentPoints", ":images/SegmentPoints.png", nullptr, None, "Segment Points", nullptr, nullptr, false, true, Hidden},
        {"&RemoveNoise", ":images/RemoveNoise.png", nullptr, None, "Remove Noise", nullptr, nullptr, false, true, Hidden},
        {"&DrawingPoint", ":images/DrawingPoint.jpg", nullptr, None, "Drawing Point", nullptr, &MainWindow::drawPointToggle, true, true},
        {"&Measure", ":images/DrawPolyline.png", nullptr, None, "Measure", nullptr, &MainWindow::measureToggle, true, true},
        {"&SnapToFeatures", ":images/SnapToFeatures.jpg", "s", None, "Check for Priority", nullptr, &MainWindow::toggleSmoke, true, true},
        // Not offered: there is no solid modelling to extrude, subtract or add with.
        {"&Extrude", ":images/Extrude.jpg", nullptr, None, "Extrude", nullptr, nullptr, false, true, Hidden},
        {"&Subtract", ":images/Subtract.png", nullptr, None, "Subtract", nullptr, nullptr, false, true, Hidden},
        {"&Add", ":images/Add.jpg", nullptr, None, "Add", nullptr, nullptr, false, true, Hidden},
        // Connected to the site's surveys by the window.
        {"&Add Survey...", ":/images/Add.jpg", nullptr, None, "Adds a georeferenced survey of the site (its pipeline folder, with its elevation model and orthophoto)", nullptr, nullptr, false, true},
        {"&Check Surveys", ":/images/rotateCheck.jpg", nullptr, None, "Checks that the site's surveys agree on ground that did not change", nullptr, nullptr, false, true},
        {"Compare Surveys", ":/images/dense.png", nullptr, None, "The change of the ground between two surveys, later minus earlier, as a layer", nullptr, nullptr, false, true},
        {"&Volumes...", ":/images/drawPolyhedron.jpg", nullptr, None, "Cut, fill and net volume within a context's outline", nullptr, nullptr, false, true},
        {"&Section...", ":/images/drawLine.png", nullptr, None, "The profile of every survey and the dense cloud along a line between two picks", nullptr, nullptr, false, true},
        {"&Contours...", ":/images/DrawPolyline.png", nullptr, None, "Contour lines of an elevation model as GeoPackage and DXF", nullptr, nullptr, false, true},
        {"&Export Records...", ":/images/export.png", nullptr, None, "Writes the finds and contexts as a GeoPackage in the project's reference system", nullptr, nullptr, false, true},
    };
    // clang-format on
    return table;
}

QVector<ActionTable::Bar> ActionTable::menus(Edition edition)
{
    QVector<Bar> bars;
    bars.append(Bar{"&File", {"&Open Project...", "&Add Data(s)...", "&Add Images...", "&Save Project",
                              "&Save As Project", separator, "&Close Project", separator, "&Quit"}});
    // Filled with the docks' toggle actions when the docks are created.
    bars.append(Bar{viewMenu, {}});
    // Photographs are taken, fetched and looked at in the field too; the
    // field edition leaves out "&Sync Images", whose folder is set only in
    // "&Scan Settings", which it lacks. Entries that are not offered are in
    // no menu of either edition.
    if (edition == Edition::Tessary)
        bars.append(Bar{"&Images", {"&Add Images...", "&Copy to Folder", "&Extract Exif"}});
    if (edition == Edition::Orvalis) {
        bars.append(Bar{"&Images", {"&Add Images...", "&Copy to Folder", "&Extract Exif", "&Sync Images"}});
        bars.append(Bar{"&Scan",
                        {"&Run Sparse", "&Run Dense", "&Orthophoto and DSM", "Accuracy &Report",
                         "&ReRun BundleAdjustment", "&Abort current reconstruction", "&Scan Settings"}});
        bars.append(Bar{"&Connect", {"&Connect EDM", "&Disconnect EDM", separator, "&Sensors"}});
    }
    // Point drawing, the map manipulator and the two PTS conversions would
    // otherwise be out of reach: the conversions follow the archive
    // conversion, the others the last separator.
    QStringList tools{"&Measure", "&PLY->OSGA(LOD)", "&Convert Ply2Pts", "&Convert Pts2Ply", separator,
                      bookmarkMenu, separator, "&DrawingPoint", "&Switch Manipulator"};
    // The field edition has no "&Connect" menu; the sensors switch lives here.
    if (edition == Edition::Tessary)
        tools << separator << "&Sensors";
    // The excavation's questions about its surveys, in both editions: the
    // field team measures and draws from surveys made elsewhere too.
    bars.append(Bar{"&Survey",
                    // Connected to the site's surveys by the window.
        {"&Add Survey...", "&Check Surveys", "Compare Surveys", separator, "&Volumes...",
                     "&Section...", "&Contours...", separator, "&Export Records..."}});
    bars.append(Bar{"&Tools", tools});
    bars.append(Bar{"&Help", {"&About"}});
    return bars;
}

QVector<ActionTable::Bar> ActionTable::toolBars(Edition edition)
{
    QVector<Bar> bars;
    bars.append(Bar{"File", {"&Open Project...", "&Add Data(s)...", "&Save Project"}});
    if (edition == Edition::Orvalis)
        bars.append(Bar{"Scan", {"&Run Sparse", "&Run Dense", "&Abort current reconstruction"}});
    bars.append(Bar{"Draw", {"&Measure"}});
    bars.append(Bar{"View", {"&Save Bookmark", "&View Front", "&View Back", "&View Left", "&View Right", "&View Top",
                          "&View Bottom"}});
    return bars;
}

QAction* ActionTable::create(const Entry& e, MainWindow* receiver)
{
    auto* action = new QAction(QObject::tr(e.text), receiver);
    if (e.icon)
        action->setIcon(QIcon(QString::fromLatin1(e.icon)));
    if (e.shortcut)
        action->setShortcut(QKeySequence(QObject::tr(e.shortcut)));
    else if (e.standardKey != QKeySequence::UnknownKey)
        action->setShortcuts(e.standardKey);
    action->setStatusTip(QObject::tr(e.statusTip));
    action->setCheckable(e.checkable);
    action->setEnabled(e.enabled);
    action->setVisible(e.offered);
    if (e.triggered)
        QObject::connect(action, &QAction::triggered, receiver, e.triggered);
    if (e.toggled)
        QObject::connect(action, &QAction::toggled, receiver, e.toggled);
    return action;
}

QMenu* ActionTable::fill(QWidget* bar, const QStringList& entries, const QHash<QString, QAction*>& actions)
{
    auto* menu = qobject_cast<QMenu*>(bar);
    auto* toolBar = qobject_cast<QToolBar*>(bar);
    QMenu* bookmarks = nullptr;
    for (const QString& entry : entries) {
        if (entry == QLatin1String(separator))
            menu ? menu->addSeparator() : toolBar->addSeparator();
        else if (menu && entry == QLatin1String(bookmarkMenu))
            bookmarks = menu->addMenu(QObject::tr(bookmarkMenu));
        else
            bar->addAction(actions.value(entry));
    }
    return bookmarks;
}
