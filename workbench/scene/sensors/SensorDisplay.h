#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

#include <osg/Group>
#include <osg/observer_ptr>
#include <osg/ref_ptr>

#include "core/sensors/SensorNode.h"

class DynamicPopup;
class QListWidget;
class SensorScene;
class StreamThread;
class comReader;

// The sensor network display of the 3D view, switched on and off as one:
// the serial reader, the stream thread, the sensor scene under the view's
// root and the popup handler. The stream's list entries go to the sensor
// list (the log view), replacing the previous frame's entries only; a
// reading it ignores is a warning to the LogSink.
class SensorDisplay : public QObject
{
    Q_OBJECT
public:
    // Marks the sensor list's rows that belong to the display.
    static constexpr int sensorItemRole = Qt::UserRole + 71;

    SensorDisplay(osg::Group* root, QListWidget* sensorList, const QString& applicationFolder,
                  const QString& portName, QObject* parent = nullptr);
    ~SensorDisplay() override;

    // "<application folder>/textures/smoke.rgb", drawn by the build.
    static QString smokeTexturePath(const QString& applicationFolder);

    // Builds the sensor scene on first use, opens the port and starts the
    // stream thread. When the port cannot be opened the display stays off,
    // failed() says why and the thread is not started.
    bool start();
    // Stops and joins the thread, closes the port and takes the sensor
    // scene out of the view.
    void stop();
    bool isRunning() const;

    // Smoke at node 2 on or off, whatever the readings say.
    void setSmoke(bool on);
    // Something moves by itself (the smoke) and needs frame after frame.
    bool isAnimating() const;

    SensorScene* scene() const { return m_scene.get(); }
    DynamicPopup* popupHandler() const { return m_popup.get(); }
    comReader* reader() const { return m_reader; }
    StreamThread* streamThread() const { return m_thread; }

signals:
    // A message box's title and text for the user.
    void failed(const QString& title, const QString& message);
    // After every start() and stop(), and when the device went away.
    void switched(bool on);
    // What the view shows changed; a new frame is due.
    void sceneChanged();

private slots:
    void showTexts(const QStringList& texts);
    void applyNodes(const QVector<SensorNode>& nodes, bool recoloured);
    void applySmoke(bool on);
    void logIgnored(const QString& text);
    void onConnectionLost();

private:
    void attach();
    void detach();

    osg::observer_ptr<osg::Group> m_root;
    QPointer<QListWidget> m_list;
    int m_listed = 0; // rows the last frame put in the list
    osg::ref_ptr<SensorScene> m_scene;
    osg::ref_ptr<DynamicPopup> m_popup;
    comReader* m_reader = nullptr;
    StreamThread* m_thread = nullptr;
};
