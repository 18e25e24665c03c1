#pragma once

#include <QDialog>

#include "core/georef/AdjustmentDefaults.h"

class QLabel;
class QLineEdit;

// "Adjustment Settings": the standard deviations, in metres, of the control
// points and of the photos' GPS positions that carry none of their own. An
// entry that is not a number above zero keeps the dialog open and says which.
class AdjustmentSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    enum Field { ControlHorizontal, ControlVertical, GpsHorizontal, GpsVertical, FieldCount };

    explicit AdjustmentSettingsDialog(const AdjustmentDefaults& defaults, QWidget* parent = nullptr);

    QLineEdit* field(Field f) const { return m_fields[f]; }
    // The values as accepted.
    AdjustmentDefaults defaults() const { return m_defaults; }
    // What the last refused entry was told; empty when none was refused.
    QString problem() const;

public slots:
    void accept() override;

private:
    QLineEdit* m_fields[FieldCount];
    QLabel* m_problem;
    AdjustmentDefaults m_defaults;
};
