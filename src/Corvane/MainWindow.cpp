#include "MainWindow.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>

#include "ConfigReader.h"
#include "ConsoleLog.h"
#include "ImageLabel.h"
#include "LedIndicator.h"
#include "TCPClient.h"
#include "TCPServer.h"

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(tr("Corvane"));
    readConfig();
    m_client = new TCPClient(this);
    m_server = new TCPServer(this);
    connect(m_server, &TCPServer::logLine, this, &MainWindow::appendLog);
    createActions();
    createToolBars();
    createMenus();
    createStatusPanel();
    // The status server's lamp, green while it listens; beside it the
    // status bar says why a server could not start.
    m_serverLamp = new LedIndicator(this);
    m_serverLamp->setObjectName("serverLamp");
    m_serverLamp->setToolTip(tr("Status server stopped"));
    statusBar()->addPermanentWidget(m_serverLamp);
    connectServer();
    createFrameWindow();
}

bool MainWindow::fileExists(QString path)
{
    return ConfigReader::fileExists(path);
}

void MainWindow::readConfig()
{
    // The working folder's file first, so that one run can use its own;
    // then the one the build places beside the program.
    const QStringList folders = {QDir::currentPath(), QCoreApplication::applicationDirPath()};
    const QString path = ConfigReader::locate(folders);
    if (path.isEmpty()) {
        appendLog(tr("Unable to read config file."));
        appendLog(tr("No config.txt in %1").arg(folders.join(QStringLiteral(" or "))));
        return;
    }
    ConfigReader::readFile(path, m_config);
    appendLog(tr("Read config file %1").arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())));
}

void MainWindow::createActions()
{
    m_startServerAction = new QAction(tr("&StartServer"), this);
    m_startServerAction->setObjectName("startServerAction");
    m_startServerAction->setCheckable(true);
    connect(m_startServerAction, &QAction::toggled, m_server, &TCPServer::toggleTCPServer);
    connect(m_startServerAction, &QAction::toggled, this, &MainWindow::toggleTCPServer);

    m_connectDeviceAction = new QAction(tr("&ConnectDevice"), this);
    m_connectDeviceAction->setObjectName("connectDeviceAction");
    m_connectDeviceAction->setCheckable(true);

    m_startCaptureAction = new QAction(tr("&StartCapture"), this);
    m_startCaptureAction->setObjectName("startCaptureAction");
    m_startCaptureAction->setCheckable(true);
    connect(m_startCaptureAction, &QAction::toggled, m_client, &TCPClient::toggleCapture);
    connect(m_startCaptureAction, &QAction::toggled, this, &MainWindow::toggleCapture);

    m_startLiveTrackerAction = new QAction(tr("&StartLiveTracker"), this);
    m_startLiveTrackerAction->setObjectName("startLiveTrackerAction");
    m_startLiveTrackerAction->setCheckable(true);
    connect(m_startLiveTrackerAction, &QAction::toggled, m_client, &TCPClient::toggleTracking);
    connect(m_startLiveTrackerAction, &QAction::toggled, this, &MainWindow::toggleLiveTracker);

    m_rqstFrameAction = new QAction(tr("&RqstFrame"), this);
    m_rqstFrameAction->setObjectName("rqstFrameAction");
    connect(m_rqstFrameAction, &QAction::triggered, m_client, &TCPClient::onRqstFrame);

    m_rqstObjPatchAction = new QAction(tr("&RqstObjPatch"), this);
    m_rqstObjPatchAction->setObjectName("rqstObjPatchAction");
    connect(m_rqstObjPatchAction, &QAction::triggered, m_client, &TCPClient::onRqstObjPatch);
}

void MainWindow::createToolBars()
{
    m_connectionToolBar = addToolBar(tr("Connection"));
    m_connectionToolBar->setObjectName("Connection");
    m_connectionToolBar->addAction(m_startServerAction);
    m_connectionToolBar->addAction(m_connectDeviceAction);
    const auto actions = m_connectionToolBar->actions();
    for (QAction* action : actions) {
        if (action != m_startServerAction)
            action->setEnabled(false);
    }

    // The tracker's requests, reachable without a trip to the menu.
    QToolBar* tracker = addToolBar(tr("Tracker"));
    tracker->setObjectName("Tracker");
    tracker->addAction(m_startCaptureAction);
    tracker->addAction(m_startLiveTrackerAction);
    tracker->addAction(m_rqstFrameAction);
    tracker->addAction(m_rqstObjPatchAction);
}

