#include "ui/main/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <iostream>

#include "core/annotation/AnnotationValues.h"
#include "core/images/ExifExtraction.h"
#include "core/log/LogLine.h"
#include "core/log/LogSink.h"
#include "core/net/TCPServer.h"
#include "core/products/ProductRecord.h"
#include "scene/images/ImageMatchScene.h"
#include "scene/interaction/MapController.h"
#include "scene/sensors/SensorDisplay.h"
#include "scene/view/OsgWidget.h"
#include "ui/annotation/AnnotationActions.h"
#include "ui/annotation/GeoRef.h"
#include "ui/annotation/GroundControl.h"
#include "ui/annotation/PointForm.h"
#include "ui/annotation/PolygonForm.h"
#include "ui/annotation/TargetFinder.h"
#include "ui/images/ImageSetOperations.h"
#include "ui/images/ImageViewer.h"
#include "ui/images/ImageViewers.h"
#include "ui/images/MyListWidget.h"
#include "ui/layers/CloudConversion.h"
#include "ui/layers/ConversionActions.h"
#include "ui/layers/LayerActions.h"
#include "ui/layers/ProductLayers.h"
#include "ui/layers/PropertyWindow.h"
#include "ui/log/LogView.h"
#include "ui/main/ProjectSession.h"
#include "ui/main/SelectionToolWidget.h"
#include "ui/pipeline/ConfigWindow.h"
#include "ui/pipeline/OrthoDsmRunner.h"
#include "ui/pipeline/ReconstructionRunner.h"
#include "ui/survey/ChangeLegend.h"
#include "ui/survey/SurveyActions.h"
#include "ui/view/ViewActions.h"

template <typename Reporter> void MainWindow::connectReports(Reporter* reporter)
{
    connect(reporter, &Reporter::statusMessage, statusBar(), &QStatusBar::showMessage);
    connect(reporter, &Reporter::logLine, this, &MainWindow::appendLog);
}

MainWindow::MainWindow(Edition edition, QWidget* parent)
    : QMainWindow(parent), m_edition(edition), m_exifProcess(this), m_polygonVertices(new osg::Vec3dArray)
{
    createActions();
    createMenus();
    createToolBars();
    statusBar()->showMessage(tr("Ready"));
    createDocks();

    setWindowTitle(m_edition == Edition::Tessary ? tr("Tessary") : tr("Orvalis"));
    showMaximized();
    setUnifiedTitleAndToolBarOnMac(true);

    m_appDir = QCoreApplication::applicationDirPath();
    m_layers->setApplicationFolder(m_appDir);
    m_annotation->input()->setApplicationFolder(m_appDir);

    m_viewers = new ImageViewers(this, m_imageList, m_osgWidget, m_appDir);
    connect(m_viewers, &ImageViewers::imagePointPicked, m_groundControl, &GroundControl::pickAt);
    connect(m_viewers, &ImageViewers::viewerOpened, this, [this](ImageViewer* viewer) {
        connect(viewer, &ImageViewer::repaintImageViewers, this, &MainWindow::updateWindowPaint);
        connect(viewer, &ImageViewer::zoomAllViewers, this, &MainWindow::updateZooms);
        connect(viewer, &ImageViewer::imageViewerClosed, this, &MainWindow::deleteImageViewer);
        connect(viewer, &ImageViewer::sendExtractCommand, this, &MainWindow::receiveExtractCommand);
    });
    // The viewers draw the control points' observations in their photos.
    connect(m_geoRef, &GeoRef::pointsChanged, m_viewers,
            [this] { m_viewers->setControlPoints(m_geoRef->controlPoints(), m_geoRef->currentName()); });
    connect(m_groundControl->targets(), &TargetFinder::candidatesChanged, m_viewers,
            &ImageViewers::setTargetCandidates);
    m_conversions = new ConversionActions(this, m_appDir);
    connectReports(m_conversions);
    connect(m_conversions, &ConversionActions::archiveAccepted, this,
            [this](const QString& archive) { addDataFiles({archive}); });

    connect(this, &MainWindow::loadFirstImg, this, &MainWindow::load);

    m_configWindow = new ConfigWindow(this);
    connect(m_configWindow->saveButton(), &QPushButton::clicked, this, &MainWindow::saveVariables);
    createProjectSession();
    createReconstruction();

    connect(commandServer(), &TCPServer::RqstClientPos, this, &MainWindow::updateFromServerPos);
    connect(this, &MainWindow::serverPositionReceived, m_annotation->input(),
            [this](double x, double y, double z) {
                m_annotation->input()->receivePosition(osg::Vec3d(x, y, z));
            });

    m_viewActions->followSensors(m_actions.value("&Sensors"), this);
    // What a new window holds is nothing to save.
    m_session->markUnmodified();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_reconstruction->mayQuit(this) && m_session->confirmQuit())
        event->accept();
    else
        event->ignore();
}

