#include "ui/main/SelectionToolWidget.h"

#include "scene/view/OsgWidget.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace
{

// Survey grids put sites far beyond a million metres (UTM northings reach
// 10,000,000), so the centre takes any coordinate the scene keeps; three
// decimals are the millimetre.
constexpr double coordinateRange = 1.0e9;

QDoubleSpinBox* spinBox(double minimum, double maximum, int decimals, double value)
{
    auto* box = new QDoubleSpinBox;
    box->setDecimals(decimals);
    box->setRange(minimum, maximum);
    box->setSingleStep(0.1);
    box->setValue(value);
    return box;
}

} // namespace

SelectionToolWidget::SelectionToolWidget(QWidget* parent)
    : QWidget(parent), m_x(spinBox(-coordinateRange, coordinateRange, 3, 0.0)),
      m_y(spinBox(-coordinateRange, coordinateRange, 3, 0.0)),
      m_z(spinBox(-coordinateRange, coordinateRange, 3, 0.0)), m_rotate(spinBox(-180.0, 180.0, 3, 0.0)),
      m_width(spinBox(0.0, 1000.0, 2, 1.0)), m_depth(spinBox(0.0, 1000.0, 2, 1.0)),
      m_height(spinBox(0.0, 1000.0, 2, 1.0)), m_activate(new QPushButton(QStringLiteral("Activate"))),
      m_currentPos(new QPushButton(QStringLiteral("Get Current Pos"))),
      m_extract(new QPushButton(QStringLiteral("Extract")))
{
    m_activate->setCheckable(true);

    auto* grid = new QGridLayout;
    grid->addWidget(m_activate, 0, 0);
    const struct {
        const char* label;
        QDoubleSpinBox* box;
    } rows[] = {{QT_TR_NOOP("X:"), m_x},
                {QT_TR_NOOP("Y:"), m_y},
                {QT_TR_NOOP("Z:"), m_z},
                {QT_TR_NOOP("Rotate:"), m_rotate},
                {QT_TR_NOOP("Width(x):"), m_width},
                {QT_TR_NOOP("Depth(y):"), m_depth},
                {QT_TR_NOOP("Height(z)"), m_height}};
    int row = 1;
    for (const auto& r : rows) {
        grid->addWidget(new QLabel(tr(r.label)), row, 0);
        grid->addWidget(r.box, row, 1);
        ++row;
    }
    grid->addWidget(m_currentPos, 4, 2);
    grid->addWidget(m_extract, 8, 0);

    auto* group = new QGroupBox(tr("Box Select"));
    group->setLayout(grid);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(group);
}

void SelectionToolWidget::setBoxPosition(double x, double y, double z, double rotation)
{
    m_x->setValue(x);
    m_y->setValue(y);
    m_z->setValue(z);
    m_rotate->setValue(rotation);
}

void SelectionToolWidget::steer(OsgWidget* view)
{
    const auto valueChanged = qOverload<double>(&QDoubleSpinBox::valueChanged);
    connect(m_x, valueChanged, view, &OsgWidget::setBoxX);
    connect(m_y, valueChanged, view, &OsgWidget::setBoxY);
    connect(m_z, valueChanged, view, &OsgWidget::setBoxZ);
    connect(m_rotate, valueChanged, view, &OsgWidget::setBoxR);
    connect(m_width, valueChanged, view, &OsgWidget::setSelectWidth);
    connect(m_height, valueChanged, view, &OsgWidget::setSelectHeight);
    connect(m_depth, valueChanged, view, &OsgWidget::setSelectDepth);
    connect(m_activate, &QPushButton::toggled, view, &OsgWidget::turnOnSelectBox);
}
