#include "MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QCursor>
#include <QDateTime>
#include <QDir>
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
#include <QSignalMapper>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>

#include <iostream>

#include "AnnotationValues.h"
#include "ConfigWindow.h"
#include "ControllerPicker.h"
#include "GeoRef.h"
#include "LayerTree.h"
#include "LogView.h"
#include "MyListWidget.h"
#include "MapController.h"
#include "OsgWidget.h"
#include "PointForm.h"
#include "PolygonForm.h"
#include "ProjectFile.h"
#include "ProjectReader.h"
#include "ProjectWriter.h"
#include "PropertyWindow.h"
#include "ReconstructionRunner.h"
#include "ScanSettings.h"
#include "SelectionToolWidget.h"
#include "ServerPosition.h"
#include "TCPServer.h"

MainWindow::MainWindow(Edition edition, QWidget* parent)
    : QMainWindow(parent),
      m_edition(edition),
      m_propertyGeneral(new PropertyWindow(this)),
      m_propertyModel(new PropertyWindow(this)),
      m_propertyBundle(new PropertyWindow(this)),
      m_exifProcess(this),
      m_convertProcess(this),
      m_reportProcess(this),
      m_polygonVertices(new osg::Vec3Array)
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

    connect(this, SIGNAL(loadFirstImg(QListWidgetItem*)), this, SLOT(load(QListWidgetItem*)));

    m_configWindow = new ConfigWindow(this);
    connect(m_configWindow->saveButton(), SIGNAL(clicked()), this, SLOT(saveVariables()));
    createReconstruction();

    // Listens only while point or polygon input is switched on.
    m_commandServer = new TCPServer(this);
    connect(m_commandServer, SIGNAL(RqstClientPos(QString)), this, SLOT(updateFromServerPos(QString)));
    connect(m_commandServer, &TCPServer::logLine, this, &MainWindow::appendLog);
    connect(m_annotationInput, &AnnotationInput::commandServerStopRequested, m_commandServer,
            [this] { m_commandServer->toggleTCPServer(false); });
}

MainWindow::~MainWindow()
{
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
    return m_imageList;
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
    const int n = m_osgWidget->bookmarkCount();
    addBookmarkAction(n);
    m_osgWidget->createBookmark();
}

void MainWindow::addBookmarkAction(int n)
{
    auto* action = new QAction(tr("&bookmark") + QString::number(n), this);
    action->setCheckable(true);
    action->setStatusTip(tr("recent bookmark"));
    m_recentBookmarkActions.append(action);

    auto* mapper = new QSignalMapper(this);
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
    const osg::Vec3f centre = controller->getBoxPos();
    m_selectionTool->setBoxPosition(centre.x(), centre.y(), centre.z(), controller->getBoxRotation());
}

void MainWindow::extractBox()
{
    const int index = m_osgWidget->extractBox();
    // Unchecking the panel's button switches the box off through its signal.
    m_selectionTool->activateButton()->setChecked(false);
    m_osgWidget->turnOnSelectBox(false);
    if (index < 0) {
        statusBar()->showMessage(tr("No points inside the selection box"), 2000);
        return;
    }
    // The file keeps the selection when the project is saved and opened
    // again; a number whose file exists (another project's) is skipped
    // rather than overwritten.
    const QString folder = m_appDir + QStringLiteral("/project/");
    int n = m_layers->layerCount(LayerType::PointCloud);
    while (QFileInfo::exists(folder + QStringLiteral("newselection_%1.ply").arg(n)))
        ++n;
    const QString name = QStringLiteral("newselection_%1.ply").arg(n);
    QString message;
    if (!QDir().mkpath(folder) || !m_osgWidget->exportPointCloud(folder + name, index, &message))
        appendLog(tr("Could not write the selection to %1 %2").arg(folder + name, message));
    m_layers->addLayerWithoutLoading(LayerType::PointCloud, folder + name, name, true,
                                     m_layers->projectRoot());
    statusBar()->showMessage(tr("Selection extracted"), 2000);
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
    if (!parent)
        parent = m_layers->projectRoot();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QStandardItem* item = m_layers->addLayer(file, displayName, visible, parent);
    QApplication::restoreOverrideCursor();
    if (item) {
        m_treeView->expand(item->index());
        m_treeView->expand(parent->index());
    }
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
        addLayer(path, name, true, m_layers->projectRoot());
        statusBar()->showMessage(tr("File loaded"), 2000);
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
    QStandardItem* item = m_layers->model()->itemFromIndex(m_treeView->currentIndex());
    const int index = item ? m_layers->indexOf(LayerType::PointCloud, item->text()) : -1;
    if (index < 0)
        return;
    // Ask where to write rather than overwrite the layer's own file: a cloud
    // read from PTS or a richer PLY would lose what ASCII PLY cannot hold.
    QString proposal = QString::fromUtf8(m_layers->lists(LayerType::PointCloud).files.value(index));
    proposal = proposal.left(proposal.lastIndexOf('.')) + "_export.ply";
    const QString fileName =
        QFileDialog::getSaveFileName(this, tr("Export Point Cloud"), proposal, tr("PLY Files (*.ply)"));
    if (!fileName.isEmpty())
        exportPointCloudTo(index, fileName);
}

