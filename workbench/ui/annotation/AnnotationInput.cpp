#include "ui/annotation/AnnotationInput.h"

#include "core/log/LogLine.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QOpenGLWidget>
#include <QPushButton>
#include <QStandardItem>

#include <algorithm>
#include <iostream>

#include "core/annotation/LayerScene.h"
#include "ui/layers/LayerTree.h"
#include "ui/annotation/PointForm.h"
#include "ui/annotation/PolygonForm.h"
#include "core/annotation/ServerPosition.h"

AnnotationInput::AnnotationInput(PointForm* pointForm, PolygonForm* polygonForm, LayerTree* tree,
                                 LayerScene* scene, osg::ref_ptr<osg::Vec3dArray> vertices, QObject* parent)
    : QObject(parent), m_pointForm(pointForm), m_polygonForm(polygonForm), m_tree(tree), m_scene(scene),
      m_vertices(vertices ? vertices : osg::ref_ptr<osg::Vec3dArray>(new osg::Vec3dArray))
{
    connect(m_tree, &LayerTree::annotationLayerAdded, this, &AnnotationInput::onAnnotationLayerAdded);
}

void AnnotationInput::setApplicationFolder(const QString& appFolder)
{
    m_store.setApplicationFolder(appFolder);
    const AnnotationValues values = AnnotationValues::read(m_store.projectFolder());
    m_pointForm->setValues(values);
    m_polygonForm->setValues(values);
}

void AnnotationInput::focusView()
{
    if (!m_focusTarget)
        return;
    m_focusTarget->setFocus(Qt::OtherFocusReason);
    if (auto* surface = m_focusTarget->findChild<QOpenGLWidget*>())
        surface->setFocus(Qt::OtherFocusReason);
}

void AnnotationInput::setPointInput(bool on)
{
    m_pointInput = on;
    m_picker->setPointInput(on);
    if (!on)
        m_picker->removePointMarker();
    focusView();
}

void AnnotationInput::setPolygonInput(bool on)
{
    m_polygonInput = on;
    m_picker->setPolygonInput(on);
    if (!on)
        m_picker->removePolygonPreview();
    focusView();
}

void AnnotationInput::takePickForPoint()
{
    osg::Vec3d pick;
    if (m_picker->takeNewPick(pick))
        m_pointForm->setPosition(pick);
}

void AnnotationInput::takePickForPolygon()
{
    osg::Vec3d pick;
    if (!m_picker->takeNewPick(pick))
        return;
    addVertex(pick);
    focusView();
}

void AnnotationInput::addVertex(const osg::Vec3d& vertex)
{
    m_vertices->push_back(vertex);
    m_picker->extendPolygonPreview(vertex);
    m_polygonForm->addVertexRow(ServerPosition::vertexText({vertex.x(), vertex.y(), vertex.z()}));
}

void AnnotationInput::receivePosition(const osg::Vec3d& position)
{
    if (m_pointInput) {
        m_pointForm->setPosition(position);
        m_picker->movePointMarker(position);
    } else if (m_polygonInput) {
        addVertex(position);
    }
}

void AnnotationInput::presetFrom(LayerType::Code type, const AnnotationRecord& last)
{
    AnnotationForm* form =
        type == LayerType::Polygons ? static_cast<AnnotationForm*>(m_polygonForm) : m_pointForm;
    form->basketEdit()->setText(AnnotationStore::nextBasket(last.basket));
    m_store.setNextId(type, last.id + 1);
}

void AnnotationInput::onAnnotationLayerAdded(LayerType::Code type, const QString& name,
                                             const QVector<AnnotationRecord>& records)
{
    if (name == m_store.layerName(type) && !records.isEmpty())
        presetFrom(type, records.last());
}

