#include "ui/annotation/AdjustmentSettingsDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "core/io/NumberString.h"

AdjustmentSettingsDialog::AdjustmentSettingsDialog(const AdjustmentDefaults& defaults, QWidget* parent)
    : QDialog(parent), m_problem(new QLabel(this)), m_defaults(defaults)
{
    setWindowTitle(tr("Adjustment Settings"));
    auto* form = new QFormLayout;
    const QString labels[FieldCount] = {
        tr("Control points, horizontal (m):"), tr("Control points, vertical (m):"),
        tr("GPS positions, horizontal (m):"), tr("GPS positions, vertical (m):")};
    const double values[FieldCount] = {defaults.controlHorizontal, defaults.controlVertical,
                                       defaults.gpsHorizontal, defaults.gpsVertical};
    for (int f = 0; f < FieldCount; ++f) {
        m_fields[f] = new QLineEdit(NumberString::shortest(values[f]), this);
        form->addRow(labels[f], m_fields[f]);
    }
    m_fields[GpsHorizontal]->setToolTip(
        tr("For photos whose EXIF says nothing of their fix; RTK photos keep what their EXIF says"));
    m_problem->setStyleSheet(QStringLiteral("color: #b00000"));
    m_problem->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &AdjustmentSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Standard deviations of what carries none of its own:"), this));
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
}

QString AdjustmentSettingsDialog::problem() const
{
    return m_problem->text();
}

void AdjustmentSettingsDialog::accept()
{
    const QString names[FieldCount] = {tr("Control points, horizontal"), tr("Control points, vertical"),
                                       tr("GPS positions, horizontal"), tr("GPS positions, vertical")};
    double values[FieldCount] = {};
    for (int f = 0; f < FieldCount; ++f) {
        const QString problem = AdjustmentDefaults::problem(m_fields[f]->text(), names[f], &values[f]);
        if (!problem.isEmpty()) {
            m_problem->setText(problem);
            m_fields[f]->setFocus();
            m_fields[f]->selectAll();
            return;
        }
    }
    m_problem->clear();
    m_defaults.controlHorizontal = values[ControlHorizontal];
    m_defaults.controlVertical = values[ControlVertical];
    m_defaults.gpsHorizontal = values[GpsHorizontal];
    m_defaults.gpsVertical = values[GpsVertical];
    QDialog::accept();
}
