#pragma once

#include "ui/annotation/AnnotationForm.h"

#include <QList>

class QLabel;
class QLineEdit;

// The "Polygons" panel: the attributes of one locus outline, and below the
// buttons one "Vertex" row per position taken so far.
class PolygonForm : public AnnotationForm
{
    Q_OBJECT
public:
    explicit PolygonForm(QWidget* parent = nullptr);

    QComboBox* locusDescList() const { return m_locusDesc; }

    void setValues(const AnnotationValues& values) override;
    // A record of type "Polygons" from the attribute fields (no vertices).
    AnnotationRecord record() const;

    void addVertexRow(const QString& text);
    // Removes up to count rows from the bottom.
    void removeVertexRows(int count);
    int vertexRowCount() const { return m_vertexRows.size(); }
    QLineEdit* vertexEdit(int i) const;

    static QStringList perimeterCodes();

private:
    struct VertexRow {
        QLabel* label;
        QLineEdit* edit;
    };

    QComboBox* m_locusDesc;
    int m_firstVertexRow = 0;
    QList<VertexRow> m_vertexRows;
};