void MainWindow::createMenus()
{
    QMenu* connection = menuBar()->addMenu(tr("&Connection"));
    connection->addAction(m_startServerAction);
    connection->addAction(m_connectDeviceAction);
    QMenu* tracker = menuBar()->addMenu(tr("&Tracker"));
    tracker->addAction(m_startCaptureAction);
    tracker->addAction(m_startLiveTrackerAction);
    tracker->addSeparator();
    tracker->addAction(m_rqstFrameAction);
    tracker->addAction(m_rqstObjPatchAction);
}

void MainWindow::createStatusPanel()
{
    m_statusPanel = new QWidget(this);
    m_statusPanel->setObjectName("statusPanel");
    auto* panelLayout = new QHBoxLayout(m_statusPanel);

    auto* status = new QGroupBox(tr("Status"), m_statusPanel);
    auto* grid = new QGridLayout(status);
    m_captureLamp = new LedIndicator(status);
    m_captureLamp->setObjectName("captureLamp");
    m_trackingLamp = new LedIndicator(status);
    m_trackingLamp->setObjectName("trackingLamp");
    m_xEdit = new QLineEdit(status);
    m_xEdit->setObjectName("xEdit");
    m_yEdit = new QLineEdit(status);
    m_yEdit->setObjectName("yEdit");
    m_zEdit = new QLineEdit(status);
    m_zEdit->setObjectName("zEdit");
    auto* send = new QPushButton(tr("Send"), status);
    send->setObjectName("sendButton");
    connect(send, &QPushButton::clicked, this, &MainWindow::getSendClientPos);
    m_altitudeEdit = new QLineEdit(status);
    m_altitudeEdit->setObjectName("altitudeEdit");
    m_altitudeEdit->setReadOnly(true);

    grid->addWidget(new QLabel(tr("Capture"), status), 0, 0);
    grid->addWidget(m_captureLamp, 0, 1);
    grid->addWidget(new QLabel(tr("Tracking"), status), 1, 0);
    grid->addWidget(m_trackingLamp, 1, 1);
    grid->addWidget(new QLabel(tr("x:"), status), 2, 0);
    grid->addWidget(m_xEdit, 2, 1);
    grid->addWidget(new QLabel(tr("y:"), status), 3, 0);
    grid->addWidget(m_yEdit, 3, 1);
    grid->addWidget(new QLabel(tr("z:"), status), 4, 0);
    grid->addWidget(m_zEdit, 4, 1);
    grid->addWidget(send, 5, 0);
    // The tracker's altitude belongs with its other state.
    grid->addWidget(new QLabel(tr("Altitude"), status), 6, 0);
    grid->addWidget(m_altitudeEdit, 6, 1);

    panelLayout->addWidget(status);
    panelLayout->addWidget(createObjectPatchBox());
    panelLayout->addWidget(createRcControlBox());
    panelLayout->addWidget(createWaypointBox());
    setCentralWidget(m_statusPanel);
    m_statusPanel->hide();
}

void MainWindow::connectServer()
{
    connect(m_server, &TCPServer::SetStartCap, m_captureLamp, &LedIndicator::switchOn);
    connect(m_server, &TCPServer::SetStopCap, m_captureLamp, &LedIndicator::switchOff);
    connect(m_server, &TCPServer::SetStartTrack, m_trackingLamp, &LedIndicator::switchOn);
    connect(m_server, &TCPServer::SetStopTrack, m_trackingLamp, &LedIndicator::switchOff);
    connect(m_server, &TCPServer::CurAltitude, m_altitudeEdit, &QLineEdit::setText);
    connect(m_server, &TCPServer::CurObjPatch, this, &MainWindow::updateObjPatch);
    connect(m_server, &TCPServer::CurFrame, this, &MainWindow::updateCurFrame);
}

void MainWindow::createFrameWindow()
{
    // A top-level window of its own, owned by the main window.
    m_frameWindow = new QWidget(this, Qt::Window);
    m_frameWindow->setObjectName("frameWindow");
    m_frameWindow->setWindowTitle(tr("Current Frame"));
    auto* grid = new QGridLayout(m_frameWindow);
    auto* hint = new QLabel(tr("Please select the initialization patch.\nClick, drag and release to define the "
                               "bounding box.\nPress OK to send, Cancel to try again."),
                            m_frameWindow);
    hint->setWordWrap(true);
    m_frameLabel = new ImageLabel(m_frameWindow);
    m_frameLabel->setObjectName("frameLabel");
    auto* ok = new QPushButton(tr("OK"), m_frameWindow);
    ok->setObjectName("okButton");
    auto* cancel = new QPushButton(tr("Cancel"), m_frameWindow);
    cancel->setObjectName("cancelButton");
    grid->addWidget(hint, 0, 0, 1, 2);
    grid->addWidget(m_frameLabel, 1, 0, 1, 2);
    grid->addWidget(ok, 2, 0);
    grid->addWidget(cancel, 2, 1);
    connect(ok, &QPushButton::clicked, this, &MainWindow::onOkFrameWidget);
    connect(cancel, &QPushButton::clicked, this, &MainWindow::onCancelFrameWidget);
    connect(m_frameLabel, &ImageLabel::mousePressed, this, &MainWindow::onMousePressedFrameLabel);
    connect(m_frameLabel, &ImageLabel::mouseMoved, this, &MainWindow::onMouseMovedFrameLabel);
    connect(m_frameLabel, &ImageLabel::mouseReleased, this, &MainWindow::onMouseReleasedFrameLabel);
}

