#include "ui/main/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QOpenGLWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSignalMapper>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>

#include <iostream>

#include "core/annotation/AnnotationValues.h"
#include "ui/layers/CloudConversion.h"
#include "ui/pipeline/ConfigWindow.h"
#include "core/images/ExifExtraction.h"
#include "scene/interaction/ControllerPicker.h"
#include "ui/annotation/GeoRef.h"
#include "scene/images/ImageMatchScene.h"
#include "ui/images/ImageSetOperations.h"
#include "ui/images/ImageViewers.h"
#include "scene/layers/LayerSummary.h"
#include "ui/layers/LayerTree.h"
#include "ui/log/LogView.h"
#include "scene/interaction/MapController.h"
#include "ui/images/MyListWidget.h"
#include "scene/view/OsgWidget.h"
#include "scene/layers/PointCloudLoader.h"
#include "ui/annotation/PointForm.h"
#include "ui/annotation/PolygonForm.h"
#include "ui/main/ProjectSession.h"
#include "ui/layers/PropertySelection.h"
#include "ui/layers/PropertyWindow.h"
#include "core/formats/PtsToPly.h"
#include "ui/pipeline/ReconstructionRunner.h"
#include "core/project/ScanSettings.h"
#include "ui/main/SelectionToolWidget.h"
#include "scene/sensors/SensorDisplay.h"
#include "core/annotation/ServerPosition.h"
#include "core/net/TCPServer.h"

MainWindow::MainWindow(Edition edition, QWidget* parent)
    : QMainWindow(parent),
      m_edition(edition),
      m_propertyGeneral(new PropertyWindow(this)),
      m_propertyModel(new PropertyWindow(this)),
      m_propertyBundle(new PropertyWindow(this)),
      m_exifProcess(this),
      m_convertProcess(this),
      m_reportProcess(this),
      m_polygonVertices(new osg::Vec3dArray)
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
    m_annotationInput->setApplicationFolder(m_appDir);

    m_viewers = new ImageViewers(this, m_imageList, m_osgWidget, m_appDir);
    m_cloudConversion = new CloudConversion(&m_convertProcess, m_appDir, this);
    connect(m_cloudConversion, &CloudConversion::logLine, this, &MainWindow::appendLog);
    connect(m_cloudConversion, &CloudConversion::statusMessage, statusBar(), &QStatusBar::showMessage);
    connect(&m_convertProcess, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this](int exitCode, QProcess::ExitStatus) { onConvertPlyProcessFinished(exitCode); });

    connect(this, SIGNAL(loadFirstImg(QListWidgetItem*)), this, SLOT(load(QListWidgetItem*)));

    m_configWindow = new ConfigWindow(this);
    connect(m_configWindow->saveButton(), SIGNAL(clicked()), this, SLOT(saveVariables()));
    createProjectSession();
    createReconstruction();

    // Listens only while point or polygon input is switched on.
    m_commandServer = new TCPServer(this);
    m_serverSwitch = new CommandServerSwitch(m_commandServer, this);
    connect(m_commandServer, SIGNAL(RqstClientPos(QString)), this, SLOT(updateFromServerPos(QString)));
    connect(m_commandServer, &TCPServer::logLine, this, &MainWindow::appendLog);
    connect(m_annotationInput, &AnnotationInput::commandServerStopRequested, m_serverSwitch,
            [this](LayerType::Code type) {
                m_serverSwitch->setWanted(type == LayerType::Polygons ? CommandServerSwitch::PolygonInput
                                                                      : CommandServerSwitch::PointInput,
                                          false);
            });

    // The sensors switch follows the display, also when the device goes away.
    SensorDisplay* sensors = m_osgWidget->sensors();
    connect(sensors, &SensorDisplay::switched, this, [this](bool on) {
        const QSignalBlocker quiet(m_actions.value("&Sensors"));
        m_actions.value("&Sensors")->setChecked(on);
    });
    connect(sensors, &SensorDisplay::failed, this,
            [this](const QString& title, const QString& message) { QMessageBox::critical(this, title, message); });
}

