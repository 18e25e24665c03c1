#pragma once

#include <QVector>
#include <QWidget>

#include "core/georef/ControlPoint.h"

class QAction;
class QLabel;
class QTableWidget;

// The ground control points of the project: one row each with its surveyed
// X, Y, Z, its name, whether it is a check point (compared after the fit,
// not fitted to), its residual after the last fit and how many photos show
// it. The photos' observations travel with their row. The first two rows
// are also the two points whose distance "&SelectCoordinate" reports.
class GeoRef : public QWidget
{
    Q_OBJECT
public:
    enum Column { X, Y, Z, Name, Check, Residual, Photos, ColumnCount };

    explicit GeoRef(QWidget* parent = nullptr);

    QTableWidget* table() const { return m_table; }
    QAction* addAction() const { return m_add; }
    QAction* removeAction() const { return m_remove; }
    QAction* pickAction() const { return m_pick; }
    QAction* importAction() const { return m_import; }
    QAction* fitAction() const { return m_fit; }

    // The two log lines with the points as typed and the distance line.
    QStringList measurementLines() const;

    // Every named row as a control point (a coordinate that is not a number
    // reads as 0); rows, when given, gets the row of each.
    QVector<ControlPoint> controlPoints(QVector<int>* rows = nullptr) const;
    // Replaces the table by these points (at least the two rows of the
    // measurement stay).
    void setControlPoints(const QVector<ControlPoint>& points, const QString& referenceSystem);
    void setResidual(int row, double metres);

    // The reference system the coordinates are in, as the control file named it.
    QString referenceSystem() const { return m_system; }

    // Adds a photo's observation to a row (replacing an earlier one in the
    // same photo); a row without a name gets one. The number of photos then.
    int addObservation(int row, const ControlObservation& observation);
    QVector<ControlObservation> observations(int row) const;

    // Appends an empty point ("0" coordinates, a fresh name) and selects it.
    int addPoint();
    void removeCurrentPoint();

private:
    void fillRow(int row);
    void setObservations(int row, const QVector<ControlObservation>& observations);

    QTableWidget* m_table;
    QLabel* m_systemLabel;
    QAction* m_add;
    QAction* m_remove;
    QAction* m_pick;
    QAction* m_import;
    QAction* m_fit;
    QString m_system;
};
