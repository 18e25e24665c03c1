#pragma once

#include <QVector>
#include <QWidget>

#include "core/georef/AdjustmentDefaults.h"
#include "core/georef/ControlPoint.h"

class QAction;
class QLabel;
class QTableWidget;
class QTimer;
class TargetCandidates;

// The ground control points of the project: one row each with its surveyed
// X, Y, Z, its name, whether it is a check point (compared after the fit,
// not fitted to), the figures of the last fit (the residual, per axis and in
// pixels of its photos), how many photos show it and its own standard
// deviations (empty: the project's default for control points). The photos'
// observations travel with their row. The first two rows are also the two
// points whose distance "&SelectCoordinate" reports.
class GeoRef : public QWidget
{
    Q_OBJECT
public:
    enum Column { X, Y, Z, Name, Check, Residual, DX, DY, DZ, Pixels, Photos, SigmaH, SigmaV, ColumnCount };

    explicit GeoRef(QWidget* parent = nullptr);

    // Wide enough for every column of survey coordinates, high enough for several points.
    QSize sizeHint() const override;

    QTableWidget* table() const { return m_table; }
    QAction* addAction() const { return m_add; }
    QAction* removeAction() const { return m_remove; }
    QAction* pickAction() const { return m_pick; }
    QAction* importAction() const { return m_import; }
    QAction* fitAction() const { return m_fit; }
    // The targets found in the photos, waiting to become observations.
    TargetCandidates* targetCandidates() const { return m_targets; }
    QAction* settingsAction() const { return m_settings; }

    // The standard deviations of control points and GPS positions that
    // carry none of their own; kept in the project with the points.
    AdjustmentDefaults adjustmentDefaults() const { return m_defaults; }
    void setAdjustmentDefaults(const AdjustmentDefaults& defaults);

    // The two log lines with the points as typed and the distance line.
    QStringList measurementLines() const;

    // Every named row as a control point (a coordinate that is not a number
    // reads as 0) with its fit figures; rows, when given, gets the row of each.
    QVector<ControlPoint> controlPoints(QVector<int>* rows = nullptr) const;
    // Replaces the table by these points (at least the two rows of the
    // measurement stay).
    void setControlPoints(const QVector<ControlPoint>& points, const QString& referenceSystem);
    // Puts each point into the row of its name, or a new row (an empty row
    // first): the rows of other names and the unnamed rows stay.
    void updatePoints(const QVector<ControlPoint>& points);
    void setReferenceSystem(const QString& referenceSystem);
    // The fit figures of the point (NaN ones clear the cells).
    void setFit(int row, const ControlPoint& figures);

    // The reference system the coordinates are in, as the control file named it.
    QString referenceSystem() const { return m_system; }

    // The name of the selected row, empty when none is selected.
    QString currentName() const;

    // Adds a photo's observation to a row (replacing an earlier one in the
    // same photo); a row without a name gets one. The number of photos then.
    int addObservation(int row, const ControlObservation& observation);
    QVector<ControlObservation> observations(int row) const;

    // Appends an empty point ("0" coordinates, a fresh name) and selects it.
    int addPoint();
    void removeCurrentPoint();

    // "GCP" and the first number no row's name has.
    QString freshName() const;

signals:
    // The points, their photos or the selection changed (once per event loop turn).
    void pointsChanged();
    // A typed name or standard deviation was not taken, with the reason.
    void nameRefused(const QString& text);

private:
    void fillRow(int row);
    void setObservations(int row, const QVector<ControlObservation>& observations);
    void fillPoint(int row, const ControlPoint& p);
    void nameEdited(int row);
    void sigmaEdited(int row, int column);
    void setSigma(int row, int column, double sigma);

    QTableWidget* m_table;
    QLabel* m_systemLabel;
    QAction* m_add;
    QAction* m_remove;
    QAction* m_pick;
    QAction* m_import;
    QAction* m_fit;
    TargetCandidates* m_targets;
    QAction* m_settings;
    AdjustmentDefaults m_defaults;
    QTimer* m_changed;
    QString m_system;
    bool m_filling = false;
};
