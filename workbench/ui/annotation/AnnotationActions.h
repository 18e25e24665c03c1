#pragma once

#include <QObject>
#include <QString>

#include <osg/Array>
#include <osg/ref_ptr>

#include <memory>
#include <optional>

#include "core/annotation/ServerPosition.h"
#include "ui/annotation/AnnotationInput.h"
#include "ui/annotation/CommandServerSwitch.h"

class AnnotationForm;
class AnnotationPicker;
class LayerTree;
class OsgWidget;
class PointForm;
class PolygonForm;
class QTreeView;
class QWidget;
class TCPServer;

// What the "Points" and "Polygons" panels' buttons do: the annotation input
// (picks from the view, records into day layers whose items the tree shows
// expanded) and the command server that listens while either input is on,
// with the user told when it cannot.
class AnnotationActions : public QObject
{
    Q_OBJECT
public:
    // Message boxes open on window.
    AnnotationActions(QWidget* window, PointForm* pointForm, PolygonForm* polygonForm, LayerTree* layers,
                      QTreeView* view, OsgWidget* scene, osg::ref_ptr<osg::Vec3dArray> polygonVertices);
    ~AnnotationActions() override;

    AnnotationInput* input() const { return m_input; }
    TCPServer* commandServer() const { return m_server; }

    // The panels' input switches; off again (and the user told why) when the
    // server cannot listen.
    void setPointInput(bool on);
    void setPolygonInput(bool on);
    // "&Record": records and shows what came of it.
    void recordPoint();
    void recordPolygon();
    // A position line from the ground station; nothing (and a log line) when
    // it is not understood.
    std::optional<ServerPosition::Coordinates> parsePosition(const QString& text);

signals:
    void statusMessage(const QString& text, int timeoutMs);
    void logLine(const QString& line);

private:
    bool switchCommandServer(CommandServerSwitch::Input input, bool on, AnnotationForm* form);
    void showOutcome(const AnnotationInput::Outcome& outcome);
    void expandLayer(QStandardItem* item);

    QWidget* m_window;
    PointForm* m_pointForm;
    PolygonForm* m_polygonForm;
    LayerTree* m_layers;
    QTreeView* m_view;
    AnnotationInput* m_input;
    std::unique_ptr<AnnotationPicker> m_picker; // the view's picks for the annotation forms
    TCPServer* m_server;
    CommandServerSwitch* m_serverSwitch;
};
