#include "ui/annotation/GeoRef.h"

#include <QAction>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QSet>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "core/io/NumberString.h"
#include "ui/annotation/TargetCandidates.h"
#include "ui/annotation/ToolButtonRow.h"

namespace
{

// The observations of a row live in its photo cell: image, column, row per photo.
constexpr int observationRole = Qt::UserRole + 1;
// The fit figures live in the residual cell: residual, dX, dY, dZ, pixels, left out.
constexpr int fitRole = Qt::UserRole + 2;
// The name a row had before an edit, to go back to when the edit is refused.
constexpr int acceptedNameRole = Qt::UserRole + 3;
// A standard deviation cell's accepted value (NaN: the default), to go back to on a refused edit.
constexpr int sigmaRole = Qt::UserRole + 4;

// What the widest value of each column looks like, for the dock's size.
const char* const widest[GeoRef::ColumnCount] = {
    "7123456.7890123", "41234567.8901234", "12345.67890123", "GCP123", "Check", "10.000 m (left out)",
    "-0.000",          "-0.000",           "-0.000",         "00.00",  "000",   "0.0000",
    "0.0000"};
constexpr int rowsShown = 6;

QTableWidgetItem* readOnly(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

QString axis(double value)
{
    return std::isfinite(value) ? QString::number(std::abs(value) < 0.0005 ? 0.0 : value, 'f', 3) : QString();
}

} // namespace

GeoRef::GeoRef(QWidget* parent)
    : QWidget(parent), m_table(new QTableWidget(0, ColumnCount, this)), m_systemLabel(new QLabel(this)),
      m_targets(new TargetCandidates(this)), m_changed(new QTimer(this))
{
    m_table->setHorizontalHeaderLabels({"X", "Y", "Z", tr("Name"), tr("Check"), tr("Residual"), "dX", "dY",
                                        "dZ", tr("px"), tr("Photos"), QStringLiteral("σ H"),
                                        QStringLiteral("σ V")});
    for (int c : {SigmaH, SigmaV})
        m_table->horizontalHeaderItem(c)->setToolTip(
            tr("The point's %1 standard deviation in metres: how tightly the adjustment holds it to its "
               "survey. Empty: the default of Adjustment Settings")
                .arg(c == SigmaH ? tr("horizontal") : tr("vertical")));
    m_table->horizontalHeaderItem(DX)->setToolTip(
        tr("Where the fit puts the point less its surveyed X (metres)"));
    m_table->horizontalHeaderItem(DY)->setToolTip(
        tr("Where the fit puts the point less its surveyed Y (metres)"));
    m_table->horizontalHeaderItem(DZ)->setToolTip(
        tr("Where the fit puts the point less its surveyed Z (metres)"));
    m_table->horizontalHeaderItem(Pixels)->setToolTip(
        tr("How far the surveyed point, carried into its photos by the fit, lands from the picks (RMS, "
           "pixels)"));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    const QFontMetrics metrics(m_table->font());
    for (int c = 0; c < ColumnCount; ++c) {
        const int text = std::max(metrics.horizontalAdvance(m_table->horizontalHeaderItem(c)->text()),
                                  metrics.horizontalAdvance(QLatin1String(widest[c])));
        m_table->horizontalHeader()->resizeSection(c, text + (c == Check ? 32 : 16));
    }
    m_table->setMinimumHeight(m_table->horizontalHeader()->sizeHint().height() +
                              4 * m_table->verticalHeader()->defaultSectionSize() +
                              2 * m_table->frameWidth());
    for (int r = 0; r < 2; ++r) {
        m_table->insertRow(r);
        fillRow(r);
    }

    auto* tools = new ToolButtonRow(this);
    m_add = tools->addButton(tr("Add Point"));
    m_remove = tools->addButton(tr("Remove Point"));
    m_pick = tools->addButton(tr("Pick in Photos"));
    m_pick->setCheckable(true);
    m_pick->setStatusTip(tr("A loupe click in an image viewer places the selected point in that photo"));
    m_import = tools->addButton(tr("Import GCP File..."));
    m_fit = tools->addButton(tr("Fit to Control Points"));
    m_settings = tools->addButton(tr("Adjustment Settings..."));
    m_settings->setStatusTip(
        tr("The standard deviations of control points and of the photos' GPS that carry none of their own"));
    tools->addStretch();
    m_fit->setStatusTip(tr("Triangulate the points, fit the reconstruction to them and write its georeference"));
    connect(m_add, &QAction::triggered, this, [this] { addPoint(); });
    connect(m_remove, &QAction::triggered, this, &GeoRef::removeCurrentPoint);

    // Filling a table changes many cells: the viewers hear of it once.
    m_changed->setSingleShot(true);
    m_changed->setInterval(0);
    connect(m_changed, &QTimer::timeout, this, &GeoRef::pointsChanged);
    connect(m_table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!m_filling && item->column() == Name)
            nameEdited(item->row());
        else if (!m_filling && (item->column() == SigmaH || item->column() == SigmaV))
            sigmaEdited(item->row(), item->column());
        else if (!m_filling && item->column() >= X && item->column() <= Z)
            setFit(item->row(), ControlPoint()); // the figures were of the old coordinates
        m_changed->start();
    });
    connect(m_table, &QTableWidget::currentCellChanged, m_changed, qOverload<>(&QTimer::start));
    connect(m_table->model(), &QAbstractItemModel::rowsRemoved, m_changed, qOverload<>(&QTimer::start));

    auto* grid = new QGridLayout(this);
    grid->addLayout(tools, 0, 0);
    grid->addWidget(m_table, 1, 0);
    grid->addWidget(m_systemLabel, 2, 0);
    grid->addWidget(m_targets, 3, 0);
}

