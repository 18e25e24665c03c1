#include "scene/annotation/AnnotationScene.h"

#include "core/log/LogLine.h"

#include <QFileInfo>

#include <iostream>

#include "core/annotation/KmlReader.h"
#include "core/annotation/KmlWriter.h"

std::vector<std::unique_ptr<AnnotationLayer>>* AnnotationScene::list(LayerType::Code type)
{
    if (type == LayerType::Points)
        return &m_points;
    if (type == LayerType::Polygons)
        return &m_polygons;
    return nullptr;
}

const std::vector<std::unique_ptr<AnnotationLayer>>* AnnotationScene::list(LayerType::Code type) const
{
    return const_cast<AnnotationScene*>(this)->list(type);
}

AnnotationLayer* AnnotationScene::loadLayer(LayerType::Code type, const QString& file, bool visible,
                                            const QString& appFolder, QString* error)
{
    if (!list(type)) {
        if (error)
            *error = file + QStringLiteral(": not an annotation layer");
        return nullptr;
    }
    const KmlReader::Result read = KmlReader::readFile(file, type);
    QString problem;
    if (!read.error.isEmpty())
        problem = file + QStringLiteral(": ") + read.error;
    if (read.records.isEmpty()) {
        if (problem.isEmpty() && read.skipped > 0)
            problem = file + QStringLiteral(": none of its %1 placemarks is a %2 record")
                                 .arg(read.skipped)
                                 .arg(type == LayerType::Points ? QStringLiteral("point")
                                                                : QStringLiteral("polygon"));
        else if (problem.isEmpty())
            problem = file + QStringLiteral(": the file holds no placemarks");
    }
    if (!problem.isEmpty())
        LogLine() << problem.toStdString() << std::endl;
    if (error)
        *error = problem;
    if (read.records.isEmpty())
        return nullptr;
    AnnotationLayer* target = createLayer(type, visible, appFolder);
    for (const AnnotationRecord& record : read.records)
        target->addRecord(record);
    return target;
}

AnnotationLayer* AnnotationScene::createLayer(LayerType::Code type, bool visible, const QString& appFolder)
{
    auto* layers = list(type);
    if (!layers)
        return nullptr;
    layers->push_back(std::make_unique<AnnotationLayer>(type, appFolder));
    AnnotationLayer* added = layers->back().get();
    added->setVisible(visible);
    m_root->addChild(added->group());
    return added;
}

int AnnotationScene::addLayer(LayerType::Code type, bool visible, const QString& appFolder)
{
    return indexOf(createLayer(type, visible, appFolder));
}

void AnnotationScene::append(LayerType::Code type, int index, const AnnotationRecord& record)
{
    if (AnnotationLayer* target = layer(type, index))
        target->addRecord(record);
}

AnnotationLayer* AnnotationScene::layer(LayerType::Code type, int index) const
{
    const auto* layers = list(type);
    if (!layers || index < 0 || index >= int(layers->size()))
        return nullptr;
    return (*layers)[size_t(index)].get();
}

int AnnotationScene::indexOf(const AnnotationLayer* target) const
{
    const auto* layers = target ? list(target->type()) : nullptr;
    if (!layers)
        return -1;
    for (size_t i = 0; i < layers->size(); ++i)
        if ((*layers)[i].get() == target)
            return int(i);
    return -1;
}

int AnnotationScene::count(LayerType::Code type) const
{
    const auto* layers = list(type);
    return layers ? int(layers->size()) : 0;
}

void AnnotationScene::setVisible(LayerType::Code type, int index, bool visible)
{
    if (AnnotationLayer* target = layer(type, index))
        target->setVisible(visible);
}

void AnnotationScene::toggleLabels(LayerType::Code type, int index)
{
    if (AnnotationLayer* target = layer(type, index))
        target->toggleLabels();
}

void AnnotationScene::remove(LayerType::Code type, int index)
{
    AnnotationLayer* target = layer(type, index);
    if (!target)
        return;
    target->setVisible(false);
    m_root->removeChild(target->group());
    auto* layers = list(type);
    layers->erase(layers->begin() + index);
}

void AnnotationScene::remove(AnnotationLayer* target)
{
    const int index = indexOf(target);
    if (index >= 0)
        remove(target->type(), index);
}

bool AnnotationScene::save(const AnnotationLayer* source, const QString& file, QString* error)
{
    if (!source) {
        if (error)
            *error = QStringLiteral("There is no such layer to save.");
        return false;
    }
    if (source->records().isEmpty()) {
        if (error)
            *error = QStringLiteral("The layer holds no records; %1 is left as it is.").arg(file);
        return false;
    }
    return KmlWriter::writeFile(file, source->type(), QFileInfo(file).fileName(), source->records(), error);
}

bool AnnotationScene::save(LayerType::Code type, const QString& file, int index, QString* error) const
{
    return save(layer(type, index), file, error);
}
