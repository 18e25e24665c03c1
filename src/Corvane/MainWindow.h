#pragma once

#include <QMainWindow>
#include <QPixmap>

#include "TrackerConfig.h"

class ImageLabel;
class LedIndicator;
class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolBar;
class TCPClient;
class TCPServer;

// Corvane's window, the ground station of the airborne tracker: switches the
// status server, shows the tracker's state, sends positions and flight
// commands, and cuts the tracker's initialisation patch out of a frame.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    // Exists and is a regular file.
    static bool fileExists(QString path);

    const TrackerConfig& config() const { return m_config; }
    TCPClient* client() const { return m_client; }
    TCPServer* server() const { return m_server; }
    QPixmap currentPatch() const { return m_currentPatch; }

public slots:
    void toggleTCPServer(bool shouldStart);
    void toggleCapture(bool checked);
    void toggleLiveTracker(bool checked);
    void setModeApm(int mode);
    void getSendClientPos();
    void updateObjPatch(QPixmap objPatch);
    void updateCurFrame(QPixmap newFrame);
    void onMousePressedFrameLabel();
    void onMouseMovedFrameLabel();
    void onMouseReleasedFrameLabel();
    void onOkFrameWidget();
    void onCancelFrameWidget();
    void navigate();
    void appendLog(QString line);

private:
    void readConfig();
    void createActions();
    void createToolBars();
    void createMenus();
    void createStatusPanel();
    void connectServer();
    void createFrameWindow();
    QGroupBox* createObjectPatchBox();
    QGroupBox* createRcControlBox();
    QGroupBox* createWaypointBox();

    TrackerConfig m_config;
    TCPClient* m_client = nullptr;
    TCPServer* m_server = nullptr;

    QToolBar* m_connectionToolBar = nullptr;
    QAction* m_startServerAction = nullptr;
    QAction* m_connectDeviceAction = nullptr;
    QAction* m_startCaptureAction = nullptr;
    QAction* m_startLiveTrackerAction = nullptr;
    QAction* m_rqstFrameAction = nullptr;
    QAction* m_rqstObjPatchAction = nullptr;

    LedIndicator* m_serverLamp = nullptr;
    QWidget* m_statusPanel = nullptr;
    LedIndicator* m_captureLamp = nullptr;
    LedIndicator* m_trackingLamp = nullptr;
    QLineEdit* m_xEdit = nullptr;
    QLineEdit* m_yEdit = nullptr;
    QLineEdit* m_zEdit = nullptr;
    QLineEdit* m_altitudeEdit = nullptr;
    QLabel* m_objPatchLabel = nullptr;

    QWidget* m_frameWindow = nullptr;
    ImageLabel* m_frameLabel = nullptr;
    QPixmap m_currentFrame;
    QPixmap m_currentPatch;
};
