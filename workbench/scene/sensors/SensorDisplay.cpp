#include "scene/sensors/SensorDisplay.h"

#include "core/log/LogSink.h"

#include "scene/sensors/DynamicPopup.h"
#include "core/sensors/SensorNetwork.h"
#include "scene/sensors/SensorScene.h"
#include "core/sensors/StreamThread.h"
#include "core/sensors/comReader.h"

#include <QFile>
#include <QListWidget>

SensorDisplay::SensorDisplay(osg::Group* root, QListWidget* sensorList, const QString& applicationFolder,
                             const QString& portName, QObject* parent)
    : QObject(parent), m_root(root), m_list(sensorList),
      m_scene(new SensorScene(QFile::encodeName(smokeTexturePath(applicationFolder)).toStdString())),
      m_popup(new DynamicPopup(m_scene.get())), m_reader(new comReader(portName, this)),
      m_thread(new StreamThread(m_reader->buffer(), this))
{
    m_scene->setChangedCallback([this] { emit sceneChanged(); });
    connect(m_reader, &comReader::failed, this, &SensorDisplay::failed);
    connect(m_reader, &comReader::connectionLost, this, &SensorDisplay::onConnectionLost);
    // The thread emits from its own loop: these arrive queued, in order.
    connect(m_thread, &StreamThread::sensorTexts, this, &SensorDisplay::showTexts, Qt::QueuedConnection);
    connect(m_thread, &StreamThread::nodesChanged, this, &SensorDisplay::applyNodes, Qt::QueuedConnection);
    connect(m_thread, &StreamThread::smokeChanged, this, &SensorDisplay::applySmoke, Qt::QueuedConnection);
    connect(m_thread, &StreamThread::readingIgnored, this, &SensorDisplay::logIgnored, Qt::QueuedConnection);
}

SensorDisplay::~SensorDisplay()
{
    // The thread reads the reader's buffer: it goes first.
    delete m_thread;
    m_thread = nullptr;
    delete m_reader;
    m_reader = nullptr;
    m_scene->setChangedCallback({});
    detach();
}

QString SensorDisplay::smokeTexturePath(const QString& applicationFolder)
{
    return applicationFolder + QStringLiteral("/textures/smoke.rgb");
}

bool SensorDisplay::isRunning() const
{
    return m_thread->streaming();
}

bool SensorDisplay::start()
{
    if (!isRunning()) {
        m_scene->build();
        if (!m_reader->open()) {
            emit switched(false);
            return false;
        }
        attach();
        m_thread->startStream();
    }
    emit switched(true);
    return true;
}

void SensorDisplay::stop()
{
    m_thread->stopStream();
    m_reader->close();
    m_scene->hidePopup();
    detach();
    emit switched(false);
}

void SensorDisplay::onConnectionLost()
{
    stop();
}

void SensorDisplay::attach()
{
    osg::ref_ptr<osg::Group> root;
    if (m_root.lock(root) && !root->containsNode(m_scene->group())) {
        root->addChild(m_scene->group());
        emit sceneChanged();
    }
}

void SensorDisplay::detach()
{
    osg::ref_ptr<osg::Group> root;
    if (m_root.lock(root) && root->containsNode(m_scene->group())) {
        root->removeChild(m_scene->group());
        emit sceneChanged();
    }
}

void SensorDisplay::setSmoke(bool on)
{
    m_scene->build();
    if (on)
        m_scene->startSmoke(SensorNetwork::smokeNode);
    else
        m_scene->stopSmoke();
}

bool SensorDisplay::isAnimating() const
{
    return m_scene->smokeRunning() && m_scene->group()->getNumParents() > 0;
}

void SensorDisplay::showTexts(const QStringList& texts)
{
    if (!m_list)
        return;
    // The list is the log view too: only the previous frame's rows go.
    int left = m_listed;
    for (int row = m_list->count() - 1; row >= 0 && left > 0; --row) {
        if (m_list->item(row)->data(sensorItemRole).toBool()) {
            delete m_list->takeItem(row);
            --left;
        }
    }
    for (const QString& text : texts) {
        auto* item = new QListWidgetItem(text);
        item->setData(sensorItemRole, true);
        m_list->addItem(item);
    }
    m_listed = texts.size();
}

void SensorDisplay::logIgnored(const QString& text)
{
    // A log line, not an entry of the frame: the next frame does not replace it.
    LogSink::write(LogLevel::Warning, text);
}

void SensorDisplay::applyNodes(const QVector<SensorNode>& nodes, bool)
{
    m_scene->setNodes(nodes);
}

void SensorDisplay::applySmoke(bool on)
{
    setSmoke(on);
}
