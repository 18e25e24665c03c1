#include "ui/main/ActionTable.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QToolBar>

namespace {
constexpr QKeySequence::StandardKey None = QKeySequence::UnknownKey;
constexpr const char* Save = ":/images/save.png";
}

const QVector<ActionTable::Entry>& ActionTable::actions()
{
    // clang-format off
    static const QVector<Entry> table = {
        {"&Open Project...", ":/images/open.png", nullptr, QKeySequence::Open, "Open a saved project", "openProj()", false, false, true},
        {"&Add Images...", ":/images/add.png", "Ctrl+Shift+I", None, "Add images to the image view", "addImage()", false, false, true},
        {"&Add Data(s)...", ":/images/Add.jpg", "Ctrl+M", None, "Add a model to the project", "openModel()", false, false, true},
        {"&Save Project", Save, nullptr, QKeySequence::Save, "Save the current Project", "save()", false, false, true},
        {"&Save As Project", ":/images/saveas.png", "F12", None, "Save the current Project as New", "saveAs()", false, false, true},
        {"&Close Project", Save, nullptr, None, "Close the current Project", "closeProject()", false, false, true},
        {"&Export Model...", Save, nullptr, None, "Save the current form letter", nullptr, false, false, true},
        {"&Print...", ":/images/print.png", nullptr, QKeySequence::Print, "Print the current form letter", "print()", false, false, true},
        {"&Quit", nullptr, nullptr, QKeySequence::Quit, "Quit the application", "close()", false, false, true},
        {"&Deselect", Save, nullptr, None, "Deselect Selected Items", nullptr, false, false, true},
        {"&Inverse", Save, nullptr, None, "Inverse Selected Items", nullptr, false, false, true},
        {"&Copy", Save, nullptr, None, "Copy Selected Items", nullptr, false, false, true},
        {"&Delete", Save, nullptr, None, "Delete Selected Items", nullptr, false, false, true},
        {"&Paste", Save, nullptr, None, "Paste", nullptr, false, false, true},
        {"&Undo", ":/images/undo.png", nullptr, QKeySequence::Undo, "Undo the last editing action", "undo()", false, false, true},
        {"&Copy to Folder", ":/images/movetofolder.png", "Ctrl+Shift+C", None, "Copy images into a new folder", "copyToFolder()", false, false, true},
        {"&Geotag Images", Save, nullptr, None, "Geotags images from log file", nullptr, false, false, true},
        {"&Extract Exif", Save, "Ctrl+E", None, "Extracts Exif to XML file", "exifExtract()", false, false, true},
        {"&Show Thumbnails", Save, nullptr, None, "Toggles whether to show thumbnails in image viewer", nullptr, false, false, true},
        {"&Sync Images", Save, "Ctrl+P", None, "Sync images from camera to project folder", "syncImages()", false, false, true},
        {"&Run Sparse", ":/images/sparse.png", "Ctrl+1", None, "Runs Initial Sparse Reconstruction", "SfMSparseReconstruction()", false, false, false},
        {"&ReRun BundleAdjustment", ":/images/sparse.png", nullptr, None, "ReRuns Bundle Adjustment", "SfMSparseReRun()", false, false, true},
        {"&Run Dense", ":/images/dense.png", "Ctrl+2", None, "Runs Final Dense Reconstruction", "denseReconstruction()", false, false, false},
        {"&Orthophoto and DSM", ":/images/dense.png", nullptr, None, "Builds the orthophoto and the elevation model (GeoTIFF) of the georeferenced reconstruction", "orthophotoAndDsm()", false, false, true},
        {"Accuracy &Report", ":/images/export.png", nullptr, None, "Opens the accuracy report of the reconstruction: control and check points, GPS, reprojection errors, overlap", "accuracyReport()", false, false, true},
        // Connected by each pipeline run, not by the window.
        {"&Abort current reconstruction", ":/images/abort.png", "Ctrl+A", None, "Aborts current reconstruction", nullptr, false, false, false},
        {"&Scan Settings", ":/images/settings.png", "Ctrl+I", None, "Configure Settings for Scan Methods", "configureScanSettings()", false, false, true},
        {"&Connect Settings", Save, nullptr, None, "Configure Settings for Connections", nullptr, false, false, true},
        {"&Connect GPS", Save, nullptr, None, "Connect to External GPS", nullptr, false, false, true},
        {"&Connect UAV", Save, nullptr, None, "Connect to Unmanned Aerial Vehicle", nullptr, false, false, true},
        {"&Connect EDM", Save, nullptr, None, "Connect EDM", "openSerialPortPass()", false, false, true},
        {"&Disconnect EDM", Save, nullptr, None, "Disconnect to EDM", "closeSerialPortPass()", false, false, true},
        {"&Sensors", ":/images/Sensors.png", nullptr, None, "Show the site's sensor network from its serial gateway", "startSensors(bool)", true, true, true},
        {"&Send Mission", Save, nullptr, None, "Send Mission to AUV onboard memory (Warning!!! Will overwrite current mission plan!!", nullptr, false, false, true},
        {"&Retrieve Mission", Save, nullptr, None, "Retrieve Mission from AUV onboard memory", nullptr, false, false, true},
        {"&Load Mission", Save, nullptr, None, "Load from File saved Mission", nullptr, false, false, true},
        {"&Save Mission", Save, nullptr, None, "Save Mission to file", nullptr, false, false, true},
        {"&Select Pointer", Save, nullptr, None, "Select using Pointer", nullptr, false, false, true},
        {"&Select Box", Save, nullptr, None, "Select by drawing a box", nullptr, false, false, true},
        {"&Select Polygon", Save, nullptr, None, "Select by creating a Polygon", nullptr, false, false, true},
        {"&Convert Ply2Pts", Save, nullptr, None, "Convert Ply to Pts", "convertPly2PtsOpen()", false, false, true},
        {"&Convert Pts2Ply", Save, nullptr, None, "Convert Pts to Ply", "convertPts2PlyOpen()", false, false, true},
        {"&PLY->OSGA(LOD)", Save, nullptr, None, "Convert Pts to Asc", "convertPts2AscOpen()", false, false, true},
        {"&Save Selected Points to Polyline", Save, "Ctrl+f", None, "Save Selected Points to Polyline", "saveSelectedPointsasPolyline()", false, false, true},
        {"&About", nullptr, nullptr, None, "Show the application's About box", "about()", false, false, true},
        // Connected to the application's aboutQt() by the window.
        {"About &Qt", nullptr, nullptr, None, "Show the Qt library's About box", nullptr, false, false, true},
        {"&View All", ":/images/ViewAll.png", nullptr, None, "View All", nullptr, false, false, true},
        {"&View Front", ":/images/ViewFront.png", nullptr, None, "View Front", "showFront()", false, false, true},
        {"&View Back", ":/images/ViewBack.png", nullptr, None, "View Back", "showBack()", false, false, true},
        {"&View Left", ":/images/ViewLeft.png", nullptr, None, "View Left", "showLeft()", false, false, true},
        {"&View Right", ":/images/ViewRight.png", nullptr, None, "View Right", "showRight()", false, false, true},
        {"&View Top", ":/images/ViewTop.png", nullptr, None, "View Top", "showTop()", false, false, true},
        {"&View Bottom", ":/images/ViewBottom.png", nullptr, None, "View Bottom", "showBottom()", false, false, true},
        {"&View From Camera Perspective", ":/images/ViewCameraPerspective.png", nullptr, None, "View Camera Perspective", nullptr, false, false, true},
        {"&Save Bookmark", ":/images/ViewBookmark.png", nullptr, None, "View bookmark", "createBookmark()", false, false, true},
        {"&Switch Manipulator", ":/images/SwitchManipulator.png", nullptr, None, "Switch Manipulator", "switchManipulator()", false, false, true},
        {"&SelectSinglePoint", ":/images/singlePoint.png", nullptr, None, "Select Single Point", nullptr, false, false, true},
        {"&SelectFromCameraView", ":/images/SelectFromCameraView.jpg", nullptr, None, "Select From Camera View", nullptr, false, false, true},
        {"&SelectBox", ":/images/SelectBox.png", nullptr, None, "Select Box", nullptr, false, false, true},
        {"&SelectDragging", ":images/SelectDragging.jpg", nullptr, None, "Select Dragging", nullptr, false, false, true},
        {"&SelectCoordinate", ":images/SelectCoordinate.png", nullptr, None, "Select Coordinate", "sendMeasurement()", false, false, true},
        {"&SelectSlice", ":images/SelectSlice.png", nullptr, None, "Select Slice", nullptr, false, false, true},
        {"&SliderForSlicingPoint", ":images/SliderForSlicingPoint.png", nullptr, None, "Slider For Slicing Point", nullptr, false, false, true},
        {"&MovePoint", ":images/movePoints.jpg", nullptr, None, "Move Point", nullptr, false, false, true},
        {"&SegmentPoints", ":images/SegmentPoints.png", nullptr, None, "Segment Points", nullptr, false, false, true},
        {"&RemoveNoise", ":images/RemoveNoise.png", nullptr, None, "Remove Noise", nullptr, false, false, true},
        {"&DrawingPoint", ":images/DrawingPoint.jpg", nullptr, None, "Drawing Point", "drawPointToggle(bool)", true, true, true},
        {"&Measure", ":images/DrawPolyline.png", nullptr, None, "Measure", "measureToggle(bool)", true, true, true},
        {"&SnapToFeatures", ":images/SnapToFeatures.jpg", "s", None, "Check for Priority", "toggleSmoke(bool)", true, true, true},
        {"&Extrude", ":images/Extrude.jpg", nullptr, None, "Extrude", nullptr, false, false, true},
        {"&Subtract", ":images/Subtract.png", nullptr, None, "Subtract", nullptr, false, false, true},
        {"&Add", ":images/Add.jpg", nullptr, None, "Add", nullptr, false, false, true},
        {"&Add Survey...", ":/images/Add.jpg", nullptr, None, "Adds a georeferenced survey of the site (its pipeline folder, with its elevation model and orthophoto)", nullptr, false, false, true},
        {"&Check Surveys", ":/images/rotateCheck.jpg", nullptr, None, "Checks that the site's surveys agree on ground that did not change", nullptr, false, false, true},
        {"Compare Surveys", ":/images/dense.png", nullptr, None, "The change of the ground between two surveys, later minus earlier, as a layer", nullptr, false, false, true},
        {"&Volumes...", ":/images/drawPolyhedron.jpg", nullptr, None, "Cut, fill and net volume within a context's outline", nullptr, false, false, true},
        {"&Section...", ":/images/drawLine.png", nullptr, None, "The profile of every survey and the dense cloud along a line between two picks", nullptr, false, false, true},
        {"&Contours...", ":/images/DrawPolyline.png", nullptr, None, "Contour lines of an elevation model as GeoPackage and DXF", nullptr, false, false, true},
        {"&Export Records...", ":/images/export.png", nullptr, None, "Writes the finds and contexts as a GeoPackage in the project's reference system", nullptr, false, false, true},
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
    // field edition leaves out the entries that do nothing, and "&Sync
    // Images", whose folder is set only in "&Scan Settings", which it lacks.
    if (edition == Edition::Tessary)
        bars.append(Bar{"&Images", {"&Add Images...", "&Copy to Folder", "&Extract Exif"}});
    if (edition == Edition::Orvalis) {
        bars.append(Bar{"&Images", {"&Add Images...", "&Copy to Folder", "&Geotag Images", "&Extract Exif",
                                    "&Show Thumbnails", "&Sync Images"}});
        bars.append(Bar{"&Scan",
                        {"&Run Sparse", "&Run Dense", "&Orthophoto and DSM", "Accuracy &Report",
                         "&ReRun BundleAdjustment", "&Abort current reconstruction", "&Scan Settings"}});
        bars.append(Bar{"&Connect", {"&Connect Settings", "&Connect GPS", "&Connect UAV", "&Connect EDM", "&Disconnect EDM",
                                     separator, "&Sensors"}});
        bars.append(Bar{"&Mission", {"&Save Mission", "&Load Mission", "&Retrieve Mission", "&Send Mission"}});
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

QAction* ActionTable::create(const Entry& e, QObject* receiver)
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
    if (e.slot) {
        const QByteArray slot = QByteArray("1") + e.slot; // the SLOT() macro's encoding
        const QByteArray signal = e.toggled ? QByteArray("2toggled(bool)") : QByteArray("2triggered()");
        QObject::connect(action, signal.constData(), receiver, slot.constData());
    }
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