void MainWindow::createProjectSession()
{
    ProjectSession::Parts parts;
    parts.window = this;
    parts.layers = m_layers;
    parts.view = m_treeView;
    parts.images = m_imageList;
    parts.scene = m_osgWidget;
    parts.groundControl = m_geoRef;
    parts.settings = m_configWindow;
    parts.appFolder = m_appDir;
    m_session = new ProjectSession(
        parts,
        [this](const QString& file, const QString& name, bool visible, QStandardItem* parent) {
            return addLayer(file, name, visible, parent);
        },
        this);
    connectReports(m_session);
    connect(m_session, &ProjectSession::opened, this, [this] {
        updateWindowTitleCount();
        m_viewActions->refreshBookmarkMenu();
        m_reconstruction->enableRunActions();
        m_products->refresh();
        m_surveys->refreshLegend();
    });
}

MainWindow::~MainWindow()
{
    // The exif process is a member and may report its end while it is destroyed.
    if (m_exif)
        disconnect(m_exif, nullptr, this, nullptr);
    // A running archive conversion ends quietly, without a box, and leaves nothing behind.
    if (m_conversions)
        m_conversions->conversion()->abandonArchive();
}

void MainWindow::createActions()
{
    for (const ActionTable::Entry& e : ActionTable::actions())
        m_actions.insert(QString::fromLatin1(e.text), ActionTable::create(e, this));
    connect(m_actions.value("&Quit"), &QAction::triggered, this, &QWidget::close);
    connect(m_actions.value("About &Qt"), &QAction::triggered, qApp, &QApplication::aboutQt);
}

void MainWindow::createMenus()
{
    for (const ActionTable::Bar& bar : ActionTable::menus(m_edition)) {
        QMenu* menu = menuBar()->addMenu(tr(bar.title));
        if (QMenu* bookmarks = ActionTable::fill(menu, bar.entries, m_actions))
            m_bookmarkMenu = bookmarks;
        if (QLatin1String(bar.title) == QLatin1String(ActionTable::viewMenu)) {
            m_viewMenu = menu;
            menuBar()->addSeparator();
        }
    }
}

void MainWindow::createToolBars()
{
    for (const ActionTable::Bar& bar : ActionTable::toolBars(m_edition)) {
        QToolBar* toolBar = addToolBar(tr(bar.title));
        toolBar->setObjectName(QString::fromLatin1(bar.title));
        ActionTable::fill(toolBar, bar.entries, m_actions);
    }
}

QDockWidget* MainWindow::addDock(const QString& title, QWidget* content, Qt::DockWidgetArea area,
                                 bool inViewMenu)
{
    auto* dock = new QDockWidget(title, this);
    dock->setObjectName(title);
    dock->setWidget(content);
    addDockWidget(area, dock);
    m_docks.insert(title, dock);
    if (inViewMenu)
        m_viewMenu->addAction(dock->toggleViewAction());
    return dock;
}

