#include "ui/survey/ContourDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>

namespace
{

QDoubleSpinBox* spin(double value, double low, double high, int decimals, const QString& suffix)
{
    auto* box = new QDoubleSpinBox;
    box->setRange(low, high);
    box->setDecimals(decimals);
    box->setValue(value);
    box->setSuffix(suffix);
    return box;
}

} // namespace

ContourDialog::ContourDialog(const QStringList& surveys, double cell, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Contours"));
    m_survey = new QComboBox;
    m_survey->addItems(surveys);
    // Zero and intervals beyond the relief are refused with a message, not by the box.
    m_interval = spin(0.1, 0, 1000, 3, tr(" m"));
    m_smoothing = spin(2 * cell, 0, 100, 3, tr(" m"));
    m_minCells = spin(5, 0, 1000, 1, tr(" cells"));
    m_minRelief = spin(0.02, 0, 10, 3, tr(" m"));
    auto* form = new QFormLayout(this);
    form->addRow(tr("Elevation model"), m_survey);
    form->addRow(tr("Interval"), m_interval);
    form->addRow(tr("Smoothing (Gaussian)"), m_smoothing);
    form->addRow(tr("Leave out lines smaller than"), m_minCells);
    form->addRow(tr("Leave out small rings within"), m_minRelief);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

int ContourDialog::survey() const
{
    return m_survey->currentIndex();
}

ContourMaker::Settings ContourDialog::settings() const
{
    ContourMaker::Settings s;
    s.interval = m_interval->value();
    s.smoothing = m_smoothing->value();
    s.minCells = m_minCells->value();
    s.minRelief = m_minRelief->value();
    return s;
}