bool MainWindow::exportPointCloudTo(int index, const QString& fileName)
{
    QString message;
    const bool ok = m_osgWidget->exportPointCloud(fileName, index, &message);
    if (ok) {
        statusBar()->showMessage(tr("Exported '%1'").arg(fileName), 2000);
    } else {
        statusBar()->showMessage(tr("Export failed: %1").arg(message), 5000);
        appendLog(tr("Export of %1 failed: %2").arg(fileName, message));
    }
    return ok;
}

// ---- Command server -------------------------------------------------------------

void MainWindow::getPointToggle(bool status)
{
    m_commandServer->toggleTCPServer(status);
    m_annotationInput->setPointInput(status);
}

void MainWindow::getPolygonToggle(bool status)
{
    m_commandServer->toggleTCPServer(status);
    m_annotationInput->setPolygonInput(status);
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
        QStandardItem* item = m_layers->addLayerOfType(type, file, name, true, root);
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
            [this](float x, float y, float z) { m_annotationInput->receivePosition(osg::Vec3f(x, y, z)); });
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

int MainWindow::currentLayerIndex(LayerType::Code type) const
{
    const QStandardItem* item = m_layers->model()->itemFromIndex(m_treeView->currentIndex());
    return item ? m_layers->indexOf(type, item->text()) : -1;
}