void MainWindow::createDocks()
{
    QDockWidget* logDock = addDock(tr("Log View"), createLogList(), Qt::BottomDockWidgetArea);
    // Opened after lines came in while it was closed, the log shows the newest.
    connect(logDock, &QDockWidget::visibilityChanged, m_logList, [this](bool visible) {
        if (visible)
            QTimer::singleShot(0, m_logList, &QListWidget::scrollToBottom);
    });
    logDock->close();

    m_osgWidget = new OsgWidget(osgViewer::ViewerBase::SingleThreaded, m_logList);
    QDockWidget* sceneDock = addDock(tr("Perspective View"), m_osgWidget, Qt::LeftDockWidgetArea, false);
    sceneDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    setCentralWidget(sceneDock);
    m_viewActions = new ViewActions(m_osgWidget, this);
    m_viewActions->setBookmarkMenu(m_bookmarkMenu);
    connectReports(m_viewActions);

    m_geoRef = new GeoRef;
    addDock(tr("Ground Control"), m_geoRef, Qt::RightDockWidgetArea)->hide();
    m_groundControl = new GroundControl(m_geoRef, m_osgWidget, this);
    connectReports(m_groundControl);
    QDockWidget* selectDock = addDock(tr("Select Tools"), createSelectionTools(), Qt::LeftDockWidgetArea);
    m_pointForm = new PointForm;
    connectForm(m_pointForm, &MainWindow::getPointToggle, &MainWindow::updateTogglePoint,
                &MainWindow::saveInputPoint);
    QDockWidget* pointsDock = addDock(tr("Points"), m_pointForm, Qt::LeftDockWidgetArea);
    m_polygonForm = new PolygonForm;
    connectForm(m_polygonForm, &MainWindow::getPolygonToggle, &MainWindow::updateTogglePolygon,
                &MainWindow::saveInputPolygon);
    QDockWidget* polygonsDock = addDock(tr("Polygons"), m_polygonForm, Qt::LeftDockWidgetArea);
    QDockWidget* layersDock = addDock(tr("Layers View"), createLayerTree(), Qt::LeftDockWidgetArea);
    m_annotation = new AnnotationActions(this, m_pointForm, m_polygonForm, m_layers, m_treeView, m_osgWidget,
                                         m_polygonVertices);
    connectReports(m_annotation);
    auto* legend = new ChangeLegend;
    QDockWidget* legendDock = addDock(tr("Change Legend"), legend, Qt::RightDockWidgetArea);
    legendDock->hide();
    m_surveys = new SurveyActions(this, m_layers, m_osgWidget, m_polygonVertices, legend);
    connectReports(m_surveys);
    connect(m_surveys, &SurveyActions::changeShown, legendDock, &QDockWidget::show);
    m_surveys->takeMenu(m_actions);

    QDockWidget* imagesDock = addDock(tr("Images View (0)"), createImageList(), Qt::RightDockWidgetArea);
    imagesDock->hide();
    m_docks.insert(QStringLiteral("Images View"), imagesDock);

    tabifyDockWidget(pointsDock, polygonsDock);
    tabifyDockWidget(polygonsDock, selectDock);
    tabifyDockWidget(selectDock, layersDock);
}

QWidget* MainWindow::createLogList()
{
    m_logList = new QListWidget;
    LogView::follow(m_logList, statusBar());
    if (m_edition == Edition::Orvalis) {
        appendLog(QStringLiteral("Orvalis v1.0.0"));
        appendLog(QStringLiteral("Log Started!"));
        appendLog(QStringLiteral("OSG Loaded..."));
    }
    return m_logList;
}

QWidget* MainWindow::createSelectionTools()
{
    m_selectionTool = new SelectionToolWidget;
    m_selectionTool->steer(m_osgWidget);
    connect(m_selectionTool->currentPosButton(), &QPushButton::clicked, this, &MainWindow::getBoxPos);
    connect(m_selectionTool->extractButton(), &QPushButton::clicked, this, &MainWindow::extractBox);
    return m_selectionTool;
}

void MainWindow::connectForm(AnnotationForm* form, void (MainWindow::*toggleSlot)(bool),
                             void (MainWindow::*getSlot)(), void (MainWindow::*recordSlot)())
{
    connect(form->dateEdit(), &QLineEdit::editingFinished, this, &MainWindow::dateSet);
    connect(form->toggleButton(), &QPushButton::toggled, this, toggleSlot);
    connect(form->getButton(), &QPushButton::clicked, this, getSlot);
    connect(form->recordButton(), &QPushButton::clicked, this, recordSlot);
}

