#include "ui/annotation/AnnotationActions.h"

#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardItem>
#include <QTreeView>

#include "core/net/TCPServer.h"
#include "scene/interaction/ControllerPicker.h"
#include "scene/view/OsgWidget.h"
#include "ui/annotation/PointForm.h"
#include "ui/annotation/PolygonForm.h"
#include "ui/layers/LayerTree.h"

AnnotationActions::AnnotationActions(QWidget* window, PointForm* pointForm, PolygonForm* polygonForm,
                                     LayerTree* layers, QTreeView* view, OsgWidget* scene,
                                     osg::ref_ptr<osg::Vec3dArray> polygonVertices)
    : QObject(window), m_window(window), m_pointForm(pointForm), m_polygonForm(polygonForm), m_layers(layers),
      m_view(view),
      m_input(new AnnotationInput(pointForm, polygonForm, layers, scene, polygonVertices, this)),
      m_picker(std::make_unique<ControllerPicker>(scene->mapController())), m_server(new TCPServer(this)),
      m_serverSwitch(new CommandServerSwitch(m_server, this))
{
    m_input->setFocusTarget(scene);
    m_input->setPicker(m_picker.get());
    m_input->setLayerAdder([this](LayerType::Code type, const QString& file, const QString& name) {
        QString error;
        QStandardItem* item =
            m_layers->addLayerOfType(type, file, name, true, m_layers->projectRoot(), &error);
        if (!error.isEmpty())
            emit logLine(tr("Layer %1: %2").arg(name, error));
        expandLayer(item);
        return item;
    });
    connect(m_input, &AnnotationInput::layerItemCreated, this, &AnnotationActions::expandLayer);

    // Listens only while point or polygon input is switched on.
    connect(m_server, &TCPServer::logLine, this, &AnnotationActions::logLine);
    connect(m_input, &AnnotationInput::commandServerStopRequested, m_serverSwitch,
            [this](LayerType::Code type) {
                m_serverSwitch->setWanted(type == LayerType::Polygons ? CommandServerSwitch::PolygonInput
                                                                      : CommandServerSwitch::PointInput,
                                          false);
            });
}

AnnotationActions::~AnnotationActions()
{
    // The forms outlive the picker during destruction; let the input forget it first.
    m_input->setPicker(nullptr);
}

void AnnotationActions::expandLayer(QStandardItem* item)
{
    if (!item)
        return;
    m_view->expand(item->index());
    m_view->expand(m_layers->projectRoot()->index());
}

void AnnotationActions::setPointInput(bool on)
{
    if (switchCommandServer(CommandServerSwitch::PointInput, on, m_pointForm))
        m_input->setPointInput(on);
}

void AnnotationActions::setPolygonInput(bool on)
{
    if (switchCommandServer(CommandServerSwitch::PolygonInput, on, m_polygonForm))
        m_input->setPolygonInput(on);
}

bool AnnotationActions::switchCommandServer(CommandServerSwitch::Input input, bool on, AnnotationForm* form)
{
    QString error;
    if (m_serverSwitch->setWanted(input, on, &error))
        return true;
    {
        const QSignalBlocker blocker(form->toggleButton());
        form->toggleButton()->setChecked(false);
    }
    emit logLine(error);
    emit statusMessage(tr("Command server not started: %1").arg(m_server->errorString()), 5000);
    QMessageBox::warning(m_window, tr("Command Server"),
                         error + tr("\nInput from the ground station stays off until the port is free."));
    return false;
}

std::optional<ServerPosition::Coordinates> AnnotationActions::parsePosition(const QString& text)
{
    const std::optional<ServerPosition::Coordinates> position = ServerPosition::parse(text);
    if (!position)
        emit logLine(tr("Position from the ground station not understood: %1").arg(text));
    return position;
}

void AnnotationActions::recordPoint()
{
    showOutcome(m_input->recordPoint());
}

void AnnotationActions::recordPolygon()
{
    showOutcome(m_input->recordPolygon());
}

void AnnotationActions::showOutcome(const AnnotationInput::Outcome& outcome)
{
    if (outcome.message.isEmpty())
        return;
    if (outcome.recorded)
        emit logLine(outcome.message);
    QMessageBox box(m_window);
    box.setIcon(outcome.recorded ? QMessageBox::Warning : QMessageBox::NoIcon);
    box.setText(outcome.message);
    box.exec();
}
