#pragma once

#include <QHash>
#include <QList>
#include <QMainWindow>

#include <osg/Array>
#include <osg/ref_ptr>

#include <memory>
#include <string>

#include "core/platform/ScriptProcess.h"
#include "ui/annotation/AnnotationInput.h"
#include "ui/layers/LayerTree.h"
#include "ui/main/ActionTable.h"

class AnnotationActions;
class AnnotationForm;
class CloudConversion;
class ConfigWindow;
class ConversionActions;
class ExifExtraction;
class ImageSetOperations;
class ProjectSession;
class TCPServer;
class GeoRef;
class GroundControl;
class ImageViewer;
class ImageViewers;
class LayerActions;
class MyListWidget;
class OsgWidget;
class PointForm;
class ProductLayers;
class PolygonForm;
class PropertyWindow;
class QAction;
class QFile;
class QDockWidget;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QStandardItem;
class QStandardItemModel;
class QToolBar;
class QTreeView;
class ReconstructionRunner;
class SelectionToolWidget;
class SurveyActions;
class ViewActions;

// The workbench's main window: owns every action, menu, tool bar and dock and
// wires them to the classes that do the work.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    using Edition = ActionTable::Edition;

    explicit MainWindow(Edition edition = Edition::Tessary, QWidget* parent = nullptr);
    ~MainWindow() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

    Edition edition() const { return m_edition; }
    QString applicationFolder() const { return m_appDir; }
    QAction* action(const QString& text) const { return m_actions.value(text); }
    // "Log View", with the lines already written to the log channel delivered.
    QListWidget* logList() const;
    OsgWidget* sceneView() const { return m_osgWidget; }
    MyListWidget* imageList() const { return m_imageList; }
    QDockWidget* dock(const QString& title) const { return m_docks.value(title); }
    QMenu* bookmarkMenu() const { return m_bookmarkMenu; }
    LayerTree* layers() const { return m_layers; }
    QTreeView* layerView() const { return m_treeView; }
    SelectionToolWidget* selectionTool() const { return m_selectionTool; }
    // The open image viewers.
    ImageViewers* imageViewers() const { return m_viewers; }
    // The operations on the photographs, and the EXIF extraction that the
    // sparse run starts and waits for.
    ImageSetOperations* imageSet() const { return m_imageSet; }
    ExifExtraction* exifExtraction() const { return m_exif; }
    ReconstructionRunner* reconstruction() const { return m_reconstruction; }
    // The layers of the tool chain's results, kept in step with their files.
    ProductLayers* productLayers() const { return m_products; }
    // The site's surveys: their changes, volumes, sections, contours and the records for a GIS.
    SurveyActions* surveyActions() const { return m_surveys; }

    // Adds a layer item under parent (the project root when null), loads it
    // and expands the item and its parent, as a project is read: a file that
    // cannot be read keeps its item (and its place in the project file), and
    // the log view says why. Nullptr for an unknown file type.
    QStandardItem* addLayer(const QString& file, const QString& displayName, bool visible,
                            QStandardItem* parent = nullptr);
    // "Add Data" for files already chosen: each file that loads becomes a
    // layer under the root; one that gives nothing adds nothing, and the log
    // view and the status bar say so.
    void addDataFiles(const QStringList& paths);

    QString projectPath() const;
    ProjectSession* session() const { return m_session; }
    // The project flows without their file dialogs: true on success.
    bool openProjectFile(const QString& fileName);
    bool writeProjectFile(const QString& fileName);
    // Removes every layer and every row under the project root.
    void clearProject();
    TCPServer* commandServer() const;
    // The "Points" and "Polygons" panels and the input behind them; the
    // picking side attaches through annotationInput()->setPicker().
    PointForm* pointForm() const { return m_pointForm; }
    PolygonForm* polygonForm() const { return m_polygonForm; }
    AnnotationInput* annotationInput() const;
    CloudConversion* cloudConversion() const;
    // The three property windows: 1 general, 2 point clouds, 3 reconstructions.
    PropertyWindow* propertyWindow(int kind) const;
    // Writes point cloud layer `index` as ASCII PLY to fileName, reporting in the status bar.
    bool exportPointCloudTo(int index, const QString& fileName);

    // Appends one line to the "Log View".
    void appendLog(const QString& text);

signals:
    void loadFirstImg(QListWidgetItem* firstItm);
    void senderItem(QStandardItem* item);
    // A position from the ground station, understood; the annotation forms take it.
    void serverPositionReceived(double x, double y, double z);

