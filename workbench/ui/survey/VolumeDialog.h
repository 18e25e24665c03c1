#pragma once

#include <QDialog>
#include <QVector>

#include "core/survey/VolumeTable.h"
#include "ui/survey/SurveyActions.h"

class QComboBox;
class QDoubleSpinBox;
class QPushButton;
class QTableWidget;

// "Volumes...": cut, fill and net volume within an outline (a context's or
// heap's record, or the outline being drawn) between two surveys, against a
// level, or above the plane of its rim; each measurement a row of the
// table, kept in its record on request, the table exported as CSV.
class VolumeDialog : public QDialog
{
    Q_OBJECT
public:
    VolumeDialog(SurveyActions* surveys, QWidget* parent = nullptr);

    QComboBox* outlineBox() const { return m_outline; }
    QComboBox* methodBox() const { return m_method; }
    QComboBox* surfaceBox() const { return m_surface; }
    QComboBox* earlierBox() const { return m_earlier; }
    QDoubleSpinBox* levelBox() const { return m_level; }
    QDoubleSpinBox* accuracyBox() const { return m_accuracy; }
    QTableWidget* table() const { return m_table; }
    const QVector<VolumeTable::Row>& rows() const { return m_rows; }

    // The buttons' work, without their dialogs; false with the message shown.
    bool measure();
    bool keepInRecord(int row);
    bool exportCsv(const QString& path);

private:
    void methodChanged();
    void outlineChanged();
    void said(const QString& text);

    SurveyActions* m_surveys;
    QVector<SurveyActions::Outline> m_outlines;
    QVector<SurveyActions::Outline> m_measured; // the outline of each row
    QVector<VolumeTable::Row> m_rows;
    QComboBox* m_outline;
    QComboBox* m_method;
    QComboBox* m_surface;
    QComboBox* m_earlier;
    QDoubleSpinBox* m_level;
    QDoubleSpinBox* m_accuracy;
    QTableWidget* m_table;
    QPushButton* m_keep;
};