QGroupBox* MainWindow::createObjectPatchBox()
{
    auto* box = new QGroupBox(tr("Object Patch"));
    auto* form = new QFormLayout(box);
    m_objPatchLabel = new QLabel(box);
    m_objPatchLabel->setObjectName("objPatchLabel");
    m_objPatchLabel->setPixmap(QPixmap(QStringLiteral("personOutline.jpg")));
    form->addRow(m_objPatchLabel);
    return box;
}

QGroupBox* MainWindow::createRcControlBox()
{
    auto* box = new QGroupBox(tr("RC Control"));
    auto* grid = new QGridLayout(box);
    auto* mode = new QComboBox(box);
    mode->setObjectName("modeCombo");
    mode->addItems({tr("Stabilize"), tr("Loiter"), tr("Guided"), tr("RTL"), tr("Land")});
    connect(mode, QOverload<int>::of(&QComboBox::activated), this, &MainWindow::setModeApm);
    auto* reset = new QPushButton(tr("Reset"), box);
    reset->setObjectName("resetButton");
    connect(reset, &QPushButton::clicked, m_client, &TCPClient::onRqstRCReset);

    grid->addWidget(new QLabel(tr("Set Mode"), box), 0, 2);
    grid->addWidget(mode, 0, 3);
    grid->addWidget(new QPushButton(tr("Arm"), box), 1, 2);
    grid->addWidget(new QPushButton(tr("Disarm"), box), 1, 3);
    grid->addWidget(reset, 2, 2);
    grid->addWidget(new QPushButton(tr("Hold"), box), 2, 3);
    grid->addWidget(new QPushButton(tr("Front"), box), 3, 2, 1, 2);
    grid->addWidget(new QPushButton(tr("Left"), box), 4, 2);
    grid->addWidget(new QPushButton(tr("Right"), box), 4, 3);
    grid->addWidget(new QPushButton(tr("Back"), box), 5, 2, 1, 2);
    return box;
}

QGroupBox* MainWindow::createWaypointBox()
{
    auto* box = new QGroupBox(tr("Navigate to Waypoint"));
    auto* form = new QFormLayout(box);
    auto doubleBox = [box](double min, double max, const QString& suffix) {
        auto* spin = new QDoubleSpinBox(box);
        spin->setRange(min, max);
        spin->setSuffix(suffix);
        return spin;
    };
    auto* time = new QSpinBox(box);
    time->setRange(1, 3600);
    time->setSuffix(tr(" s"));
    form->addRow(tr("&Time:"), time);
    form->addRow(tr("&Acceptance Radius:"), doubleBox(-1000, 1000, tr(" m")));
    form->addRow(tr("&Trajectory Control:"), doubleBox(-1000, 1000, tr(" m")));
    form->addRow(tr("&Yaw:"), doubleBox(0, 360, tr(" °")));
    for (const QString& label : {tr("&Latitude:"), tr("&Longitude:")}) {
        QDoubleSpinBox* spin = doubleBox(0, 360, tr(" °"));
        spin->setDecimals(6);
        spin->setSingleStep(0.00001);
        form->addRow(label, spin);
    }
    form->addRow(tr("&Altitude"), doubleBox(0, 1000, tr(" m")));
    auto* go = new QPushButton(tr("Navigate"), box);
    connect(go, &QPushButton::clicked, this, &MainWindow::navigate);
    form->addRow(go);
    return box;
}

void MainWindow::toggleTCPServer(bool shouldStart)
{
    // The server has already tried (its slot runs first): a port taken by
    // another program leaves it stopped, and the window must not say otherwise.
    const QString failure = shouldStart && !m_server->isListening()
                                ? tr("Status server not started on port %1: %2")
                                      .arg(m_server->port())
                                      .arg(m_server->errorString())
                                : QString();
    if (!failure.isEmpty()) {
        const QSignalBlocker blocker(m_startServerAction);
        m_startServerAction->setChecked(false);
        shouldStart = false;
        appendLog(failure);
    }
    statusBar()->showMessage(failure);
    m_serverLamp->setToolTip(failure.isEmpty()
                                 ? (shouldStart ? tr("Status server listening") : tr("Status server stopped"))
                                 : failure);
    shouldStart ? m_serverLamp->switchOn() : m_serverLamp->switchOff();
    m_startServerAction->setText(shouldStart ? tr("&StopServer") : tr("StartServer"));
    const auto actions = m_connectionToolBar->actions();
    for (QAction* action : actions) {
        if (action != m_startServerAction)
            action->setEnabled(shouldStart);
    }
    m_statusPanel->setVisible(shouldStart);
}