QSize GeoRef::sizeHint() const
{
    int width = m_table->verticalHeader()->sizeHint().width() + 2 * m_table->frameWidth() +
                m_table->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < ColumnCount; ++c)
        width += m_table->horizontalHeader()->sectionSize(c);
    const int table = m_table->horizontalHeader()->sizeHint().height() +
                      rowsShown * m_table->verticalHeader()->defaultSectionSize() +
                      2 * m_table->frameWidth() + m_table->horizontalScrollBar()->sizeHint().height();
    const QSize outside = QWidget::sizeHint();
    const QMargins margins = layout()->contentsMargins();
    return QSize(std::max(outside.width(), width + margins.left() + margins.right()),
                 std::max(outside.height(), outside.height() - m_table->sizeHint().height() + table));
}

void GeoRef::fillRow(int row)
{
    const bool filling = m_filling;
    m_filling = true;
    for (int c = X; c <= Z; ++c)
        m_table->setItem(row, c, new QTableWidgetItem(QStringLiteral("0")));
    m_table->setItem(row, Name, new QTableWidgetItem);
    auto* check = new QTableWidgetItem;
    check->setFlags((check->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsEditable);
    check->setCheckState(Qt::Unchecked);
    m_table->setItem(row, Check, check);
    for (int c = Residual; c <= Pixels; ++c)
        m_table->setItem(row, c, readOnly(QString()));
    m_table->setItem(row, Photos, readOnly(QStringLiteral("0")));
    for (int c : {SigmaH, SigmaV}) {
        m_table->setItem(row, c, new QTableWidgetItem);
        m_table->item(row, c)->setData(sigmaRole, std::nan(""));
    }
    m_filling = filling;
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
    return {QStringLiteral("pos1: ") + text[0], QStringLiteral("pos2: ") + text[1], NumberString::length(distance)};
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
        if (const QTableWidgetItem* h = m_table->item(r, SigmaH))
            p.sigmaHorizontal = h->data(sigmaRole).toDouble();
        if (const QTableWidgetItem* v = m_table->item(r, SigmaV))
            p.sigmaVertical = v->data(sigmaRole).toDouble();
        const QVariantList fit = m_table->item(r, Residual)->data(fitRole).toList();
        if (fit.size() == 6) {
            p.residual = fit[0].toDouble();
            p.offset.set(fit[1].toDouble(), fit[2].toDouble(), fit[3].toDouble());
            p.pixels = fit[4].toDouble();
            p.leftOut = fit[5].toBool();
        }
        points.append(p);
        if (rows)
            rows->append(r);
    }
    return points;
}

