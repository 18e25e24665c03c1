#pragma once

#include <QHash>
#include <QString>
#include <QVector>

#include <osg/Group>
#include <osg/ref_ptr>

#include <vector>

#include "core/annotation/AnnotationRecord.h"
#include "core/formats/LayerType.h"

// One annotation layer in the scene: its records, in order, and their nodes
// under one group. The layer remembers whether its labels are shown, so
// records added later follow the same state.
class AnnotationLayer
{
public:
    AnnotationLayer(LayerType::Code type, const QString& appFolder);

    LayerType::Code type() const { return m_type; }
    osg::Group* group() const { return m_group.get(); }
    const QVector<AnnotationRecord>& records() const { return m_records; }
    void addRecord(const AnnotationRecord& record);
    // The volume measured within outline index; false for an index out of range.
    bool setVolume(int index, const RecordVolume& volume);

    bool labelsShown() const { return m_labelsShown; }
    void toggleLabels();
    void setVisible(bool visible);
    bool isVisible() const;
    // The label node of record i (for tests and tools); null when out of range.
    osg::Node* labelNode(int i) const;

private:
    LayerType::Code m_type;
    QString m_appFolder;
    osg::ref_ptr<osg::Group> m_group;
    QVector<AnnotationRecord> m_records;
    std::vector<osg::ref_ptr<osg::Node>> m_labels;
    QHash<QString, osg::ref_ptr<osg::StateSet>> m_icons; // by icon file, shared by the layer's finds
    bool m_labelsShown = true;
};
