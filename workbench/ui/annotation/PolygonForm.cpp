#include "ui/annotation/PolygonForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

PolygonForm::PolygonForm(QWidget* parent) : AnnotationForm(parent)
{
    addHeadRows(QStringLiteral("15000"));
    m_dCode = addListRow(tr("d_code"));
    m_dCode->addItems(perimeterCodes());
    m_locusDesc = addListRow(tr("locus_desc"));
    addPlaceRows();
    addButtonRows(tr("&Get Vertice"));
    m_firstVertexRow = nextRow();
}

QStringList PolygonForm::perimeterCodes()
{
    return {QStringLiteral("PS-PERIMETER_START"), QStringLiteral("PM-PERIMETER_MIDDLE"),
            QStringLiteral("PB-PERIMETER_BOTTOM")};
}

void PolygonForm::setValues(const AnnotationValues& values)
{
    AnnotationForm::setValues(values);
    m_locusDesc->clear();
    m_locusDesc->addItems(values.locusDescs);
    m_locusDesc->setCurrentIndex(values.locusDescs.isEmpty() ? -1 : 0);
}

AnnotationRecord PolygonForm::record() const
{
    AnnotationRecord r;
    r.type = QStringLiteral("Polygons");
    fillRecord(r);
    r.locusDesc = m_locusDesc->currentText();
    return r;
}

void PolygonForm::addVertexRow(const QString& text)
{
    const int row = m_firstVertexRow + m_vertexRows.size();
    VertexRow v{new QLabel(tr("Vertex"), this), new QLineEdit(text, this)};
    grid()->addWidget(v.label, row, 0);
    grid()->addWidget(v.edit, row, 1);
    m_vertexRows.append(v);
}

void PolygonForm::removeVertexRows(int count)
{
    for (int i = 0; i < count && !m_vertexRows.isEmpty(); ++i) {
        const VertexRow v = m_vertexRows.takeLast();
        grid()->removeWidget(v.label);
        grid()->removeWidget(v.edit);
        delete v.label;
        delete v.edit;
    }
}

QLineEdit* PolygonForm::vertexEdit(int i) const
{
    return i >= 0 && i < m_vertexRows.size() ? m_vertexRows[i].edit : nullptr;
}