QWidget* MainWindow::createLayerTree()
{
    m_layers = new LayerTree(this);
    m_layers->setScene(m_osgWidget);
    m_treeView = new QTreeView;
    m_treeView->setModel(m_layers->model());
    m_treeView->setDragEnabled(true);
    m_treeView->setDragDropMode(QAbstractItemView::InternalMove);
    m_treeView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_layers->model(), &QStandardItemModel::itemChanged, this, &MainWindow::onItemChanged);
    connect(m_treeView, &QTreeView::customContextMenuRequested, this,
            &MainWindow::showContextMenuForDirectory);
    m_layerActions = new LayerActions(this, m_layers, m_treeView, m_osgWidget);
    connectReports(m_layerActions);
    m_products = new ProductLayers(m_layers, this);
    connectReports(m_products);
    return m_treeView;
}

QWidget* MainWindow::createImageList()
{
    m_imageList = new MyListWidget;
    m_imageList->installEventFilter(this);
    connect(m_imageList, &MyListWidget::itemClicked, this, &MainWindow::load);
    connect(m_imageList, &MyListWidget::itemChanged, this, &MainWindow::changeItemValue);
    connect(m_imageList, &MyListWidget::updateDeteleItem, this, &MainWindow::updateWindowTitleCount);

    m_imageSet = new ImageSetOperations(m_imageList, this, this);
    connectReports(m_imageSet);
    connect(m_imageSet, &ImageSetOperations::imagesListed, this, &MainWindow::imagesListed);
    connect(m_imageSet, &ImageSetOperations::imageFolderChosen, this, [this](const QString& folder) {
        if (m_configWindow)
            m_configWindow->setImageFolder(folder);
    });
    m_exif = new ExifExtraction(&m_exifProcess, this);
    connectReports(m_exif);
    connect(m_exif, &ExifExtraction::finished, this, &MainWindow::onExifProcessFinished);
    return m_imageList;
}

void MainWindow::imagesListed()
{
    QDockWidget* dock = m_docks.value(QStringLiteral("Images View"));
    if (dock) {
        dock->show();
        dock->raise();
    }
    m_imageList->setFocus();
    m_actions.value("&Copy to Folder")->setEnabled(true);
    m_reconstruction->enableRunActions();
    statusBar()->showMessage(tr("add image"));
    updateWindowTitleCount();
}

void MainWindow::addImage()
{
    m_imageSet->addImage();
}

void MainWindow::syncImages()
{
    m_imageSet->syncImages();
}

void MainWindow::copyToFolder()
{
    m_imageSet->copyToFolder();
}

void MainWindow::changeItemValue(QListWidgetItem* item)
{
    m_imageSet->changeItemValue(item);
}

void MainWindow::exifExtract()
{
    m_exif->start(m_imageList->imagePaths());
}

void MainWindow::onExifProcessFinished(int)
{
    for (const QString& line : m_exif->report())
        appendLog(line);
}

void MainWindow::appendLog(const QString& text)
{
    // The parts' lines join the libraries' on the one log channel, which
    // "Log View" follows.
    LogSink::write(LogLevel::Info, text);
}

QListWidget* MainWindow::logList() const
{
    QCoreApplication::sendPostedEvents(m_logList, QEvent::MetaCall);
    return m_logList;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_P && m_imageList && m_imageList->count() > 0) {
            emit loadFirstImg(m_imageList->item(0));
            return true;
        }
        return false;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::updateWindowTitleCount()
{
    const int count = m_imageList->count();
    LogLine() << count << "\n" << std::flush;
    m_docks.value(QStringLiteral("Images View"))
        ->setWindowTitle(tr("Images View (") + QString::number(count) + ")");
}

void MainWindow::about()
{
    const QString title = m_edition == Edition::Tessary ? tr("About Tessary") : tr("About Orvalis");
    QMessageBox::about(this, title,
                       tr("Version 1.0.7\n"
                          "Designed by the Orvalis field documentation team.\n"
                          "Technical support: contact your project's survey coordinator.\n"
                          "Built with Qt and OpenSceneGraph.\n"
                          "All rights reserved."));
}

// ---- Scene view -------------------------------------------------------------

