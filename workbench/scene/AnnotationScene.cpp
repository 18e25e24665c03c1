#include "AnnotationScene.h"

#include <QFileInfo>

#include <iostream>

#include "KmlReader.h"
#include "KmlWriter.h"

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

QVector<AnnotationRecord> AnnotationScene::load(LayerType::Code type, const QString& file, bool visible,
                                                const QString& appFolder, QString* error)
{
    const int index = addLayer(type, visible, appFolder);
    if (index < 0)
        return {};
    const KmlReader::Result read = KmlReader::readFile(file, type);
    if (!read.error.isEmpty())
        std::cout << file.toStdString() << ": " << read.error.toStdString() << std::endl;
    if (error)
        *error = read.error;
    AnnotationLayer* target = layer(type, index);
    for (const AnnotationRecord& record : read.records)
        target->addRecord(record);
    return read.records;
}

int AnnotationScene::addLayer(LayerType::Code type, bool visible, const QString& appFolder)
{
    auto* layers = list(type);
    if (!layers)
        return -1;
    layers->push_back(std::make_unique<AnnotationLayer>(type, appFolder));
    AnnotationLayer* added = layers->back().get();
    added->setVisible(visible);
    m_root->addChild(added->group());
    return int(layers->size()) - 1;
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

bool AnnotationScene::save(LayerType::Code type, const QString& file, int index, QString* error) const
{
    const AnnotationLayer* source = layer(type, index);
    if (!source) {
        if (error)
            *error = QStringLiteral("There is no layer %1 to save.").arg(index);
        return false;
    }
    return KmlWriter::writeFile(file, type, QFileInfo(file).fileName(), source->records(), error);
}
