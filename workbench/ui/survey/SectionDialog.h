#pragma once

#include <QDialog>
#include <QPointF>

#include "core/survey/SectionProfile.h"

class QDoubleSpinBox;
class QLineEdit;
class SurveyActions;

namespace QtCharts
{
class QChartView;
}

// "Section...": a line from two picks in the 3D view (Ctrl and a click,
// then "Take Pick") or typed in, the profile of every survey's elevation
// model and of the visible clouds' points within a corridor along it, drawn
// as a chart of height over distance (one line per survey date), and
// exported as CSV and as DXF for the section drawing.
class SectionDialog : public QDialog
{
    Q_OBJECT
public:
    SectionDialog(SurveyActions* surveys, QWidget* parent = nullptr);
    ~SectionDialog() override;

    QLineEdit* startEdit() const { return m_start; }
    QLineEdit* endEdit() const { return m_end; }
    QDoubleSpinBox* widthBox() const { return m_width; }
    QtCharts::QChartView* chartView() const { return m_chart; }
    const SectionProfile& profile() const { return m_profile; }

    // "x y" in survey coordinates; false for text that is not two numbers.
    static bool parsePoint(const QString& text, QPointF& out);
    // The buttons' work without their file dialogs; false with the message shown.
    bool draw();
    bool exportCsv(const QString& path);
    bool exportDxf(const QString& path);

private:
    void takePick(QLineEdit* edit);
    void said(const QString& text);

    SurveyActions* m_surveys;
    SectionProfile m_profile;
    QLineEdit* m_start;
    QLineEdit* m_end;
    QDoubleSpinBox* m_width;
    QtCharts::QChartView* m_chart;
};
