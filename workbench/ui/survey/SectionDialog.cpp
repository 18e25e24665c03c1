#include "ui/survey/SectionDialog.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtCharts/QChartView>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <cmath>

#include "core/io/NumberString.h"
#include "scene/interaction/MapController.h"
#include "scene/view/OsgWidget.h"
#include "ui/survey/SurveyActions.h"

using namespace QtCharts;

SectionDialog::SectionDialog(SurveyActions* surveys, QWidget* parent) : QDialog(parent), m_surveys(surveys)
{
    setWindowTitle(tr("Section"));
    m_start = new QLineEdit;
    m_end = new QLineEdit;
    for (QLineEdit* e : {m_start, m_end})
        e->setPlaceholderText(tr("easting northing"));
    m_width = new QDoubleSpinBox;
    m_width->setRange(0, 50);
    m_width->setDecimals(2);
    m_width->setValue(0.2);
    m_width->setSuffix(tr(" m"));
    auto* takeStart = new QPushButton(tr("Take &Pick"));
    auto* takeEnd = new QPushButton(tr("Take P&ick"));
    auto* startRow = new QHBoxLayout;
    startRow->addWidget(m_start);
    startRow->addWidget(takeStart);
    auto* endRow = new QHBoxLayout;
    endRow->addWidget(m_end);
    endRow->addWidget(takeEnd);
    auto* form = new QFormLayout;
    form->addRow(tr("Start"), startRow);
    form->addRow(tr("End"), endRow);
    form->addRow(tr("Corridor width for the cloud"), m_width);

    auto* chart = new QChart;
    chart->setTitle(tr("Pick the start and the end in the 3D view (Ctrl and a click), then Draw."));
    m_chart = new QChartView(chart);
    m_chart->setRenderHint(QPainter::Antialiasing);
    m_chart->setMinimumSize(640, 320);

    auto* drawButton = new QPushButton(tr("&Draw"));
    auto* csvButton = new QPushButton(tr("Export &CSV..."));
    auto* dxfButton = new QPushButton(tr("Export D&XF..."));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->addButton(drawButton, QDialogButtonBox::ActionRole);
    buttons->addButton(csvButton, QDialogButtonBox::ActionRole);
    buttons->addButton(dxfButton, QDialogButtonBox::ActionRole);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_chart, 1);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(takeStart, &QPushButton::clicked, this, [this] { takePick(m_start); });
    connect(takeEnd, &QPushButton::clicked, this, [this] { takePick(m_end); });
    connect(drawButton, &QPushButton::clicked, this, &SectionDialog::draw);
    connect(csvButton, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getSaveFileName(this, tr("Export Section"), QString(), tr("CSV (*.csv)"));
        if (!path.isEmpty())
            exportCsv(path);
    });
    connect(dxfButton, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getSaveFileName(this, tr("Export Section"), QString(), tr("DXF (*.dxf)"));
        if (!path.isEmpty())
            exportDxf(path);
    });
    if (MapController* picks = m_surveys->view()->mapController())
        picks->pickToggle(true);
}

SectionDialog::~SectionDialog()
{
    if (MapController* picks = m_surveys->view()->mapController())
        picks->pickToggle(false);
}

bool SectionDialog::parsePoint(const QString& text, QPointF& out)
{
    const QStringList parts = text.simplified()
                                  .replace(QLatin1Char(','), QLatin1Char(' '))
                                  .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() < 2)
        return false;
    double v[2];
    for (int i = 0; i < 2; ++i) {
        const QByteArray t = parts[i].toLatin1();
        if (!NumberText::read(t.constData(), t.constData() + t.size(), v[i]) || !std::isfinite(v[i]))
            return false;
    }
    out = QPointF(v[0], v[1]);
    return true;
}

void SectionDialog::takePick(QLineEdit* edit)
{
    MapController* picks = m_surveys->view()->mapController();
    if (!picks || !picks->hasPick()) {
        said(tr("Pick a point in the 3D view first: hold Ctrl and click the ground."));
        return;
    }
    const osg::Vec3d p = picks->lastPick();
    picks->clearPick();
    edit->setText(NumberString::shortest(p.x()) + QLatin1Char(' ') + NumberString::shortest(p.y()));
}

void SectionDialog::said(const QString& text)
{
    QMessageBox::warning(this, windowTitle(), text);
}

bool SectionDialog::draw()
{
    QPointF a, b;
    if (!parsePoint(m_start->text(), a) || !parsePoint(m_end->text(), b)) {
        said(tr(
            "Give the start and the end as two numbers each (easting northing), or take them from picks."));
        return false;
    }
    QString error;
    SectionProfile p;
    if (!m_surveys->section(a, b, m_width->value(), p, &error)) {
        said(error);
        return false;
    }
    m_profile = p;
    auto* chart = new QChart;
    chart->setTitle(tr("Section, %1 m long").arg(NumberString::length(std::round(p.length() * 1000) / 1000)));
    auto* x = new QValueAxis;
    x->setTitleText(tr("Distance (m)"));
    auto* y = new QValueAxis;
    y->setTitleText(tr("Height (m)"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    double low = INFINITY, high = -INFINITY;
    const auto attach = [&](QXYSeries* s) {
        chart->addSeries(s);
        s->attachAxis(x);
        s->attachAxis(y);
    };
    for (const SectionProfile::Line& line : p.lines) {
        // A gap in the model starts a new piece of the same colour.
        QLineSeries* series = nullptr;
        QColor colour;
        for (const SectionProfile::Sample& s : line.samples) {
            if (std::isnan(s.z)) {
                series = nullptr;
                continue;
            }
            if (!series) {
                series = new QLineSeries;
                series->setName(line.name);
                attach(series);
                if (colour.isValid()) {
                    series->setColor(colour);
                    chart->legend()->markers(series).first()->setVisible(false);
                } else {
                    colour = series->color();
                }
            }
            series->append(s.distance, s.z);
            low = std::min(low, s.z);
            high = std::max(high, s.z);
        }
    }
    if (!p.cloud.isEmpty()) {
        auto* points = new QScatterSeries;
        points->setName(tr("Cloud (%1 points)").arg(p.cloud.size()));
        points->setMarkerSize(3);
        for (const SectionProfile::CloudPoint& c : p.cloud) {
            points->append(c.distance, c.z);
            low = std::min(low, c.z);
            high = std::max(high, c.z);
        }
        attach(points);
    }
    x->setRange(0, p.length());
    if (high >= low)
        y->setRange(low - 0.05 * (high - low + 0.1), high + 0.05 * (high - low + 0.1));
    QChart* old = m_chart->chart();
    m_chart->setChart(chart);
    delete old;
    return true;
}

bool SectionDialog::exportCsv(const QString& path)
{
    QString error;
    if (m_profile.lines.isEmpty() && m_profile.cloud.isEmpty() && !draw())
        return false;
    if (!m_profile.writeCsv(path, &error)) {
        said(error);
        return false;
    }
    return true;
}

bool SectionDialog::exportDxf(const QString& path)
{
    QString error;
    if (m_profile.lines.isEmpty() && m_profile.cloud.isEmpty() && !draw())
        return false;
    if (!m_profile.writeDxf(path, &error)) {
        said(error);
        return false;
    }
    return true;
}
