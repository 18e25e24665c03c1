#include "ui/annotation/AnnotationForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

AnnotationForm::AnnotationForm(QWidget* parent) : QWidget(parent), m_grid(new QGridLayout(this))
{
    m_grid->setAlignment(Qt::AlignTop);
}

QLineEdit* AnnotationForm::addTextRow(const QString& name, const QString& value, int maxLength)
{
    auto* edit = new QLineEdit(value, this);
    edit->setMaxLength(maxLength);
    edit->setObjectName(name);
    m_grid->addWidget(new QLabel(name, this), m_row, 0);
    m_grid->addWidget(edit, m_row, 1);
    ++m_row;
    return edit;
}

QComboBox* AnnotationForm::addListRow(const QString& name)
{
    auto* list = new QComboBox(this);
    list->setObjectName(name);
    m_grid->addWidget(new QLabel(name, this), m_row, 0);
    m_grid->addWidget(list, m_row, 1);
    ++m_row;
    return list;
}

void AnnotationForm::addHeadRows(const QString& basket)
{
    m_date = addTextRow(tr("Date"));
    m_basket = addTextRow(tr("Basket"), basket);
    m_edm = addTextRow(tr("EDM"), QStringLiteral("1"));
}

void AnnotationForm::addPlaceRows()
{
    m_locus = addListRow(tr("Locus"));
    m_square = addListRow(tr("Square"));
    m_area = addListRow(tr("Area"));
    m_site = addTextRow(tr("Site"));
    m_year = addTextRow(tr("Year"));
}

void AnnotationForm::addButtonRows(const QString& getText)
{
    m_toggle = new QPushButton(tr("&Toggle Record"), this);
    m_toggle->setCheckable(true);
    m_get = new QPushButton(getText, this);
    m_grid->addWidget(m_toggle, m_row, 0);
    m_grid->addWidget(m_get, m_row, 1);
    ++m_row;
    m_record = new QPushButton(tr("&Record"), this);
    m_grid->addWidget(m_record, m_row, 0);
    ++m_row;
}

void AnnotationForm::setValues(const AnnotationValues& values)
{
    const auto fill = [](QComboBox* list, const QStringList& items) {
        list->clear();
        list->addItems(items);
        list->setCurrentIndex(items.isEmpty() ? -1 : 0);
    };
    fill(m_locus, values.loci);
    fill(m_square, values.squares);
    fill(m_area, values.areas);
    if (!values.site.isEmpty() || !values.year.isEmpty()) {
        m_site->setText(values.site);
        m_year->setText(values.year);
    }
}

void AnnotationForm::fillRecord(AnnotationRecord& record) const
{
    record.date = m_date->text();
    record.basket = m_basket->text();
    record.edm = m_edm->text();
    record.dCode = m_dCode->currentText();
    record.locus = m_locus->currentText();
    record.square = m_square->currentText();
    record.area = m_area->currentText();
    record.site = m_site->text();
    record.year = m_year->text();
}