void MainWindow::showFront()
{
    m_viewActions->showStandardView(QStringLiteral("Front"));
}
void MainWindow::showBack()
{
    m_viewActions->showStandardView(QStringLiteral("Back"));
}
void MainWindow::showLeft()
{
    m_viewActions->showStandardView(QStringLiteral("Left"));
}
void MainWindow::showRight()
{
    m_viewActions->showStandardView(QStringLiteral("Right"));
}
void MainWindow::showTop()
{
    m_viewActions->showStandardView(QStringLiteral("Top"));
}
void MainWindow::showBottom()
{
    m_viewActions->showStandardView(QStringLiteral("Bottom"));
}

void MainWindow::createBookmark()
{
    m_viewActions->createBookmark();
}

void MainWindow::onStepIncreased(int j)
{
    m_viewActions->goToBookmark(j);
}

void MainWindow::switchManipulator()
{
    m_viewActions->switchManipulator();
}

void MainWindow::drawPointToggle(bool toggle)
{
    m_osgWidget->mapController()->drawPointToggle(toggle);
}

void MainWindow::measureToggle(bool status)
{
    m_viewActions->measureToggle(status);
}

void MainWindow::getBoxPos()
{
    const MapController* controller = m_osgWidget->mapController();
    const osg::Vec3d centre = controller->getBoxPos();
    m_selectionTool->setBoxPosition(centre.x(), centre.y(), centre.z(), controller->getBoxRotation());
}

void MainWindow::extractBox()
{
    m_layerActions->extractSelection(m_selectionTool->activateButton());
}

void MainWindow::sendMeasurement()
{
    for (const QString& line : m_geoRef->measurementLines())
        appendLog(line);
}

// ---- Layers -----------------------------------------------------------------

QStandardItem* MainWindow::addLayer(const QString& file, const QString& displayName, bool visible,
                                    QStandardItem* parent)
{
    return m_layerActions->addLayer(file, displayName, visible, parent);
}

void MainWindow::openModel()
{
    m_layerActions->openData();
    m_products->refresh();
}

void MainWindow::addDataFiles(const QStringList& paths)
{
    m_layerActions->addDataFiles(paths);
    m_products->refresh();
    m_surveys->refreshLegend();
}

void MainWindow::showContextMenuForDirectory(const QPoint& pos)
{
    m_layerActions->showContextMenu(pos,
                                    [this](LayerTree::MenuCommand command) { runLayerCommand(command); });
}

void MainWindow::runLayerCommand(LayerTree::MenuCommand command)
{
    using C = LayerTree::MenuCommand;
    using W = MainWindow;
    // clang-format off
    static const std::pair<C, void (MainWindow::*)()> entries[] = {
        {C::ExportPointCloud, &W::exportPointCloud}, {C::ZoomToLayer, &W::zoomToLayer},
        {C::RemoveModel, &W::removeModel}, {C::ShowProperty, &W::showProperty},
        {C::ShowModelProperty, &W::showPropertyWin_Model}, {C::ShowBundleProperty, &W::showPropertyWin_BundleFile},
        {C::SaveEditsPoints, &W::saveEditsPoints}, {C::ToggleLabels, &W::toggleLabels},
        {C::SaveEditsPolygons, &W::saveEditsPolygons}, {C::TogglePolyLabels, &W::togglePolyLabels},
        {C::AddFolderInFolder, &W::addFolderInFolder}, {C::RemoveFolder, &W::removeFolder},
        {C::ChangeFolderSymbol, &W::changeFolderSymbol}, {C::AddProjectFolder, &W::addProjectFolder},
        {C::OpenModel, &W::openModel}, {C::CloseProject, &W::closeProject}};
    // clang-format on
    for (const auto& [name, slot] : entries)
        if (name == command) {
            (this->*slot)();
            return;
        }
}

void MainWindow::onItemChanged(QStandardItem* item)
{
    if (!m_layers->applyCheckState(item))
        emit senderItem(item);
}

void MainWindow::addProjectFolder()
{
    m_layerActions->addProjectFolder();
}

void MainWindow::addFolderInFolder()
{
    m_layerActions->addFolderInFolder();
}

void MainWindow::changeFolderSymbol()
{
    m_layerActions->changeFolderSymbol();
}

void MainWindow::removeModel()
{
    m_layerActions->removeCurrentLayer();
}

void MainWindow::zoomToLayer()
{
    m_layerActions->zoomToMenuItem();
}

void MainWindow::removeFolder()
{
    m_layerActions->removeCurrentFolder();
}

