#pragma once

#include <QWidget>

class QTableWidget;

// Two ground control points typed in by the operator (X, Y, Z each).
class GeoRef : public QWidget
{
    Q_OBJECT
public:
    explicit GeoRef(QWidget* parent = nullptr);

    QTableWidget* table() const { return m_table; }

    // The two log lines with the points as typed and the distance line.
    QStringList measurementLines() const;

private:
    QTableWidget* m_table;
};
