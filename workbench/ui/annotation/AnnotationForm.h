#pragma once

#include <QString>
#include <QWidget>

#include "core/annotation/AnnotationRecord.h"
#include "core/annotation/AnnotationValues.h"

class QComboBox;
class QGridLayout;
class QLineEdit;
class QPushButton;

// The common part of the "Points" and "Polygons" input panels: a grid with
// one row per field (its name in column 0), the input-mode toggle, the
// button that takes the last pick, and "&Record".
class AnnotationForm : public QWidget
{
    Q_OBJECT
public:
    static constexpr int maxTextLength = 15;
    // Coordinates hold every digit of a double (the shortest text of any
    // double is at most 24 characters): survey coordinates and a sent
    // position's full precision must not be cut at 15.
    static constexpr int maxCoordinateLength = 32;

    QLineEdit* dateEdit() const { return m_date; }
    QLineEdit* basketEdit() const { return m_basket; }
    QLineEdit* edmEdit() const { return m_edm; }
    QComboBox* dCodeList() const { return m_dCode; }
    QComboBox* locusList() const { return m_locus; }
    QComboBox* squareList() const { return m_square; }
    QComboBox* areaList() const { return m_area; }
    QLineEdit* siteEdit() const { return m_site; }
    QLineEdit* yearEdit() const { return m_year; }
    QPushButton* toggleButton() const { return m_toggle; }
    QPushButton* getButton() const { return m_get; }
    QPushButton* recordButton() const { return m_record; }
    QGridLayout* grid() const { return m_grid; }

    // Fills the lists from the value files and sets site and year.
    virtual void setValues(const AnnotationValues& values);
    // The attributes both kinds share, from the form as it stands.
    void fillRecord(AnnotationRecord& record) const;

protected:
    explicit AnnotationForm(QWidget* parent = nullptr);
    QLineEdit* addTextRow(const QString& name, const QString& value = QString(), int maxLength = maxTextLength);
    QComboBox* addListRow(const QString& name);
    // The shared rows from "Date" to "EDM", and from "Locus" to "Year".
    void addHeadRows(const QString& basket);
    void addPlaceRows();
    void addButtonRows(const QString& getText);
    int nextRow() const { return m_row; }

    // Set by each panel where its d_code row lies.
    QComboBox* m_dCode = nullptr;

private:
    QGridLayout* m_grid;
    int m_row = 0;
    QLineEdit* m_date = nullptr;
    QLineEdit* m_basket = nullptr;
    QLineEdit* m_edm = nullptr;
    QComboBox* m_locus = nullptr;
    QComboBox* m_square = nullptr;
    QComboBox* m_area = nullptr;
    QLineEdit* m_site = nullptr;
    QLineEdit* m_year = nullptr;
    QPushButton* m_toggle = nullptr;
    QPushButton* m_get = nullptr;
    QPushButton* m_record = nullptr;
};