void MainWindow::saveEdits(LayerType::Code type)
{
    const int index = currentLayerIndex(type);
    if (index < 0)
        return;
    const QString file = QString::fromUtf8(m_layers->lists(type).files.value(index));
    QString error;
    if (m_osgWidget->saveAnnotationLayer(type, file, index, &error)) {
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
    m_osgWidget->toggleAnnotationLabels(LayerType::Points, currentLayerIndex(LayerType::Points));
}

void MainWindow::togglePolyLabels()
{
    m_osgWidget->toggleAnnotationLabels(LayerType::Polygons, currentLayerIndex(LayerType::Polygons));
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
    m_configWindow->apply(ScanSettings::global());
    if (m_projectPath.isEmpty()) {
        QString folder = m_appDir;
        if (m_imageList->count() > 0) {
            const QString first = m_imageList->fullPath(m_imageList->item(0)->text());
            folder = first.left(first.lastIndexOf('/'));
        } else if (!ScanSettings::global().imageFolder.isEmpty()) {
            folder = ScanSettings::global().imageFolder;
        }
        m_projectPath = folder + '/' + QDateTime::currentDateTime().toString().replace(':', '.') + ".prj";
    }
    if (writeProjectFile(m_projectPath))
        statusBar()->showMessage(tr(" Project Saved '%1'").arg(m_projectPath), 2000);
    else
        statusBar()->showMessage(tr("Project write Failed"), 2000);
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

bool MainWindow::writeProjectFile(const QString& fileName)
{
    ProjectDocument doc = ProjectFile::gather(*m_layers, *m_imageList);
    doc.settings = ScanSettings::global();
    for (const OsgWidget::Bookmark& b : m_osgWidget->bookmarks())
        doc.bookmarks.append({b.eye.x(), b.eye.y(), b.eye.z(), b.centre.x(), b.centre.y(), b.centre.z(), b.up.x(),
                              b.up.y(), b.up.z()});
    QString error;
    if (ProjectWriter::writeFile(fileName, doc, &error))
        return true;
    appendLog(tr("Cannot write project %1: %2").arg(fileName, error));
    return false;
}

bool MainWindow::openProjectFile(const QString& fileName)
{
    ProjectDocument doc;
    QString error;
    if (!ProjectReader::readFile(fileName, doc, &error)) {
        // Nothing of a file that failed to read is shown as a project.
        QMessageBox::warning(this, tr("QXmlStream Bookmarks"), tr("Cannot read file %1:\n%2.").arg(fileName, error));
        return false;
    }
    ProjectFile::apply(doc, *m_layers, *m_imageList, m_treeView,
                       [this](const QString& file, const QString& name, bool visible, QStandardItem* parent) {
                           return addLayer(file, name, visible, parent);
                       });
    updateWindowTitleCount();
    ScanSettings::global() = doc.settings;
    // The settings window shows what it showed when last closed: refill it so
    // its "OK" does not put stale values over the ones just read.
    m_configWindow->showSettings(ScanSettings::global());
    if (!doc.bookmarks.isEmpty()) {
        std::deque<OsgWidget::Bookmark> marks = m_osgWidget->bookmarks();
        for (const ProjectDocument::Bookmark& b : doc.bookmarks)
            marks.push_back({osg::Vec3d(b[0], b[1], b[2]), osg::Vec3d(b[3], b[4], b[5]), osg::Vec3d(b[6], b[7], b[8])});
        m_osgWidget->setBookmarks(marks);
        for (int i = m_recentBookmarkActions.size(); i < m_osgWidget->bookmarkCount(); ++i)
            addBookmarkAction(i);
    }
    m_projectPath = fileName;
    m_actions.value("&Run Sparse")->setEnabled(true);
    m_actions.value("&Run Dense")->setEnabled(true);
    m_actions.value("&Scan Settings")->setEnabled(true);
    statusBar()->showMessage(tr("Project loaded"), 2000);
    return true;
}

void MainWindow::openProj()
{
    if (m_layers->projectRoot()->hasChildren())
        closeProject(); // its Cancel does not stop the opening
    const QString fileName =
        QFileDialog::getOpenFileName(this, tr("Open Project"), QDir::currentPath(), tr("Project Files (*.prj)"));
    if (fileName.isEmpty()) {
        statusBar()->showMessage(tr("Project not loaded, empty"), 2000);
        return;
    }
    openProjectFile(fileName);
}

void MainWindow::save()
{
    if (m_projectPath.isEmpty()) {
        saveAs();
        if (m_projectPath.isEmpty())
            return;
    }
    if (writeProjectFile(m_projectPath))
        statusBar()->showMessage(tr("Saved '%1'").arg(m_projectPath), 2000);
    else
        statusBar()->showMessage(tr("Write Failed"), 2000);
}

void MainWindow::saveAs()
{
    const QString fileName =
        QFileDialog::getSaveFileName(this, tr("Choose a file name"), QStringLiteral("."), tr("Project File (*.prj)"));
    if (fileName.isEmpty()) {
        statusBar()->showMessage(tr("Filename Empty"), 2000);
        return;
    }
    m_projectPath = fileName;
    statusBar()->showMessage(tr("Saved '%1'").arg(m_projectPath), 2000);
    saveVariables();
}

void MainWindow::closeProject()
{
    QMessageBox box(this);
    box.setText(tr("Save before closing?"));
    box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Save);
    const int answer = box.exec();
    if (answer == QMessageBox::Save)
        save();
    if (answer == QMessageBox::Save || answer == QMessageBox::Discard)
        clearProject();
}

void MainWindow::clearProject()
{
    removeAllModels();
    QStandardItem* root = m_layers->projectRoot();
    root->removeRows(0, root->rowCount());
}

// ---- Slots whose work belongs to features still to come --------------------

void MainWindow::updateWindowPaint() {}
void MainWindow::updateZooms(double) {}
void MainWindow::deleteImageViewer(QString) {}
void MainWindow::receiveExtractCommand() {}
void MainWindow::startSensors(bool) {}
void MainWindow::toggleSmoke(bool) {}
void MainWindow::openSerialPortPass() {}
void MainWindow::closeSerialPortPass() {}
void MainWindow::print() {}
void MainWindow::undo() {}
void MainWindow::recordClicked() {}
void MainWindow::syncImages() {}
void MainWindow::treeItem_checkAllChild(QStandardItem*, bool) {}
void MainWindow::treeItem_checkAllChild_recursion(QStandardItem*, bool) {}
void MainWindow::treeItem_CheckChildChanged(QStandardItem*) {}
Qt::CheckState MainWindow::checkSibling(QStandardItem*) { return Qt::Unchecked; }
void MainWindow::convertPly2PtsOpen() {}
void MainWindow::convertPlyToOsga(std::string) {}
void MainWindow::convertPts2PlyOpen() {}
void MainWindow::convertPts2AscOpen() {}
void MainWindow::saveSelectedPointsasPolyline() {}
void MainWindow::addImage() {}
void MainWindow::load(QListWidgetItem*) {}
void MainWindow::changeItemValue(QListWidgetItem*) {}
void MainWindow::copyToFolder() {}
void MainWindow::exifExtract() {}
void MainWindow::onExifProcessFinished(int) {}
void MainWindow::onConvertPlyProcessFinished(int) {}
void MainWindow::showProperty() {}
void MainWindow::showPropertyWin_Model() {}
void MainWindow::showPropertyWin_BundleFile() {}
void MainWindow::showPopupWin() {}
void MainWindow::turnOnOnlyCamerasAction() {}
void MainWindow::turnOnOnlyModelAction() {}
void MainWindow::captureScreen() {}
void MainWindow::savePDF() {}