void MainWindow::removeAllModels()
{
    m_layerActions->removeAll();
}

void MainWindow::exportPointCloud()
{
    m_layerActions->exportCurrentCloud();
}

bool MainWindow::exportPointCloudTo(int index, const QString& fileName)
{
    return m_layerActions->exportCloudAt(index, fileName);
}

PropertyWindow* MainWindow::propertyWindow(int kind) const
{
    return m_layerActions->propertyWindow(kind);
}

void MainWindow::showProperty()
{
    propertyWindow(1)->show();
}

void MainWindow::showPropertyWin_Model()
{
    propertyWindow(2)->show();
}

void MainWindow::showPropertyWin_BundleFile()
{
    propertyWindow(3)->show();
}

void MainWindow::saveEditsPoints()
{
    m_layerActions->saveEdits(LayerType::Points);
}

void MainWindow::saveEditsPolygons()
{
    m_layerActions->saveEdits(LayerType::Polygons);
}

void MainWindow::toggleLabels()
{
    m_layerActions->toggleLabels(LayerType::Points);
}

void MainWindow::togglePolyLabels()
{
    m_layerActions->toggleLabels(LayerType::Polygons);
}

// ---- Point cloud conversions ------------------------------------------------------

CloudConversion* MainWindow::cloudConversion() const
{
    return m_conversions->conversion();
}

void MainWindow::convertPts2AscOpen()
{
    m_conversions->openArchiveConversion();
}

void MainWindow::convertPlyToOsga(std::string fileName)
{
    m_conversions->startArchive(QString::fromStdString(fileName));
}

void MainWindow::onConvertPlyProcessFinished(int exitCode)
{
    m_conversions->archiveFinished(exitCode);
}

void MainWindow::convertPly2PtsOpen()
{
    m_conversions->convertPlyToPts();
}

void MainWindow::convertPts2PlyOpen()
{
    m_conversions->convertPtsToPly();
}

// ---- Annotation input and the command server ------------------------------------

TCPServer* MainWindow::commandServer() const
{
    return m_annotation->commandServer();
}

AnnotationInput* MainWindow::annotationInput() const
{
    return m_annotation->input();
}

void MainWindow::getPointToggle(bool status)
{
    m_annotation->setPointInput(status);
}

void MainWindow::getPolygonToggle(bool status)
{
    m_annotation->setPolygonInput(status);
}

void MainWindow::updateFromServerPos(QString posQString)
{
    LogLine() << "Server Input:" << posQString.toStdString() << std::endl;
    if (const std::optional<ServerPosition::Coordinates> position = m_annotation->parsePosition(posQString))
        emit serverPositionReceived(position->x, position->y, position->z);
}

void MainWindow::updateTogglePoint()
{
    m_annotation->input()->takePickForPoint();
}

void MainWindow::updateTogglePolygon()
{
    m_annotation->input()->takePickForPolygon();
}

void MainWindow::saveInputPoint()
{
    m_annotation->recordPoint();
}

void MainWindow::saveInputPolygon()
{
    m_annotation->recordPolygon();
}

void MainWindow::dateSet()
{
    m_annotation->input()->dateSet();
}

// Value list builders: type 0 gives numbers, type 1 column letters.
QStringList MainWindow::makeComboList(int type, int start, int end)
{
    return AnnotationValues::numberList(start, end, type == 1);
}

QStringList MainWindow::makeGridComboList(std::string row, std::string column, std::string whichLetter,
                                          int rowCells, int columnCells)
{
    return AnnotationValues::gridNames(QString::fromStdString(row).toInt(), QString::fromStdString(column),
                                       QString::fromStdString(whichLetter), rowCells, columnCells);
}

QString MainWindow::getCurrentLetter(int n)
{
    return AnnotationValues::columnName(n);
}

// ---- Scan settings ----------------------------------------------------------

void MainWindow::configureScanSettings()
{
    if (!ConfigWindow::isOpenFlagSet())
        m_configWindow->setWindowIcon(QIcon(QStringLiteral(":/images/settings.png")));
    m_configWindow->show();
}

void MainWindow::saveVariables()
{
    m_session->saveVariables();
}

// ---- Reconstruction ---------------------------------------------------------