void GeoRef::fillPoint(int row, const ControlPoint& p)
{
    const bool filling = m_filling;
    m_filling = true;
    for (int c = X; c <= Z; ++c)
        m_table->item(row, c)->setText(NumberString::shortest(p.survey[c]));
    // A name the project file could not hold never enters the table.
    const QString name = ControlPoint::cleanName(p.name);
    m_table->item(row, Name)->setText(name);
    m_table->item(row, Name)->setData(acceptedNameRole, name);
    m_table->item(row, Check)->setCheckState(p.check ? Qt::Checked : Qt::Unchecked);
    setObservations(row, p.observations);
    setSigma(row, SigmaH, p.sigmaHorizontal);
    setSigma(row, SigmaV, p.sigmaVertical);
    setFit(row, p);
    m_filling = filling;
}

void GeoRef::setControlPoints(const QVector<ControlPoint>& points, const QString& referenceSystem)
{
    m_table->setRowCount(0);
    m_table->setRowCount(std::max(2, int(points.size())));
    for (int r = 0; r < m_table->rowCount(); ++r)
        fillRow(r);
    for (int r = 0; r < points.size(); ++r)
        fillPoint(r, points[r]);
    setReferenceSystem(referenceSystem);
}

void GeoRef::updatePoints(const QVector<ControlPoint>& points)
{
    auto isEmptyRow = [this](int r) {
        if (!m_table->item(r, Name)->text().trimmed().isEmpty() || !observations(r).isEmpty())
            return false;
        for (int c = X; c <= Z; ++c) {
            const QString t = m_table->item(r, c)->text().trimmed();
            if (!t.isEmpty() && t != QLatin1String("0"))
                return false;
        }
        return true;
    };
    for (const ControlPoint& p : points) {
        int row = -1;
        for (int r = 0; r < m_table->rowCount() && row < 0; ++r)
            if (m_table->item(r, Name)->text().trimmed() == p.name)
                row = r;
        for (int r = 0; r < m_table->rowCount() && row < 0; ++r)
            if (isEmptyRow(r))
                row = r;
        if (row < 0) {
            row = m_table->rowCount();
            m_table->insertRow(row);
            fillRow(row);
        }
        fillPoint(row, p);
    }
}

void GeoRef::setReferenceSystem(const QString& referenceSystem)
{
    m_system = referenceSystem;
    m_systemLabel->setText(m_system.isEmpty() ? QString() : tr("Reference system: %1").arg(m_system));
}

void GeoRef::setFit(int row, const ControlPoint& figures)
{
    QTableWidgetItem* residual = m_table->item(row, Residual);
    if (!residual)
        return;
    const bool filling = m_filling;
    m_filling = true;
    if (!figures.hasFit()) {
        for (int c = Residual; c <= Pixels; ++c) {
            m_table->item(row, c)->setText(QString());
            m_table->item(row, c)->setBackground(QBrush());
        }
        residual->setData(fitRole, QVariant());
        residual->setToolTip(QString());
        m_filling = filling;
        return;
    }
    residual->setData(fitRole, QVariantList{figures.residual, figures.offset.x(), figures.offset.y(),
                                            figures.offset.z(), figures.pixels, figures.leftOut});
    QString text = QString::number(figures.residual, 'f', 3) + QStringLiteral(" m");
    if (figures.leftOut)
        text += tr(" (left out)");
    residual->setText(text);
    residual->setToolTip(figures.leftOut
                             ? tr("Left out of the last fit: its residual stands out from the other "
                                  "points'. Check its coordinates.")
                             : QString());
    residual->setBackground(figures.leftOut ? QBrush(QColor(255, 200, 200)) : QBrush());
    m_table->item(row, DX)->setText(axis(figures.offset.x()));
    m_table->item(row, DY)->setText(axis(figures.offset.y()));
    m_table->item(row, DZ)->setText(axis(figures.offset.z()));
    m_table->item(row, Pixels)
        ->setText(std::isfinite(figures.pixels) ? QString::number(figures.pixels, 'f', 2) : QString());
    m_filling = filling;
}