void MainWindow::createProjectSession()
{
    ProjectSession::Parts parts;
    parts.window = this;
    parts.layers = m_layers;
    parts.view = m_treeView;
    parts.images = m_imageList;
    parts.scene = m_osgWidget;
    parts.settings = m_configWindow;
    parts.appFolder = m_appDir;
    m_session = new ProjectSession(
        parts,
        [this](const QString& file, const QString& name, bool visible, QStandardItem* parent) {
            return addLayer(file, name, visible, parent);
        },
        this);
    connect(m_session, &ProjectSession::statusMessage, statusBar(), &QStatusBar::showMessage);
    connect(m_session, &ProjectSession::logLine, this, &MainWindow::appendLog);
    connect(m_session, &ProjectSession::opened, this, [this] {
        updateWindowTitleCount();
        refreshBookmarkMenu();
        m_actions.value("&Run Sparse")->setEnabled(true);
        m_actions.value("&Run Dense")->setEnabled(true);
        m_actions.value("&Scan Settings")->setEnabled(true);
    });
}

MainWindow::~MainWindow()
{
    // The exif process is a member and may report its end while it is destroyed.
    if (m_exif)
        disconnect(m_exif, nullptr, this, nullptr);
    // A running archive conversion ends quietly, without a box, and leaves nothing behind.
    if (m_cloudConversion)
        m_cloudConversion->abandonArchive();
    // The forms outlive this member during destruction; let them forget the picker first.
    if (m_annotationInput)
        m_annotationInput->setPicker(nullptr);
}

void MainWindow::createActions()
{
    for (const ActionTable::Entry& e : ActionTable::actions()) {
        auto* action = new QAction(tr(e.text), this);
        if (e.icon)
            action->setIcon(QIcon(QString::fromLatin1(e.icon)));
        if (e.shortcut)
            action->setShortcut(QKeySequence(tr(e.shortcut)));
        else if (e.standardKey != QKeySequence::UnknownKey)
            action->setShortcuts(e.standardKey);
        action->setStatusTip(tr(e.statusTip));
        action->setCheckable(e.checkable);
        action->setEnabled(e.enabled);
        if (e.slot) {
            const QByteArray slot = QByteArray("1") + e.slot; // the SLOT() macro's encoding
            const QByteArray signal = e.toggled ? QByteArray("2toggled(bool)") : QByteArray("2triggered()");
            connect(action, signal.constData(), this, slot.constData());
        }
        m_actions.insert(QString::fromLatin1(e.text), action);
    }
    connect(m_actions.value("About &Qt"), &QAction::triggered, qApp, &QApplication::aboutQt);
}

void MainWindow::fillBar(QWidget* bar, const QStringList& entries)
{
    auto* menu = qobject_cast<QMenu*>(bar);
    auto* toolBar = qobject_cast<QToolBar*>(bar);
    for (const QString& entry : entries) {
        if (entry == QLatin1String(ActionTable::separator)) {
            menu ? menu->addSeparator() : toolBar->addSeparator();
        } else if (menu && entry == QLatin1String(ActionTable::bookmarkMenu)) {
            m_bookmarkMenu = menu->addMenu(tr(ActionTable::bookmarkMenu));
        } else {
            bar->addAction(m_actions.value(entry));
        }
    }
}

void MainWindow::createMenus()
{
    for (const ActionTable::Bar& bar : ActionTable::menus(m_edition)) {
        QMenu* menu = menuBar()->addMenu(tr(bar.title));
        fillBar(menu, bar.entries);
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
        fillBar(toolBar, bar.entries);
    }
}