public slots:
    void updateWindowPaint();
    void updateZooms(double factor);
    void deleteImageViewer(QString filename);
    void receiveExtractCommand();
    void startSensors(bool start);
    void toggleSmoke(bool start);
    void getBoxPos();
    void extractBox();
    void updateWindowTitleCount();
    void showContextMenuForDirectory(const QPoint& pos);
    void drawPointToggle(bool toggle);
    void getPointToggle(bool status);
    void updateFromServerPos(QString posQString);
    void getPolygonToggle(bool status);
    void measureToggle(bool status);
    void updateTogglePoint();
    void updateTogglePolygon();
    void saveInputPoint();
    void saveInputPolygon();
    void dateSet();
    // Slots whose work belongs to features still to come do nothing.
    void openSerialPortPass() {}
    void closeSerialPortPass() {}
    void saveAs();
    void save();
    void print() {}
    void undo() {}
    void about();
    void showFront();
    void showBack();
    void showLeft();
    void showRight();
    void showTop();
    void showBottom();
    void createBookmark();
    void onStepIncreased(int j);
    void switchManipulator();
    void recordClicked() {}
    void onItemChanged(QStandardItem* item);
    void syncImages();
    void treeItem_checkAllChild(QStandardItem*, bool = true) {}
    void treeItem_checkAllChild_recursion(QStandardItem*, bool = true) {}
    void treeItem_CheckChildChanged(QStandardItem*) {}
    Qt::CheckState checkSibling(QStandardItem*) { return Qt::Unchecked; }
    void openModel();
    void convertPly2PtsOpen();
    void convertPlyToOsga(std::string fileName);
    void convertPts2PlyOpen();
    void convertPts2AscOpen();
    void saveSelectedPointsasPolyline();
    void openProj();
    void addImage();
    void load(QListWidgetItem* item);
    void changeItemValue(QListWidgetItem* item);
    void copyToFolder();
    void exifExtract();
    void onExifProcessFinished(int exitCode);
    void onConvertPlyProcessFinished(int exitCode);
    void SfMSparseReconstruction();
    void SfMSparseReRun();
    void configureScanSettings();
    void denseReconstruction();
    void orthophotoAndDsm();
    // Opens the newest accuracy report of the photos' or the loaded reconstructions' folders.
    void accuracyReport();
    void saveVariables();
    void loadSparseNVM(QFile*) {}
    void loadPatchFiles(QStringList) {}
    void showProperty();
    void addProjectFolder();
    void addFolderInFolder();
    void changeFolderSymbol();
    void showPropertyWin_Model();
    void showPropertyWin_BundleFile();
    void showPopupWin();
    void removeModel();
    void exportPointCloud();
    void saveEditsPoints();
    void saveEditsPolygons();
    void toggleLabels();
    void togglePolyLabels();
    void removeAllModels();
    void closeProject();
    void removeFolder();
    // "Zoom To" of a layer, folder or the project: the view from the top at them.
    void zoomToLayer();
    void turnOnOnlyCamerasAction() {}
    void turnOnOnlyModelAction() {}
    void sendMeasurement();
    QStringList makeComboList(int type, int start, int end);
    QStringList makeGridComboList(std::string row, std::string column, std::string whichLetter, int rowCells,
                                  int columnCells);
    QString getCurrentLetter(int n);
    void captureScreen() {}
    void savePDF() {}

protected:
    // Quit: a run going is stopped only when the user says so, and unsaved
    // changes are asked about as Close Project does.
    void closeEvent(QCloseEvent* event) override;

private:
    // An entry of a layer's context menu: the slot it stands for.
    void runLayerCommand(LayerTree::MenuCommand command);
    void createActions();
    void createMenus();
    void createToolBars();
    void createDocks();
    QDockWidget* addDock(const QString& title, QWidget* content, Qt::DockWidgetArea area,
                         bool inViewMenu = true);
    QWidget* createLogList();
    QWidget* createSelectionTools();
    QWidget* createLayerTree();
    QWidget* createImageList();
    void imagesListed();
    void connectForm(AnnotationForm* form, void (MainWindow::*toggleSlot)(bool),
                     void (MainWindow::*getSlot)(), void (MainWindow::*recordSlot)());
    void createProjectSession();
    void createReconstruction();
    // A helper's status bar messages and log lines go to the window's.
    template <typename Reporter> void connectReports(Reporter* reporter);

    Edition m_edition;
    QString m_appDir;

    OsgWidget* m_osgWidget = nullptr;
    QListWidget* m_logList = nullptr;
    QTreeView* m_treeView = nullptr;
    LayerTree* m_layers = nullptr;
    ProjectSession* m_session = nullptr;
    MyListWidget* m_imageList = nullptr;
    ImageSetOperations* m_imageSet = nullptr;
    ExifExtraction* m_exif = nullptr;
    GeoRef* m_geoRef = nullptr;
    GroundControl* m_groundControl = nullptr;
    SelectionToolWidget* m_selectionTool = nullptr;
    ImageViewers* m_viewers = nullptr;
    ConfigWindow* m_configWindow = nullptr;
    PointForm* m_pointForm = nullptr;
    PolygonForm* m_polygonForm = nullptr;
    ReconstructionRunner* m_reconstruction = nullptr;
    // The controllers behind the slots.
    LayerActions* m_layerActions = nullptr;
    ViewActions* m_viewActions = nullptr;
    AnnotationActions* m_annotation = nullptr;
    ConversionActions* m_conversions = nullptr;
    ProductLayers* m_products = nullptr;
    SurveyActions* m_surveys = nullptr;

    ScriptProcess m_exifProcess; // its tools stop with it when a run is aborted

    QHash<QString, QAction*> m_actions;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_bookmarkMenu = nullptr;
    QHash<QString, QDockWidget*> m_docks;

    osg::ref_ptr<osg::Vec3dArray> m_polygonVertices;
};
