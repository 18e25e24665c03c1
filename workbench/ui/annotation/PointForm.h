#pragma once

#include "ui/annotation/AnnotationForm.h"

#include <osg/Vec3d>

class QLineEdit;

// The "Points" panel: the attributes of one find and its x, y, z.
class PointForm : public AnnotationForm
{
    Q_OBJECT
public:
    explicit PointForm(QWidget* parent = nullptr);

    QLineEdit* xEdit() const { return m_x; }
    QLineEdit* yEdit() const { return m_y; }
    QLineEdit* zEdit() const { return m_z; }

    void setValues(const AnnotationValues& values) override;
    // Writes a position with every digit it holds (the shortest text that
    // reads back as the same double).
    void setPosition(const osg::Vec3d& position);
    // A record of type "Points" from the attribute fields (no position).
    AnnotationRecord record() const;

private:
    QLineEdit* m_x;
    QLineEdit* m_y;
    QLineEdit* m_z;
};
