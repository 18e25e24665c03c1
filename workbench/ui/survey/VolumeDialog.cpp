#include "ui/survey/VolumeDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/io/NumberString.h"
#include "scene/view/OsgWidget.h"

#include <cmath>

VolumeDialog::VolumeDialog(SurveyActions* surveys, QWidget* parent) : QDialog(parent), m_surveys(surveys)
{
    setWindowTitle(tr("Volumes"));
    m_outline = new QComboBox;
    m_outlines = surveys->outlines();
    for (const SurveyActions::Outline& o : m_outlines)
        m_outline->addItem(o.label);
    m_method = new QComboBox;
    for (auto m : {VolumeCalculator::Method::TwoSurveys, VolumeCalculator::Method::Plane,
                   VolumeCalculator::Method::RimBase})
        m_method->addItem(VolumeCalculator::methodName(m), int(m));
    m_surface = new QComboBox;
    m_earlier = new QComboBox;
    const QVector<SiteSurvey> list = surveys->surveys();
    for (const SiteSurvey& s : list) {
        m_surface->addItem(s.label());
        m_earlier->addItem(s.label());
    }
    m_surface->setCurrentIndex(list.size() - 1);
    m_earlier->setCurrentIndex(std::max(0, int(list.size()) - 2));
    m_level = new QDoubleSpinBox;
    m_level->setRange(-20000, 20000);
    m_level->setDecimals(3);
    m_level->setSuffix(tr(" m"));
    m_accuracy = new QDoubleSpinBox;
    m_accuracy->setRange(0, 10);
    m_accuracy->setDecimals(3);
    m_accuracy->setSuffix(tr(" m"));
    // An elevation model from photos is good to about its own cell, two ground samples.
    m_accuracy->setValue(list.isEmpty() ? 0.05 : list.last().dsmCell);

    auto* form = new QFormLayout;
    form->addRow(tr("Outline"), m_outline);
    form->addRow(tr("Method"), m_method);
    form->addRow(tr("Survey"), m_surface);
    form->addRow(tr("Earlier survey"), m_earlier);
    form->addRow(tr("Level"), m_level);
    form->addRow(tr("Vertical accuracy of each survey (1 sigma)"), m_accuracy);
    m_table = new QTableWidget(0, 7);
    m_table->setHorizontalHeaderLabels({tr("Outline"), tr("Method"), tr("Cut (m³)"), tr("Fill (m³)"),
                                        tr("Net (m³)"), tr("± (m³)"), tr("Area (m²)")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* measureButton = new QPushButton(tr("&Measure"));
    m_keep = new QPushButton(tr("&Keep in Record"));
    auto* exportButton = new QPushButton(tr("&Export CSV..."));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->addButton(measureButton, QDialogButtonBox::ActionRole);
    buttons->addButton(m_keep, QDialogButtonBox::ActionRole);
    buttons->addButton(exportButton, QDialogButtonBox::ActionRole);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_table);
    layout->addWidget(buttons);
    resize(760, 420);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(measureButton, &QPushButton::clicked, this, &VolumeDialog::measure);
    connect(m_keep, &QPushButton::clicked, this, [this] { keepInRecord(m_table->currentRow()); });
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getSaveFileName(this, tr("Export Volumes"), QString(), tr("CSV (*.csv)"));
        if (!path.isEmpty())
            exportCsv(path);
    });
    connect(m_method, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &VolumeDialog::methodChanged);
    connect(m_outline, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &VolumeDialog::outlineChanged);
    methodChanged();
    outlineChanged();
}

void VolumeDialog::methodChanged()
{
    const auto method = VolumeCalculator::Method(m_method->currentData().toInt());
    m_earlier->setEnabled(method == VolumeCalculator::Method::TwoSurveys);
    m_level->setEnabled(method == VolumeCalculator::Method::Plane);
}

void VolumeDialog::outlineChanged()
{
    // The level of the outline's own vertices, as they were picked.
    const int i = m_outline->currentIndex();
    if (i < 0 || i >= m_outlines.size())
        return;
    double sum = 0;
    int n = 0;
    const SurveyActions::Outline& o = m_outlines[i];
    if (o.layer != LayerScene::noLayer) {
        const QVector<AnnotationRecord> records = m_surveys->view()->annotationRecords(o.layer);
        if (o.index < records.size())
            for (const osg::Vec3d& v : records[o.index].vertices) {
                sum += v.z();
                ++n;
            }
    }
    if (n > 0)
        m_level->setValue(sum / n);
}

void VolumeDialog::said(const QString& text)
{
    QMessageBox::warning(this, windowTitle(), text);
}

bool VolumeDialog::measure()
{
    const int i = m_outline->currentIndex();
    if (i < 0 || i >= m_outlines.size()) {
        said(tr("There is no outline to measure in: record a context in the \"Polygons\" form or draw one."));
        return false;
    }
    VolumeCalculator::Result r;
    QString error;
    if (!m_surveys->measure(m_outlines[i], VolumeCalculator::Method(m_method->currentData().toInt()),
                            m_surface->currentIndex(), m_earlier->currentIndex(), m_level->value(),
                            m_accuracy->value(), r, &error)) {
        said(error);
        return false;
    }
    m_rows.push_back({m_outlines[i].label, r.volume});
    m_measured.push_back(m_outlines[i]);
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    const QStringList cells{m_outlines[i].label,
                            r.volume.method,
                            NumberString::length(std::round(r.volume.cut * 1000) / 1000),
                            NumberString::length(std::round(r.volume.fill * 1000) / 1000),
                            NumberString::length(std::round(r.volume.net * 1000) / 1000),
                            NumberString::length(std::round(r.volume.uncertainty * 1000) / 1000),
                            NumberString::length(std::round(r.volume.area * 100) / 100)};
    for (int c = 0; c < cells.size(); ++c)
        m_table->setItem(row, c, new QTableWidgetItem(cells[c]));
    m_table->selectRow(row);
    return true;
}

bool VolumeDialog::keepInRecord(int row)
{
    if (row < 0 || row >= m_rows.size()) {
        said(tr("Measure a volume first, then choose its row."));
        return false;
    }
    QString error;
    if (!m_surveys->writeVolume(m_measured[row], m_rows[row].volume, &error)) {
        said(error);
        return false;
    }
    return true;
}

bool VolumeDialog::exportCsv(const QString& path)
{
    QString error;
    if (!VolumeTable::writeCsv(path, m_rows, &error)) {
        said(error);
        return false;
    }
    return true;
}