QDockWidget* MainWindow::addDock(const QString& title, QWidget* content, Qt::DockWidgetArea area, bool inViewMenu)
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
    logDock->close();

    m_osgWidget = new OsgWidget(osgViewer::ViewerBase::SingleThreaded, m_logList);
    QDockWidget* sceneDock = addDock(tr("Perspective View"), m_osgWidget, Qt::LeftDockWidgetArea, false);
    sceneDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    setCentralWidget(sceneDock);

    m_geoRef = new GeoRef;
    addDock(tr("Ground Control"), m_geoRef, Qt::RightDockWidgetArea)->hide();
    QDockWidget* selectDock = addDock(tr("Select Tools"), createSelectionTools(), Qt::LeftDockWidgetArea);
    m_pointForm = new PointForm;
    connectForm(m_pointForm, SLOT(getPointToggle(bool)), SLOT(updateTogglePoint()), SLOT(saveInputPoint()));
    QDockWidget* pointsDock = addDock(tr("Points"), m_pointForm, Qt::LeftDockWidgetArea);
    m_polygonForm = new PolygonForm;
    connectForm(m_polygonForm, SLOT(getPolygonToggle(bool)), SLOT(updateTogglePolygon()), SLOT(saveInputPolygon()));
    QDockWidget* polygonsDock = addDock(tr("Polygons"), m_polygonForm, Qt::LeftDockWidgetArea);
    QDockWidget* layersDock = addDock(tr("Layers View"), createLayerTree(), Qt::LeftDockWidgetArea);
    createAnnotationInput();

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
    SelectionToolWidget* panel = m_selectionTool;
    connect(panel->xBox(), SIGNAL(valueChanged(double)), m_osgWidget, SLOT(setBoxX(double)));
    connect(panel->yBox(), SIGNAL(valueChanged(double)), m_osgWidget, SLOT(setBoxY(double)));
    connect(panel->zBox(), SIGNAL(valueChanged(double)), m_osgWidget, SLOT(setBoxZ(double)));
    connect(panel->rotateBox(), SIGNAL(valueChanged(double)), m_osgWidget, SLOT(setBoxR(double)));
    connect(panel->widthBox(), SIGNAL(valueChanged(double)), m_osgWidget, SLOT(setSelectWidth(double)));
    connect(panel->heightBox(), SIGNAL(valueChanged(double)), m_osgWidget, SLOT(setSelectHeight(double)));
    connect(panel->depthBox(), SIGNAL(valueChanged(double)), m_osgWidget, SLOT(setSelectDepth(double)));
    connect(panel->activateButton(), SIGNAL(toggled(bool)), m_osgWidget, SLOT(turnOnSelectBox(bool)));
    connect(panel->currentPosButton(), SIGNAL(clicked()), this, SLOT(getBoxPos()));
    connect(panel->extractButton(), SIGNAL(clicked()), this, SLOT(extractBox()));
    return panel;
}

void MainWindow::connectForm(AnnotationForm* form, const char* toggleSlot, const char* getSlot,
                             const char* recordSlot)
{
    connect(form->dateEdit(), SIGNAL(editingFinished()), this, SLOT(dateSet()));
    connect(form->toggleButton(), SIGNAL(toggled(bool)), this, toggleSlot);
    connect(form->getButton(), SIGNAL(clicked()), this, getSlot);
    connect(form->recordButton(), SIGNAL(clicked()), this, recordSlot);
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
    connect(m_layers->model(), SIGNAL(itemChanged(QStandardItem*)), this, SLOT(onItemChanged(QStandardItem*)));
    connect(m_treeView, SIGNAL(customContextMenuRequested(const QPoint&)), this,
            SLOT(showContextMenuForDirectory(const QPoint&)));
    return m_treeView;
}

