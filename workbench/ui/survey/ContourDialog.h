#pragma once

#include <QDialog>

#include "core/survey/ContourMaker.h"

class QComboBox;
class QDoubleSpinBox;

// The settings of "Contours...": which survey, the interval, how much the
// surface is smoothed for contouring and which small lines are left out.
class ContourDialog : public QDialog
{
    Q_OBJECT
public:
    // surveys: their labels; cell: the first survey's DSM cell, for the smoothing's default.
    ContourDialog(const QStringList& surveys, double cell, QWidget* parent = nullptr);

    int survey() const;
    ContourMaker::Settings settings() const;

    QDoubleSpinBox* intervalBox() const { return m_interval; }

private:
    QComboBox* m_survey;
    QDoubleSpinBox* m_interval;
    QDoubleSpinBox* m_smoothing;
    QDoubleSpinBox* m_minCells;
    QDoubleSpinBox* m_minRelief;
};