QString GeoRef::currentName() const
{
    const int row = m_table->currentRow();
    const QTableWidgetItem* name = row >= 0 ? m_table->item(row, Name) : nullptr;
    return name ? name->text().trimmed() : QString();
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

QString GeoRef::freshName() const
{
    QSet<QString> taken;
    for (int r = 0; r < m_table->rowCount(); ++r)
        if (const QTableWidgetItem* name = m_table->item(r, Name))
            taken.insert(name->text().trimmed());
    for (int n = 1;; ++n)
        if (!taken.contains(QStringLiteral("GCP%1").arg(n)))
            return QStringLiteral("GCP%1").arg(n);
}

void GeoRef::nameEdited(int row)
{
    QTableWidgetItem* item = m_table->item(row, Name);
    const QString typed = item->text();
    const QString clean = ControlPoint::cleanName(typed);
    QString refused;
    QString accepted = clean;
    if (clean != typed.trimmed())
        refused = tr("Ground control: %1 for a name").arg(ControlPoint::nameProblem(typed));
    for (int r = 0; r < m_table->rowCount() && !clean.isEmpty(); ++r)
        if (r != row && m_table->item(r, Name) && m_table->item(r, Name)->text().trimmed() == clean) {
            refused = tr("Ground control: another point is named %1").arg(clean);
            accepted = item->data(acceptedNameRole).toString();
        }
    m_filling = true;
    if (accepted != typed)
        item->setText(accepted);
    item->setData(acceptedNameRole, accepted);
    m_filling = false;
    if (!refused.isEmpty())
        emit nameRefused(refused);
}

int GeoRef::addObservation(int row, const ControlObservation& observation)
{
    if (row < 0 || row >= m_table->rowCount())
        return 0;
    QTableWidgetItem* name = m_table->item(row, Name);
    if (name->text().trimmed().isEmpty()) {
        m_filling = true;
        name->setText(freshName());
        name->setData(acceptedNameRole, name->text());
        m_filling = false;
    }
    QVector<ControlObservation> list = observations(row);
    auto same = std::find_if(list.begin(), list.end(), [&](const ControlObservation& o) {
        return o.image.compare(observation.image, Qt::CaseInsensitive) == 0;
    });
    if (same != list.end())
        *same = observation;
    else
        list.append(observation);
    setObservations(row, list);
    setFit(row, ControlPoint());
    return list.size();
}

int GeoRef::addPoint()
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    fillRow(row);
    m_filling = true;
    const QString name = freshName();
    m_table->item(row, Name)->setText(name);
    m_table->item(row, Name)->setData(acceptedNameRole, name);
    m_filling = false;
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

void GeoRef::setSigma(int row, int column, double sigma)
{
    QTableWidgetItem* item = m_table->item(row, column);
    if (!item)
        return;
    const bool filling = m_filling;
    m_filling = true;
    const bool own = AdjustmentDefaults::valid(sigma);
    item->setData(sigmaRole, own ? sigma : std::nan(""));
    item->setText(own ? NumberString::shortest(sigma) : QString());
    m_filling = filling;
}

void GeoRef::sigmaEdited(int row, int column)
{
    QTableWidgetItem* item = m_table->item(row, column);
    const QString typed = item->text().trimmed();
    const double before = item->data(sigmaRole).toDouble();
    if (typed.isEmpty()) {
        setSigma(row, column, std::nan(""));
    } else {
        double sigma = 0;
        const QString problem =
            AdjustmentDefaults::problem(typed,
                                        tr("Ground control: %1's %2 standard deviation")
                                            .arg(m_table->item(row, Name)->text().trimmed(),
                                                 column == SigmaH ? tr("horizontal") : tr("vertical")),
                                        &sigma);
        if (!problem.isEmpty()) {
            setSigma(row, column, before);
            emit nameRefused(problem + tr("; kept as it was"));
            return;
        }
        setSigma(row, column, sigma);
    }
    // The figures were of the old weights.
    if (!(before == item->data(sigmaRole).toDouble()) &&
        (std::isfinite(before) || std::isfinite(item->data(sigmaRole).toDouble())))
        setFit(row, ControlPoint());
}

void GeoRef::setAdjustmentDefaults(const AdjustmentDefaults& defaults)
{
    m_defaults = defaults;
}