QWidget* MainWindow::createImageList()
{
    m_imageList = new MyListWidget;
    m_imageList->installEventFilter(this);
    connect(m_imageList, SIGNAL(itemClicked(QListWidgetItem*)), this, SLOT(load(QListWidgetItem*)));
    connect(m_imageList, SIGNAL(itemChanged(QListWidgetItem*)), this, SLOT(changeItemValue(QListWidgetItem*)));
    connect(m_imageList, SIGNAL(updateDeteleItem()), this, SLOT(updateWindowTitleCount()));

    m_imageSet = new ImageSetOperations(m_imageList, this, this);
    connect(m_imageSet, &ImageSetOperations::statusMessage, statusBar(), &QStatusBar::showMessage);
    connect(m_imageSet, &ImageSetOperations::logLine, this, &MainWindow::appendLog);
    connect(m_imageSet, &ImageSetOperations::imagesListed, this, &MainWindow::imagesListed);
    connect(m_imageSet, &ImageSetOperations::imageFolderChosen, this, [this](const QString& folder) {
        if (m_configWindow)
            m_configWindow->setImageFolder(folder);
    });
    m_exif = new ExifExtraction(&m_exifProcess, this);
    connect(m_exif, &ExifExtraction::statusMessage, statusBar(), &QStatusBar::showMessage);
    connect(m_exif, &ExifExtraction::logLine, this, &MainWindow::appendLog);
    connect(m_exif, SIGNAL(finished(int)), this, SLOT(onExifProcessFinished(int)));
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
    for (const char* text : {"&Copy to Folder", "&Run Sparse", "&Run Dense", "&Scan Settings"})
        m_actions.value(QLatin1String(text))->setEnabled(true);
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
    LogView::append(m_logList, text);
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
    std::cout << count << "\n" << std::flush;
    m_docks.value(QStringLiteral("Images View"))->setWindowTitle(tr("Images View (") + QString::number(count) + ")");
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

// ---- Scene view forwarding -------------------------------------------------

void MainWindow::showFront()
{
    if (m_osgWidget->getRoot()->getNumChildren() > 0)
        m_osgWidget->showFront();
}
void MainWindow::showBack()
{
    if (m_osgWidget->getRoot()->getNumChildren() > 0)
        m_osgWidget->showBack();
}
void MainWindow::showLeft()
{
    if (m_osgWidget->getRoot()->getNumChildren() > 0)
        m_osgWidget->showLeft();
}
void MainWindow::showRight()
{
    if (m_osgWidget->getRoot()->getNumChildren() > 0)
        m_osgWidget->showRight();
}
void MainWindow::showTop()
{
    if (m_osgWidget->getRoot()->getNumChildren() > 0)
        m_osgWidget->showTop();
}
void MainWindow::showBottom()
{
    if (m_osgWidget->getRoot()->getNumChildren() > 0)
        m_osgWidget->showBottom();
}

void MainWindow::createBookmark()
{
    m_osgWidget->createBookmark();
    // The twelfth drops the oldest: every entry moves up to its bookmark's place.
    refreshBookmarkMenu();
}

void MainWindow::refreshBookmarkMenu()
{
    qDeleteAll(m_recentBookmarkActions);
    m_recentBookmarkActions.clear();
    for (int i = 0; i < m_osgWidget->bookmarkCount(); ++i)
        addBookmarkAction(i);
}

void MainWindow::addBookmarkAction(int n)
{
    auto* action = new QAction(tr("&bookmark") + QString::number(n), this);
    action->setCheckable(true);
    action->setStatusTip(tr("recent bookmark"));
    m_recentBookmarkActions.append(action);

    auto* mapper = new QSignalMapper(action);
    connect(action, SIGNAL(triggered()), mapper, SLOT(map()));
    mapper->setMapping(action, n);
    connect(mapper, SIGNAL(mapped(int)), this, SLOT(onStepIncreased(int)));

    m_bookmarkMenu->addAction(action);
}

void MainWindow::onStepIncreased(int j)
{
    m_osgWidget->goToBookmark(j);
}

void MainWindow::switchManipulator()
{
    m_osgWidget->selectManipulator(1);
}

void MainWindow::drawPointToggle(bool toggle)
{
    m_osgWidget->mapController()->drawPointToggle(toggle);
}

void MainWindow::measureToggle(bool status)
{
    // Switching off also takes the measured lines away.
    m_osgWidget->mapController()->measureToggle(status);
    m_osgWidget->setFocus(Qt::OtherFocusReason);
    if (auto* surface = m_osgWidget->findChild<QOpenGLWidget*>())
        surface->setFocus(Qt::OtherFocusReason);
}

void MainWindow::getBoxPos()
{
    const MapController* controller = m_osgWidget->mapController();
    const osg::Vec3d centre = controller->getBoxPos();
    m_selectionTool->setBoxPosition(centre.x(), centre.y(), centre.z(), controller->getBoxRotation());
}

void MainWindow::extractBox()
{
    const osg::ref_ptr<osg::Group> cloud = m_osgWidget->extractSelection();
    // Unchecking the panel's button switches the box off through its signal.
    m_selectionTool->activateButton()->setChecked(false);
    m_osgWidget->turnOnSelectBox(false);
    if (!cloud) {
        statusBar()->showMessage(tr("No points inside the selection box"), 2000);
        return;
    }
    // The file keeps the selection when the project is saved and opened
    // again; a number whose file exists (another project's) is skipped
    // rather than overwritten. A selection that cannot be written is no layer.
    const QString folder = m_appDir + QStringLiteral("/project/");
    int n = m_layers->layerCount(LayerType::PointCloud);
    while (QFileInfo::exists(folder + QStringLiteral("newselection_%1.ply").arg(n)))
        ++n;
    const QString name = QStringLiteral("newselection_%1.ply").arg(n);
    QString message = tr("cannot make the folder %1").arg(folder);
    if (!QDir().mkpath(folder) || !PointCloudLoader::exportPointCloud(folder + name, cloud.get(), &message)) {
        appendLog(tr("Selection not extracted: %1 could not be written: %2").arg(folder + name, message));
        statusBar()->showMessage(tr("Selection not extracted: %1 could not be written").arg(name), 5000);
        return;
    }
    QStandardItem* item = m_layers->addLayerWithoutLoading(LayerType::PointCloud, folder + name, name, true,
                                                           m_layers->projectRoot());
    m_osgWidget->addPointCloud(LayerTree::layerId(item), cloud.get(), true);
    statusBar()->showMessage(tr("Selection extracted"), 2000);
}

void MainWindow::sendMeasurement()
{
    for (const QString& line : m_geoRef->measurementLines())
        appendLog(line);
}

// ---- Layers -----------------------------------------------------------------

QStandardItem* MainWindow::placeLayer(const QString& file, const QString& displayName, bool visible,
                                      QStandardItem* parent, LayerTree::Unreadable unreadable, QString* error)
{
    if (!parent)
        parent = m_layers->projectRoot();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QStandardItem* item = m_layers->addLayer(file, displayName, visible, parent, error, unreadable);
    QApplication::restoreOverrideCursor();
    if (item) {
        m_treeView->expand(item->index());
        m_treeView->expand(parent->index());
    }
    return item;
}

QStandardItem* MainWindow::addLayer(const QString& file, const QString& displayName, bool visible,
                                    QStandardItem* parent)
{
    QString error;
    QStandardItem* item = placeLayer(file, displayName, visible, parent, LayerTree::Unreadable::Keep, &error);
    if (!error.isEmpty())
        appendLog(tr("Layer %1: %2").arg(displayName, error));
    return item;
}

void MainWindow::openModel()
{
    QFileDialog dialog(this, QString(), QString(), QString());
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(tr("Data Files (*.out *.nvm *.patch *.ply *.obj *.pts *.osga *.osg *.osgb *.xyb *.kml *.ant)"));
    dialog.setWindowTitle(tr("Add Data"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    addDataFiles(dialog.selectedFiles());
}

void MainWindow::addDataFiles(const QStringList& paths)
{
    for (const QString& path : paths) {
        if (path.isEmpty()) {
            statusBar()->showMessage(tr("File not loaded, empty"), 2000);
            continue;
        }
        const QString name = path.mid(path.lastIndexOf('/') + 1);
        QString error;
        if (placeLayer(path, name, true, m_layers->projectRoot(), LayerTree::Unreadable::Drop, &error)) {
            if (!error.isEmpty())
                appendLog(error); // what a reader passed over in a file it did read
            statusBar()->showMessage(tr("File loaded"), 2000);
        } else {
            appendLog(tr("File not loaded: %1").arg(error));
            statusBar()->showMessage(tr("File not loaded: %1 (see the Log View)").arg(name), 5000);
        }
    }
}

void MainWindow::showContextMenuForDirectory(const QPoint& pos)
{
    const QModelIndex index = m_treeView->indexAt(pos);
    if (!index.isValid())
        return;
    m_menuItem = m_layers->model()->itemFromIndex(index);
    const QVector<LayerTree::MenuEntry> entries = m_layers->contextMenu(m_menuItem);
    if (entries.isEmpty())
        return;
    refreshProperties(m_menuItem);
    QMenu menu(this);
    for (const LayerTree::MenuEntry& e : entries) {
        QAction* a = menu.addAction(QIcon(e.icon), tr(qPrintable(e.text)));
        if (e.slot)
            connect(a, SIGNAL(triggered()), this, (QByteArray("1") + e.slot).constData());
    }
    menu.exec(QCursor::pos());
}

void MainWindow::onItemChanged(QStandardItem* item)
{
    if (!m_layers->applyCheckState(item))
        emit senderItem(item);
}

void MainWindow::addProjectFolder()
{
    QStandardItem* root = m_layers->projectRoot();
    m_layers->addFolder(root);
    m_treeView->expand(root->index());
}

void MainWindow::addFolderInFolder()
{
    if (!m_menuItem)
        return;
    m_layers->addFolder(m_menuItem);
    m_treeView->expand(m_menuItem->index());
}

void MainWindow::changeFolderSymbol()
{
    if (!m_menuItem)
        return;
    m_menuItem->setIcon(QIcon(QStringLiteral(":images/open.png")));
    m_treeView->expand(m_menuItem->index());
}

void MainWindow::removeModel()
{
    m_layers->removeLayer(m_layers->model()->itemFromIndex(m_treeView->currentIndex()));
}

void MainWindow::removeFolder()
{
    QStandardItem* item = m_layers->model()->itemFromIndex(m_treeView->currentIndex());
    if (!item)
        return;
    if (item->hasChildren()) {
        QMessageBox box(this);
        box.setText(tr("Remove Layers from Folder First!"));
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return;
    }
    m_layers->removeFolder(item);
}

void MainWindow::removeAllModels()
{
    m_layers->removeAll();
}

void MainWindow::exportPointCloud()
{
    const LayerTree::Layer* layer = m_layers->layer(currentLayerId(LayerType::PointCloud));
    if (!layer)
        return;
    // Ask where to write rather than overwrite the layer's own file: a cloud
    // read from PTS or a richer PLY would lose what ASCII PLY cannot hold.
    QString proposal = QString::fromUtf8(layer->file);
    proposal = proposal.left(proposal.lastIndexOf('.')) + "_export.ply";
    const QString fileName =
        QFileDialog::getSaveFileName(this, tr("Export Point Cloud"), proposal, tr("PLY Files (*.ply)"));
    if (!fileName.isEmpty())
        exportCloudLayer(layer->id, fileName);
}

bool MainWindow::exportPointCloudTo(int index, const QString& fileName)
{
    return exportCloudLayer(m_layers->idAt(LayerType::PointCloud, index), fileName);
}

bool MainWindow::exportCloudLayer(LayerTree::LayerId id, const QString& fileName)
{
    QString message;
    const bool ok = m_osgWidget->exportLayerCloud(id, fileName, &message);
    if (ok) {
        statusBar()->showMessage(tr("Exported '%1'").arg(fileName), 2000);
    } else {
        statusBar()->showMessage(tr("Export failed: %1").arg(message), 5000);
        appendLog(tr("Export of %1 failed: %2").arg(fileName, message));
    }
    return ok;
}

// ---- Property windows ---------------------------------------------------------

PropertyWindow* MainWindow::propertyWindow(int kind) const
{
    switch (kind) {
    case 2: return m_propertyModel;
    case 3: return m_propertyBundle;
    default: return m_propertyGeneral;
    }
}

void MainWindow::refreshProperties(QStandardItem* item)
{
    const LayerType::Code type = LayerTree::typeOf(item);
    if (type != LayerType::None) {
        PropertySelection& selection = PropertySelection::global();
        selection = PropertySelection();
        selection.kind = LayerTree::propertyKind(type);
        selection.name = item->text();
        if (type == LayerType::Bundle)
            selection.kindWord = QStringLiteral("Bundle");
        selection.typeName = LayerType::name(type);
        const LayerTree::LayerId id = LayerTree::layerId(item);
        if (const LayerTree::Layer* layer = m_layers->layer(id))
            selection.file = QString::fromUtf8(layer->file);
        selection.summary = m_osgWidget->layerSummary(id);
    }
    propertyWindow(PropertySelection::global().kind)->refresh();
}

void MainWindow::showProperty()
{
    m_propertyGeneral->show();
}

void MainWindow::showPropertyWin_Model()
{
    m_propertyModel->show();
}

void MainWindow::showPropertyWin_BundleFile()
{
    m_propertyBundle->show();
}

// ---- Point cloud conversions ------------------------------------------------------

void MainWindow::convertPts2AscOpen()
{
    const QString fileName = QFileDialog::getOpenFileName(this, tr("Open Ply Ascii"), QDir::currentPath(),
                                                          tr("Ply Ascii Files (*.ply)"));
    if (fileName.isEmpty())
        return;
    convertPlyToOsga(fileName.toStdString());
    statusBar()->showMessage(tr("Ply converting to Osgb LOD (Please do not close until popup!"), 2000);
}

void MainWindow::convertPlyToOsga(std::string fileName)
{
    QString refusal;
    if (m_cloudConversion->startArchive(QString::fromStdString(fileName), &refusal))
        return;
    QMessageBox box(this);
    box.setText(refusal);
    box.exec();
}

void MainWindow::onConvertPlyProcessFinished(int exitCode)
{
    const CloudConversion::Finish finish = m_cloudConversion->finishArchive(exitCode, m_convertProcess.exitStatus());
    QMessageBox box(this);
    box.setText(finish.message);
    if (!finish.converted) {
        box.setIcon(QMessageBox::Warning);
        box.exec();
        return;
    }
    box.setInformativeText(tr("Add %1 to the project as a layer?").arg(QFileInfo(finish.archive).fileName()));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    if (box.exec() == QMessageBox::Yes)
        addDataFiles({finish.archive});
}

void MainWindow::convertPly2PtsOpen()
{
    const QString fileName =
        QFileDialog::getOpenFileName(this, tr("Open Ply"), QDir::currentPath(), tr("Ply Files (*.ply)"));
    if (fileName.isEmpty())
        return;
    m_cloudConversion->startPts(fileName);
}

void MainWindow::convertPts2PlyOpen()
{
    const QString fileName =
        QFileDialog::getOpenFileName(this, tr("Open Pts"), QDir::currentPath(), tr("Pts Files (*.pts)"));
    if (fileName.isEmpty())
        return;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QMessageBox::warning(this, tr("QXmlStream Bookmarks"),
                             tr("Cannot read file %1:\n%2.").arg(fileName, file.errorString()));
        return;
    }
    file.close();
    QString message;
    if (PtsToPly::convert(fileName, &message))
        statusBar()->showMessage(tr("Pts converted to Ply"), 2000);
    else
        statusBar()->showMessage(tr("Pts not converted: %1").arg(message), 5000);
    if (!message.isEmpty())
        appendLog(message);
}

// ---- Command server -------------------------------------------------------------

void MainWindow::getPointToggle(bool status)
{
    if (switchCommandServer(CommandServerSwitch::PointInput, status, m_pointForm))
        m_annotationInput->setPointInput(status);
}

void MainWindow::getPolygonToggle(bool status)
{
    if (switchCommandServer(CommandServerSwitch::PolygonInput, status, m_polygonForm))
        m_annotationInput->setPolygonInput(status);
}

bool MainWindow::switchCommandServer(CommandServerSwitch::Input input, bool on, AnnotationForm* form)
{
    QString error;
    if (m_serverSwitch->setWanted(input, on, &error))
        return true;
    {
        const QSignalBlocker blocker(form->toggleButton());
        form->toggleButton()->setChecked(false);
    }
    appendLog(error);
    statusBar()->showMessage(tr("Command server not started: %1").arg(m_commandServer->errorString()), 5000);
    QMessageBox::warning(this, tr("Command Server"),
                         error + tr("\nInput from the ground station stays off until the port is free."));
    return false;
}

void MainWindow::updateFromServerPos(QString posQString)
{
    std::cout << "Server Input:" << posQString.toStdString() << std::endl;
    const std::optional<ServerPosition::Coordinates> position = ServerPosition::parse(posQString);
    if (!position) {
        appendLog(tr("Position from the ground station not understood: %1").arg(posQString));
        return;
    }
    emit serverPositionReceived(position->x, position->y, position->z);
}

// ---- Annotation input ------------------------------------------------------------

void MainWindow::createAnnotationInput()
{
    m_annotationInput =
        new AnnotationInput(m_pointForm, m_polygonForm, m_layers, m_osgWidget, m_polygonVertices, this);
    m_annotationInput->setFocusTarget(m_osgWidget);
    m_picker = std::make_unique<ControllerPicker>(m_osgWidget->mapController());
    m_annotationInput->setPicker(m_picker.get());
    m_annotationInput->setLayerAdder([this](LayerType::Code type, const QString& file, const QString& name) {
        QStandardItem* root = m_layers->projectRoot();
        QString error;
        QStandardItem* item = m_layers->addLayerOfType(type, file, name, true, root, &error);
        if (!error.isEmpty())
            appendLog(tr("Layer %1: %2").arg(name, error));
        if (item) {
            m_treeView->expand(item->index());
            m_treeView->expand(root->index());
        }
        return item;
    });
    connect(m_annotationInput, &AnnotationInput::layerItemCreated, this, [this](QStandardItem* item) {
        if (item) {
            m_treeView->expand(item->index());
            m_treeView->expand(m_layers->projectRoot()->index());
        }
    });
    connect(this, &MainWindow::serverPositionReceived, m_annotationInput,
            [this](double x, double y, double z) { m_annotationInput->receivePosition(osg::Vec3d(x, y, z)); });
}

void MainWindow::showAnnotationOutcome(const AnnotationInput::Outcome& outcome)
{
    if (outcome.message.isEmpty())
        return;
    if (outcome.recorded)
        appendLog(outcome.message);
    QMessageBox box(this);
    box.setIcon(outcome.recorded ? QMessageBox::Warning : QMessageBox::NoIcon);
    box.setText(outcome.message);
    box.exec();
}

void MainWindow::updateTogglePoint()
{
    m_annotationInput->takePickForPoint();
}

void MainWindow::updateTogglePolygon()
{
    m_annotationInput->takePickForPolygon();
}

void MainWindow::saveInputPoint()
{
    showAnnotationOutcome(m_annotationInput->recordPoint());
}

void MainWindow::saveInputPolygon()
{
    showAnnotationOutcome(m_annotationInput->recordPolygon());
}

void MainWindow::dateSet()
{
    m_annotationInput->dateSet();
}

LayerTree::LayerId MainWindow::currentLayerId(LayerType::Code type) const
{
    const QStandardItem* item = m_layers->model()->itemFromIndex(m_treeView->currentIndex());
    return LayerTree::typeOf(item) == type ? LayerTree::layerId(item) : LayerScene::noLayer;
}

void MainWindow::saveEdits(LayerType::Code type)
{
    const LayerTree::Layer* layer = m_layers->layer(currentLayerId(type));
    if (!layer)
        return;
    const QString file = QString::fromUtf8(layer->file);
    QString error;
    if (m_osgWidget->saveAnnotationLayer(layer->id, file, &error)) {
        statusBar()->showMessage(tr("Saved '%1'").arg(file), 2000);
    } else {
        statusBar()->showMessage(tr("Write Failed"), 2000);
        appendLog(tr("Cannot write %1: %2").arg(file, error));
    }
}

void MainWindow::saveEditsPoints()
{
    saveEdits(LayerType::Points);
}

void MainWindow::saveEditsPolygons()
{
    saveEdits(LayerType::Polygons);
}

void MainWindow::toggleLabels()
{
    m_osgWidget->toggleAnnotationLabels(currentLayerId(LayerType::Points));
}

void MainWindow::togglePolyLabels()
{
    m_osgWidget->toggleAnnotationLabels(currentLayerId(LayerType::Polygons));
}

// Value list builders: type 0 gives numbers, type 1 column letters.
QStringList MainWindow::makeComboList(int type, int start, int end)
{
    return AnnotationValues::numberList(start, end, type == 1);
}

QStringList MainWindow::makeGridComboList(std::string row, std::string column, std::string whichLetter, int rowCells,
                                          int columnCells)
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
    m_reconstruction = new ReconstructionRunner(
        this, m_logList, m_imageList, m_appDir,
        {m_actions.value("&Run Sparse"), m_actions.value("&ReRun BundleAdjustment"), m_actions.value("&Run Dense"),
         m_actions.value("&Scan Settings"), m_actions.value("&Abort current reconstruction")});
    // A sparse run extracts the images' EXIF data first and waits for it.
    m_reconstruction->setExifExtraction([this] {
        exifExtract();
        return &m_exifProcess;
    });
    m_reconstruction->setSaveSettings([this] { saveVariables(); });
    connect(m_reconstruction, SIGNAL(sparseNVMFinished(QFile*)), this, SLOT(loadSparseNVM(QFile*)));
    connect(m_reconstruction, SIGNAL(densepmvsFinished(QStringList)), this, SLOT(loadPatchFiles(QStringList)));
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

// The results are opened through "&Add Data(s)...".
void MainWindow::loadSparseNVM(QFile*) {}
void MainWindow::loadPatchFiles(QStringList) {}

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
    std::cout << "Got it\n" << std::flush;
    extractShape();
}

void MainWindow::saveSelectedPointsasPolyline()
{
    extractShape();
}

void MainWindow::extractShape()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ImageMatchScene::Extract result =
        m_osgWidget->imageMatches()->extract(m_appDir);
    for (const QString& line : result.log)
        appendLog(line);
    m_viewers->updateWindowPaint();
    QApplication::restoreOverrideCursor();
    statusBar()->showMessage(result.points > 0 ? tr("Shape extracted: see the Log View")
                                               : tr("Nothing extracted: see the Log View"),
                             2000);
}

// ---- Sensor network ---------------------------------------------------------

void MainWindow::startSensors(bool start)
{
    if (start)
        m_osgWidget->sensors()->start();
    else
        m_osgWidget->sensors()->stop();
}

void MainWindow::toggleSmoke(bool start)
{
    m_osgWidget->sensors()->setSmoke(start);
}

// ---- Slots whose work belongs to features still to come --------------------

void MainWindow::openSerialPortPass() {}
void MainWindow::closeSerialPortPass() {}
void MainWindow::print() {}
void MainWindow::undo() {}
void MainWindow::recordClicked() {}
void MainWindow::treeItem_checkAllChild(QStandardItem*, bool) {}
void MainWindow::treeItem_checkAllChild_recursion(QStandardItem*, bool) {}
void MainWindow::treeItem_CheckChildChanged(QStandardItem*) {}
Qt::CheckState MainWindow::checkSibling(QStandardItem*) { return Qt::Unchecked; }
void MainWindow::turnOnOnlyCamerasAction() {}
void MainWindow::turnOnOnlyModelAction() {}
void MainWindow::captureScreen() {}
void MainWindow::savePDF() {}
