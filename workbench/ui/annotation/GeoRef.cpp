#include "ui/annotation/GeoRef.h"

#include <QGridLayout>
#include <QTableWidget>
#include <cmath>

#include "core/io/NumberText.h"

GeoRef::GeoRef(QWidget* parent) : QWidget(parent), m_table(new QTableWidget(2, 3, this))
{
    m_table->setHorizontalHeaderLabels({"X", "Y", "Z"});
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c)
            m_table->setItem(r, c, new QTableWidgetItem(QStringLiteral("0")));
    m_table->resize(150, 50);
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_table, 0, 0);
}

QStringList GeoRef::measurementLines() const
{
    // Double: control points are survey coordinates, where floats step by
    // 6 cm (x = 712345) and 25 cm (y = 4123456).
    double v[2][3];
    QString text[2];
    for (int r = 0; r < 2; ++r) {
        QStringList cells;
        for (int c = 0; c < 3; ++c) {
            const QTableWidgetItem* item = m_table->item(r, c);
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
