#include "ui/annotation/PointForm.h"

#include <QComboBox>
#include <QLineEdit>

#include "core/annotation/ServerPosition.h"

PointForm::PointForm(QWidget* parent) : AnnotationForm(parent)
{
    addHeadRows(QStringLiteral("10000"));
    m_dCode = addListRow(tr("d_code"));
    addPlaceRows();
    m_x = addTextRow(tr("x(m)"), QString(), maxCoordinateLength);
    m_y = addTextRow(tr("y(m)"), QString(), maxCoordinateLength);
    m_z = addTextRow(tr("z(m)"), QString(), maxCoordinateLength);
    addButtonRows(tr("&Get Coord"));
}

void PointForm::setValues(const AnnotationValues& values)
{
    AnnotationForm::setValues(values);
    dCodeList()->clear();
    dCodeList()->addItems(values.dCodes);
    dCodeList()->setCurrentIndex(values.dCodes.isEmpty() ? -1 : 0);
}

void PointForm::setPosition(const osg::Vec3d& position)
{
    m_x->setText(ServerPosition::formatCoordinate(position.x()));
    m_y->setText(ServerPosition::formatCoordinate(position.y()));
    m_z->setText(ServerPosition::formatCoordinate(position.z()));
}

AnnotationRecord PointForm::record() const
{
    AnnotationRecord r;
    r.type = QStringLiteral("Points");
    fillRecord(r);
    return r;
}