void AnnotationInput::dateSet()
{
    const AnnotationStore::DayChoice choice =
        m_store.chooseDay(m_pointForm->dateEdit()->text(), m_polygonForm->dateEdit()->text());
    if (!choice.pointFormDate.isEmpty())
        m_pointForm->dateEdit()->setText(choice.pointFormDate);
    if (!choice.polygonFormDate.isEmpty())
        m_polygonForm->dateEdit()->setText(choice.polygonFormDate);
    if (!choice.changed)
        return;
    m_store.applyDay(choice);
    for (LayerType::Code type : {LayerType::Points, LayerType::Polygons}) {
        const bool points = type == LayerType::Points;
        const QString name = m_store.layerName(type);
        const LayerScene::LayerId id = dayLayer(type);
        if (id != LayerScene::noLayer) {
            const QVector<AnnotationRecord> records = m_scene->annotationRecords(id);
            if (records.isEmpty())
                m_store.setNextId(type, 0);
            else
                presetFrom(type, records.last());
            if (points)
                LogLine() << "Item loaded\n" << std::flush;
        } else if (QFileInfo(m_store.layerFile(name)).isFile()) {
            if (points)
                LogLine() << "Item Exist but Not Loaded\n" << std::flush;
            m_store.setNextId(type, 0);
            if (m_addLayer)
                m_addLayer(type, m_store.layerFile(name), name); // presets the form through the tree's signal
        } else {
            if (points)
                LogLine() << "Item Not Exist\n" << std::flush;
            m_store.setNextId(type, 0);
        }
    }
}

LayerScene::LayerId AnnotationInput::dayLayer(LayerType::Code type) const
{
    const QString name = m_store.layerName(type);
    if (name.isEmpty())
        return LayerScene::noLayer;
    // By its file first: the user may have renamed the layer in the tree.
    const LayerScene::LayerId byFile = m_tree->idOfFile(type, m_store.layerFile(name));
    return byFile != LayerScene::noLayer ? byFile : m_tree->idOf(type, name);
}

LayerScene::LayerId AnnotationInput::currentLayer(LayerType::Code type, bool create)
{
    const QString name = m_store.layerName(type);
    const LayerScene::LayerId id = dayLayer(type);
    if (id != LayerScene::noLayer || name.isEmpty())
        return id;
    // The day's file exists but its layer is not loaded (never loaded, or
    // removed from the tree): its finds must be read back, not overwritten.
    const QString file = m_store.layerFile(name);
    if (QFileInfo(file).isFile()) {
        if (m_addLayer)
            m_addLayer(type, file, name);
        return dayLayer(type);
    }
    if (!create)
        return LayerScene::noLayer;
    QStandardItem* item = m_tree->addLayerWithoutLoading(type, file, name, true, m_tree->projectRoot());
    const LayerScene::LayerId made = LayerTree::layerId(item);
    m_scene->addAnnotationLayer(made, type, true, m_store.applicationFolder());
    m_store.setNextId(type, 0);
    emit layerItemCreated(item);
    return made;
}

void AnnotationInput::stopInput(LayerType::Code type)
{
    AnnotationForm* form =
        type == LayerType::Polygons ? static_cast<AnnotationForm*>(m_polygonForm) : m_pointForm;
    if (form->toggleButton()->isChecked())
        form->toggleButton()->setChecked(false); // its toggled(false) stops the server
    else
        emit commandServerStopRequested(type);
    if (type == LayerType::Polygons)
        setPolygonInput(false);
    else
        setPointInput(false);
}

QString AnnotationInput::writeDayFile(LayerType::Code type, LayerScene::LayerId id)
{
    const QString name = m_store.layerName(type);
    QString error;
    if (m_store.writeLayer(type, name, m_scene->annotationRecords(id), &error))
        return QString();
    LogLine() << "Cannot write " << m_store.layerFile(name).toStdString() << ": " << error.toStdString()
              << std::endl;
    return tr("The day file %1 could not be written: %2\nThe previous file is kept as it was. The record "
              "stays in the "
              "layer and is written with the next record or with \"Save Edits\".")
        .arg(m_store.layerFile(name), error);
}