void MainWindow::toggleCapture(bool checked)
{
    m_startCaptureAction->setText(checked ? tr("&StopCapture") : tr("StartCapture"));
}

void MainWindow::toggleLiveTracker(bool checked)
{
    m_startLiveTrackerAction->setText(checked ? tr("&StopLiveTracker") : tr("StartLiveTracker"));
}

void MainWindow::setModeApm(int mode)
{
    switch (mode) {
    case 0: m_client->onRqstFMStabilize(); break;
    case 2: m_client->onRqstFMGuided(); break;
    case 3: m_client->onRqstFMRTL(); break;
    case 4: m_client->onRqstFMLand(); break;
    default: m_client->onRqstFMLoiter(); break;
    }
}

void MainWindow::getSendClientPos()
{
    // Sent as typed: the workbench drops what is not three numbers.
    m_client->onRqstClientPos(m_xEdit->text() + "," + m_yEdit->text() + "," + m_zEdit->text());
}

void MainWindow::updateObjPatch(QPixmap objPatch)
{
    appendLog("objPatch.");
    m_objPatchLabel->setPixmap(objPatch);
    m_objPatchLabel->show();
}

void MainWindow::updateCurFrame(QPixmap newFrame)
{
    appendLog("newFrame.");
    m_currentFrame = newFrame;
    // A patch cut from the previous frame no longer matches what is shown.
    m_currentPatch = QPixmap();
    m_frameLabel->setPixmap(m_currentFrame);
    m_frameWindow->show();
}

void MainWindow::onMousePressedFrameLabel()
{
    if (m_currentFrame.isNull())
        return;
    const QPoint press = m_frameLabel->pressPoint();
    QRect box(press.x(), press.y() - 20, 120, 20);
    // Past the middle the hint goes left of the pointer so it stays in view.
    if (press.x() * 2 > m_currentFrame.width())
        box.moveLeft(press.x() - 120);
    QPixmap shown = m_currentFrame.copy();
    {
        QPainter painter(&shown);
        painter.drawText(box, tr("Drag and release."));
    }
    m_frameLabel->setPixmap(shown);
}

void MainWindow::onMouseMovedFrameLabel()
{
    if (m_currentFrame.isNull())
        return;
    const QPoint press = m_frameLabel->pressPoint();
    const QPoint move = m_frameLabel->movePoint();
    QPixmap shown = m_currentFrame.copy();
    {
        QPainter painter(&shown);
        painter.setPen(QPen(QColor(150, 150, 150)));
        painter.drawRect(QRect(press, move - QPoint(1, 1)).normalized());
    }
    m_frameLabel->setPixmap(shown);
}

void MainWindow::onMouseReleasedFrameLabel()
{
    if (m_currentFrame.isNull())
        return;
    const QPoint a = m_frameLabel->pressPoint();
    const QPoint b = m_frameLabel->releasePoint();
    QRect box(QPoint(qMin(a.x(), b.x()), qMin(a.y(), b.y())),
              QPoint(qMax(a.x(), b.x()) - 1, qMax(a.y(), b.y()) - 1));
    QString line;
    QDebug(&line).nospace() << "BoundingBox: " << box;
    appendLog(line);
    // A release outside the frame, or a click without a drag, must not cut
    // outside the image; an empty box would even copy the whole frame.
    box &= m_currentFrame.rect();
    if (box.isEmpty()) {
        m_currentPatch = QPixmap();
        m_frameLabel->setPixmap(m_currentFrame);
        return;
    }
    m_currentPatch = m_currentFrame.copy(box);
    m_frameLabel->setPixmap(m_currentPatch);
}

void MainWindow::onOkFrameWidget()
{
    if (m_currentPatch.isNull()) {
        appendLog(tr("No patch selected."));
        return;
    }
    m_client->onRqstInitPatch(m_currentPatch);
    m_frameWindow->close();
}

void MainWindow::onCancelFrameWidget()
{
    m_currentPatch = QPixmap();
    m_frameLabel->setPixmap(m_currentFrame);
}

void MainWindow::navigate()
{
    // The waypoint form has no sender yet; the tracker's text format for a
    // waypoint is not settled.
}

void MainWindow::appendLog(QString line)
{
    ConsoleLog::write(line);
}
