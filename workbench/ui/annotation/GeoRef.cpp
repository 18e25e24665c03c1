#include "ui/annotation/GeoRef.h"

#include <QAction>
#include <QGridLayout>
#include <QLabel>
#include <QTableWidget>
#include <QHBoxLayout>
#include <QToolButton>

#include <algorithm>
#include <cmath>

#include "core/io/NumberText.h"

namespace
{

// The observations of a row live in its photo cell: image, column, row per photo.
constexpr int observationRole = Qt::UserRole + 1;

QTableWidgetItem* readOnly(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

} // namespace

GeoRef::GeoRef(QWidget* parent)
    : QWidget(parent), m_table(new QTableWidget(0, ColumnCount, this)), m_systemLabel(new QLabel(this))
{
    m_table->setHorizontalHeaderLabels({"X", "Y", "Z", tr("Name"), tr("Check"), tr("Residual"), tr("Photos")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    for (int r = 0; r < 2; ++r) {
        m_table->insertRow(r);
        fillRow(r);
    }
    m_table->resize(150, 50);

    // A row of buttons, not a tool bar: the window's tool bars are its own.
    auto* tools = new QHBoxLayout;
    auto button = [&](const QString& text) {
        auto* action = new QAction(text, this);
        auto* b = new QToolButton(this);
        b->setDefaultAction(action);
        tools->addWidget(b);
        return action;
    };
    m_add = button(tr("Add Point"));
    m_remove = button(tr("Remove Point"));
    m_pick = button(tr("Pick in Photos"));
    m_pick->setCheckable(true);
    m_pick->setStatusTip(tr("A loupe click in an image viewer places the selected point in that photo"));
    m_import = button(tr("Import GCP File..."));
    m_fit = button(tr("Fit to Control Points"));
    tools->addStretch();
    m_fit->setStatusTip(tr("Triangulate the points, fit the reconstruction to them and write its georeference"));
    connect(m_add, &QAction::triggered, this, [this] { addPoint(); });
    connect(m_remove, &QAction::triggered, this, &GeoRef::removeCurrentPoint);

    auto* grid = new QGridLayout(this);
    grid->addLayout(tools, 0, 0);
    grid->addWidget(m_table, 1, 0);
    grid->addWidget(m_systemLabel, 2, 0);
}

void GeoRef::fillRow(int row)
{
    for (int c = X; c <= Z; ++c)
        m_table->setItem(row, c, new QTableWidgetItem(QStringLiteral("0")));
    m_table->setItem(row, Name, new QTableWidgetItem);
    auto* check = new QTableWidgetItem;
    check->setFlags((check->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsEditable);
    check->setCheckState(Qt::Unchecked);
    m_table->setItem(row, Check, check);
    m_table->setItem(row, Residual, readOnly(QString()));
    m_table->setItem(row, Photos, readOnly(QStringLiteral("0")));
}

QStringList GeoRef::measurementLines() const
{
    // Double: control points are survey coordinates, where floats step by
    // 6 cm (x = 712345) and 25 cm (y = 4123456).
    double v[2][3] = {};
    QString text[2];
    for (int r = 0; r < 2; ++r) {
        QStringList cells;
        for (int c = 0; c < 3; ++c) {
            const QTableWidgetItem* item = r < m_table->rowCount() ? m_table->item(r, c) : nullptr;
            const QString s = item ? item->text() : QString();
            cells << s;
            v[r][c] = s.toDouble(); // not a number reads as 0
        }
        text[r] = cells.join(' ');
    }
    const double dx = v[1][0] - v[0][0], dy = v[1][1] - v[0][1], dz = v[1][2] - v[0][2];
    const double distance = std::sqrt(dx * dx + dy * dy + dz * dz);
    return {QStringLiteral("pos1: ") + text[0], QStringLiteral("pos2: ") + text[1], NumberText::length(distance)};
}

QVector<ControlPoint> GeoRef::controlPoints(QVector<int>* rows) const
{
    QVector<ControlPoint> points;
    for (int r = 0; r < m_table->rowCount(); ++r) {
        const QTableWidgetItem* name = m_table->item(r, Name);
        if (!name || name->text().trimmed().isEmpty())
            continue;
        ControlPoint p;
        p.name = name->text().trimmed();
        for (int c = X; c <= Z; ++c)
            p.survey[c] = m_table->item(r, c) ? m_table->item(r, c)->text().toDouble() : 0;
        p.check = m_table->item(r, Check) && m_table->item(r, Check)->checkState() == Qt::Checked;
        p.observations = observations(r);
        points.append(p);
        if (rows)
            rows->append(r);
    }
    return points;
}

void GeoRef::setControlPoints(const QVector<ControlPoint>& points, const QString& referenceSystem)
{
    m_table->setRowCount(0);
    m_table->setRowCount(std::max(2, int(points.size())));
    for (int r = 0; r < m_table->rowCount(); ++r)
        fillRow(r);
    for (int r = 0; r < points.size(); ++r) {
        const ControlPoint& p = points[r];
        for (int c = X; c <= Z; ++c)
            m_table->item(r, c)->setText(NumberText::shortest(p.survey[c]));
        m_table->item(r, Name)->setText(p.name);
        m_table->item(r, Check)->setCheckState(p.check ? Qt::Checked : Qt::Unchecked);
        setObservations(r, p.observations);
        setResidual(r, p.residual);
    }
    m_system = referenceSystem;
    m_systemLabel->setText(m_system.isEmpty() ? QString() : tr("Reference system: %1").arg(m_system));
}

void GeoRef::setResidual(int row, double metres)
{
    if (QTableWidgetItem* item = m_table->item(row, Residual))
        item->setText(std::isnan(metres) ? QString() : QString::number(metres, 'f', 3) + QStringLiteral(" m"));
}

QVector<ControlObservation> GeoRef::observations(int row) const
{
    QVector<ControlObservation> out;
    const QTableWidgetItem* item = m_table->item(row, Photos);
    if (!item)
        return out;
    for (const QVariant& v : item->data(observationRole).toList()) {
        const QVariantList o = v.toList();
        if (o.size() == 3)
            out.append({o[0].toString(), o[1].toDouble(), o[2].toDouble()});
    }
    return out;
}

void GeoRef::setObservations(int row, const QVector<ControlObservation>& observations)
{
    QVariantList list;
    QStringList photos;
    for (const ControlObservation& o : observations) {
        list.append(QVariant(QVariantList{o.image, o.column, o.row}));
        photos << o.image;
    }
    QTableWidgetItem* item = m_table->item(row, Photos);
    item->setData(observationRole, list);
    item->setText(QString::number(observations.size()));
    item->setToolTip(photos.join('\n'));
}

int GeoRef::addObservation(int row, const ControlObservation& observation)
{
    if (row < 0 || row >= m_table->rowCount())
        return 0;
    QTableWidgetItem* name = m_table->item(row, Name);
    if (name->text().trimmed().isEmpty())
        name->setText(QStringLiteral("GCP%1").arg(row + 1));
    QVector<ControlObservation> list = observations(row);
    auto same = std::find_if(list.begin(), list.end(), [&](const ControlObservation& o) {
        return o.image.compare(observation.image, Qt::CaseInsensitive) == 0;
    });
    if (same != list.end())
        *same = observation;
    else
        list.append(observation);
    setObservations(row, list);
    setResidual(row, std::nan(""));
    return list.size();
}

int GeoRef::addPoint()
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    fillRow(row);
    m_table->item(row, Name)->setText(QStringLiteral("GCP%1").arg(row + 1));
    m_table->selectRow(row);
    return row;
}

void GeoRef::removeCurrentPoint()
{
    const int row = m_table->currentRow();
    if (row < 0)
        return;
    m_table->removeRow(row);
    // The measurement reads the first two rows: they are always there.
    while (m_table->rowCount() < 2) {
        m_table->insertRow(m_table->rowCount());
        fillRow(m_table->rowCount() - 1);
    }
}