void MainWindow::createReconstruction()
{
    m_reconstruction =
        new ReconstructionRunner(this, m_imageList, m_appDir,
                                 {m_actions.value("&Run Sparse"), m_actions.value("&ReRun BundleAdjustment"),
                                  m_actions.value("&Run Dense"), m_actions.value("&Scan Settings"),
                                  m_actions.value("&Abort current reconstruction")});
    // A sparse run extracts the images' EXIF data first and waits for it.
    m_reconstruction->setExifExtraction([this] {
        exifExtract();
        return &m_exifProcess;
    });
    m_reconstruction->setSaveSettings([this] { saveVariables(); });
    connect(m_reconstruction, &ReconstructionRunner::sparseNVMFinished, this, &MainWindow::loadSparseNVM);
    connect(m_reconstruction, &ReconstructionRunner::resultsWritten, this,
            [this](const QString& stage, const QString& folder) {
                // A new reconstruction keeps its control-point georeference: the
                // points are fitted to it again before its layers are read.
                // A refit reads them again itself (georeferenceWritten).
                const QString nvm = QDir(folder).filePath(QStringLiteral("sparse.nvm"));
                if (stage == QLatin1String(ProductRecord::sparse) && m_groundControl->refitAfterRun(nvm))
                    return;
                // The fit writes its own report; the GPS georeference's is written here.
                if (stage == QLatin1String(ProductRecord::sparse) && QFileInfo::exists(nvm))
                    m_groundControl->writeReport(nvm);
                m_products->stageWritten(stage, folder);
            });
    connect(m_groundControl, &GroundControl::georeferenceWritten, this, [this](const QString& nvmFile) {
        m_products->stageWritten(QLatin1String(ProductRecord::georeference),
                                 QFileInfo(nvmFile).absolutePath());
    });
    connect(m_reconstruction, &ReconstructionRunner::densepmvsFinished, this, &MainWindow::loadPatchFiles);
}

void MainWindow::SfMSparseReconstruction()
{
    m_reconstruction->runSparse();
}

void MainWindow::SfMSparseReRun()
{
    m_reconstruction->reRun();
}

void MainWindow::denseReconstruction()
{
    m_reconstruction->runDense();
}

void MainWindow::orthophotoAndDsm()
{
    m_reconstruction->runOrthoDsm();
}

void MainWindow::accuracyReport()
{
    m_groundControl->openAccuracyReport(m_imageList->imagePaths());
}

// The results are opened through "&Add Data(s)...".

// ---- Project file -------------------------------------------------------------

QString MainWindow::projectPath() const
{
    return m_session->projectPath();
}

bool MainWindow::writeProjectFile(const QString& fileName)
{
    return m_session->writeFile(fileName);
}

bool MainWindow::openProjectFile(const QString& fileName)
{
    return m_session->openFile(fileName);
}

void MainWindow::openProj()
{
    m_session->open();
}

void MainWindow::save()
{
    m_session->save();
}

void MainWindow::saveAs()
{
    m_session->saveAs();
}

void MainWindow::closeProject()
{
    m_session->close();
}

void MainWindow::clearProject()
{
    m_session->clear();
}

// ---- Image viewers ------------------------------------------------------------

void MainWindow::load(QListWidgetItem* item)
{
    m_viewers->load(item);
}

void MainWindow::showPopupWin()
{
    m_viewers->showPopup();
}

void MainWindow::updateWindowPaint()
{
    m_viewers->updateWindowPaint();
}

void MainWindow::updateZooms(double factor)
{
    m_viewers->updateZooms(factor);
}

void MainWindow::deleteImageViewer(QString filename)
{
    m_viewers->deleteImageViewer(filename);
}

void MainWindow::receiveExtractCommand()
{
    LogLine() << "Got it\n" << std::flush;
    saveSelectedPointsasPolyline();
}

void MainWindow::saveSelectedPointsasPolyline()
{
    m_viewActions->extractShape(m_appDir, [this] { m_viewers->updateWindowPaint(); });
}

// ---- Sensor network ---------------------------------------------------------

void MainWindow::startSensors(bool start)
{
    m_viewActions->switchSensors(start);
}

void MainWindow::toggleSmoke(bool start)
{
    m_viewActions->switchSmoke(start);
}
