#include "ui/layers/PropertyWindow.h"

#include "core/io/NumberString.h"
#include "ui/layers/PropertySelection.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace
{

QLabel* fixedLabel(const QString& text, int width, int height)
{
    auto* label = new QLabel(text);
    label->setFixedSize(width, height);
    return label;
}

QLineEdit* readOnlyEdit(const QString& text, int width = -1, int height = -1)
{
    auto* edit = new QLineEdit(text);
    edit->setReadOnly(true);
    if (width > 0)
        edit->setFixedSize(width, height);
    edit->setCursorPosition(0);
    return edit;
}

QString triple(const osg::Vec3d& v)
{
    return PropertyWindow::number(v.x()) + QStringLiteral(", ") + PropertyWindow::number(v.y()) +
           QStringLiteral(", ") + PropertyWindow::number(v.z());
}

QString count(long long n)
{
    return n < 0 ? QString() : QString::number(n);
}

// File, type and the figures of the layer, below the form proper. Each
// field is named after its label.
QWidget* detailsOf(const PropertySelection& selection, bool withType)
{
    auto* details = new QWidget;
    auto* form = new QFormLayout(details);
    form->setContentsMargins(0, 0, 0, 0);
    const auto row = [form](const QString& label, const QString& value) {
        QLineEdit* edit = readOnlyEdit(value);
        edit->setObjectName(label);
        form->addRow(label, edit);
    };
    row(QObject::tr("File:"), selection.file);
    if (withType)
        row(QObject::tr("Type:"), selection.typeName);
    const LayerSummary& s = selection.summary;
    if (s.points >= 0)
        row(s.archive ? QObject::tr("Points (archive):") : QObject::tr("Points:"), count(s.points));
    if (s.cameras >= 0)
        row(QObject::tr("Cameras:"), count(s.cameras));
    if (s.hasBounds) {
        row(QObject::tr("Box min:"), triple(s.boundsMin));
        row(QObject::tr("Box max:"), triple(s.boundsMax));
        row(QObject::tr("Centre:"), triple(s.centre()));
    }
    return details;
}

} // namespace

PropertyWindow::PropertyWindow(QWidget* parent) : QMainWindow(parent)
{
    refresh();
}

QString PropertyWindow::number(double value)
{
    return NumberString::shortest(value);
}

void PropertyWindow::refresh()
{
    refresh(PropertySelection::global());
}

void PropertyWindow::refresh(const PropertySelection& selection)
{
    QWidget* form = nullptr;
    // Only reconstructions have a rotation (their georeference); the other
    // layers show what they are, and point clouds where they lie.
    switch (selection.kind) {
    case 1:
        setWindowTitle(tr("Property"));
        form = layerForm(QString(), selection);
        setFixedSize(400, 400);
        break;
    case 2:
        setWindowTitle(tr("Property"));
        form = layerForm(QStringLiteral("Position:"), selection);
        setFixedSize(400, 400);
        break;
    case 3:
        setWindowTitle(tr("Property"));
        form = reconstructionSheet(selection);
        break;
    default:
        break;
    }
    // setCentralWidget deletes the previous form; with none, an empty widget
    // takes its place.
    setCentralWidget(form ? form : new QWidget);
}

QWidget* PropertyWindow::layerForm(const QString& positionLabel, const PropertySelection& selection)
{
    auto* form = new QWidget;
    auto* layout = new QVBoxLayout(form);
    if (!positionLabel.isEmpty()) {
        auto* rows = new QVBoxLayout;
        const char* axes[] = {"X", "Y", "Z"};
        const osg::Vec3d centre = selection.summary.centre();
        for (int k = 0; k < 3; ++k) {
            auto* row = new QHBoxLayout;
            row->addWidget(fixedLabel(QString::fromLatin1(axes[k]), 20, 25));
            // A point cloud's position is the centre of its box.
            const QString value = selection.summary.hasBounds ? number(centre[k]) : QString();
            QLineEdit* edit = readOnlyEdit(value, 110, 25);
            edit->setObjectName(QString::fromLatin1(axes[k]));
            row->addWidget(edit);
            rows->addLayout(row);
        }
        auto* top = new QHBoxLayout;
        top->addWidget(fixedLabel(positionLabel, 110, 25));
        top->addLayout(rows);
        top->addStretch();
        layout->addLayout(top);
    }
    layout->addWidget(detailsOf(selection, true));
    layout->addStretch();
    auto* close = new QPushButton(tr("Close"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    return form;
}

QWidget* PropertyWindow::reconstructionSheet(const PropertySelection& selection)
{
    auto* tabs = new QTabWidget;

    auto* general = new QWidget;
    auto* grid = new QGridLayout;
    const LayerSummary& s = selection.summary;
    const struct {
        const char* label;
        QString value;
        int height;
    } rows[] = {
        {"Name:", selection.name, 25},
        {"Type:", selection.kindWord, 25},
        {"Center:", s.hasBounds ? triple(s.centre()) : QString(), 25},
        {"Rotation:", QString(), 25},
        {"Current System:", selection.system, 25},
        {"point:", count(s.points), 25},
        {"comment:", QString(), 50},
    };
    int row = 0;
    for (const auto& r : rows) {
        grid->addWidget(fixedLabel(tr(r.label), 100, 25), row, 0);
        QLineEdit* edit = readOnlyEdit(r.value, 120, r.height);
        edit->setObjectName(QString::fromLatin1(r.label));
        grid->addWidget(edit, row, 1);
        ++row;
    }
    auto* ok = new QPushButton(tr("OK"));
    ok->setFixedSize(100, 25);
    auto* cancel = new QPushButton(tr("Cancel"));
    cancel->setFixedSize(100, 25);
    // The sheet changes nothing, so "OK" has nothing to apply: both close it.
    connect(ok, &QPushButton::clicked, this, &QWidget::close);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto* generalLayout = new QVBoxLayout(general);
    generalLayout->addLayout(grid);
    generalLayout->addWidget(detailsOf(selection, false));
    generalLayout->addLayout(buttons);
    generalLayout->addStretch();
    tabs->addTab(general, QIcon(QStringLiteral(":images/general.png")), tr("General"));

    auto* symbology = new QWidget;
    auto* symbolGrid = new QGridLayout(symbology);
    auto* symbol = new QComboBox;
    symbol->addItems({tr("one"), tr("two")});
    auto* showLabel = new QCheckBox;
    showLabel->setCheckable(false);
    symbolGrid->addWidget(new QLabel(tr("Symbol")), 0, 0);
    symbolGrid->addWidget(symbol, 0, 1);
    symbolGrid->addWidget(new QLabel(tr("ShowLabel")), 1, 0);
    symbolGrid->addWidget(showLabel, 1, 1);
    symbolGrid->setRowStretch(2, 1);
    tabs->addTab(symbology, QIcon(QStringLiteral(":images/3D_Scanning.png")), tr("Symbology"));

    auto* empty = new QWidget;
    auto* emptyLayout = new QVBoxLayout(empty);
    emptyLayout->addWidget(new QLabel(tr("empty")));
    tabs->addTab(empty, QIcon(QStringLiteral(":images/cloud point.png")), tr("empty"));
    return tabs;
}