namespace
{

// Records typed before the date field lost focus still belong to that date.
bool dateChanged(const AnnotationStore& store, LayerType::Code type, const QString& date)
{
    const QString suffix =
        type == LayerType::Polygons ? AnnotationStore::polygonSuffix() : AnnotationStore::pointSuffix();
    return !date.isEmpty() && date + suffix != store.layerName(type);
}

} // namespace

AnnotationInput::Outcome AnnotationInput::recordPoint()
{
    AnnotationRecord record = m_pointForm->record();
    const QString positionError =
        AnnotationStore::positionError(m_pointForm->xEdit()->text(), m_pointForm->yEdit()->text(),
                                       m_pointForm->zEdit()->text(), &record.position);
    if (!positionError.isEmpty())
        return {false, positionError};
    if (dateChanged(m_store, LayerType::Points, record.date))
        dateSet();
    const QString dateError = AnnotationStore::dateError(record.date);
    if (!dateError.isEmpty())
        return {false, dateError};
    const LayerScene::LayerId id = currentLayer(LayerType::Points, true);
    if (id == LayerScene::noLayer)
        return {false, tr("The day layer %1 cannot be opened as a Points layer.")
                           .arg(m_store.layerName(LayerType::Points))};

    stopInput(LayerType::Points);
    const QVector<AnnotationRecord> existing = m_scene->annotationRecords(id);
    record.id = existing.isEmpty() ? m_store.nextId(LayerType::Points)
                                   : std::max(m_store.nextId(LayerType::Points), existing.last().id + 1);
    m_scene->appendAnnotation(id, record);
    const QString writeError = writeDayFile(LayerType::Points, id);
    m_tree->addRecordChild(m_tree->itemOf(id), LayerType::Points, record);

    m_pointForm->basketEdit()->setText(AnnotationStore::nextBasket(record.basket));
    m_store.setNextId(LayerType::Points, record.id + 1);
    m_pointForm->xEdit()->setText(QStringLiteral("0"));
    m_pointForm->yEdit()->setText(QStringLiteral("0"));
    m_pointForm->zEdit()->setText(QStringLiteral("0"));
    return {true, writeError};
}

AnnotationInput::Outcome AnnotationInput::recordPolygon()
{
    AnnotationRecord record = m_polygonForm->record();
    if (m_vertices->size() < 3)
        return {false, QStringLiteral("Spatial Data must have minimum 3 vertices!")};
    if (dateChanged(m_store, LayerType::Polygons, record.date))
        dateSet();
    const QString dateError = AnnotationStore::dateError(record.date);
    if (!dateError.isEmpty())
        return {false, dateError};
    const LayerScene::LayerId id = currentLayer(LayerType::Polygons, true);
    if (id == LayerScene::noLayer)
        return {false, tr("The day layer %1 cannot be opened as a Polygons layer.")
                           .arg(m_store.layerName(LayerType::Polygons))};

    stopInput(LayerType::Polygons);
    record.vertices = QVector<osg::Vec3d>(m_vertices->begin(), m_vertices->end());
    const QVector<AnnotationRecord> existing = m_scene->annotationRecords(id);
    record.id = existing.isEmpty() ? m_store.nextId(LayerType::Polygons)
                                   : std::max(m_store.nextId(LayerType::Polygons), existing.last().id + 1);
    m_scene->appendAnnotation(id, record);
    const QString writeError = writeDayFile(LayerType::Polygons, id);
    m_tree->addRecordChild(m_tree->itemOf(id), LayerType::Polygons, record);

    m_polygonForm->basketEdit()->setText(AnnotationStore::nextBasket(record.basket));
    m_store.setNextId(LayerType::Polygons, record.id + 1);
    const int rows = int(m_vertices->size());
    LogLine() << "Row Removal: " << rows << std::endl;
    m_polygonForm->removeVertexRows(rows);
    m_vertices->clear();
    return {true, writeError};
}
