#include "scene/annotation/AnnotationLayer.h"

#include "scene/annotation/AnnotationNodes.h"
#include "core/annotation/DCodeIcon.h"

namespace
{
constexpr osg::Node::NodeMask hiddenMask = 0x0;
constexpr osg::Node::NodeMask shownMask = ~0x0u;
} // namespace

AnnotationLayer::AnnotationLayer(LayerType::Code type, const QString& appFolder)
    : m_type(type), m_appFolder(appFolder), m_group(new osg::Group)
{
}

bool AnnotationLayer::setVolume(int index, const RecordVolume& volume)
{
    if (index < 0 || index >= m_records.size())
        return false;
    m_records[index].volume = volume;
    return true;
}

void AnnotationLayer::addRecord(const AnnotationRecord& record)
{
    AnnotationNodes::Built built;
    if (m_type == LayerType::Polygons) {
        built = AnnotationNodes::polygonNode(record);
    } else {
        const QString icon = DCodeIcon::path(m_appFolder, record.dCode);
        auto cached = m_icons.find(icon);
        if (cached == m_icons.end())
            cached = m_icons.insert(icon, AnnotationNodes::iconStateSet(icon));
        built = AnnotationNodes::pointNode(record, cached->get());
    }
    built.label->setNodeMask(m_labelsShown ? shownMask : hiddenMask);
    m_group->addChild(built.node.get());
    m_labels.push_back(built.label);
    m_records.append(record);
}

void AnnotationLayer::toggleLabels()
{
    m_labelsShown = !m_labelsShown;
    for (auto& label : m_labels)
        label->setNodeMask(m_labelsShown ? shownMask : hiddenMask);
}

void AnnotationLayer::setVisible(bool visible)
{
    m_group->setNodeMask(visible ? shownMask : hiddenMask);
}

bool AnnotationLayer::isVisible() const
{
    return m_group->getNodeMask() != hiddenMask;
}

osg::Node* AnnotationLayer::labelNode(int i) const
{
    return i >= 0 && i < int(m_labels.size()) ? m_labels[size_t(i)].get() : nullptr;
}
