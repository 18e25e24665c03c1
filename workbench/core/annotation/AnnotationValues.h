#pragma once

#include <QString>
#include <QStringList>

class QIODevice;

// The value lists of the annotation forms, read from the text files in the
// project folder: find codes, locus categories, site and year, and the
// locus, square and area choices. A missing file leaves its list empty (the
// locus list falls back to 0 ... 200).
struct AnnotationValues {
    QStringList dCodes;     // "d_code.txt"
    QStringList locusDescs; // "locusdesc.txt"
    QString site;           // "siteyear.txt"
    QString year;
    QStringList loci;    // "lociRange.txt"
    QStringList squares; // "squareRange.txt"
    QStringList areas;   // "areaRange.txt"

    // Reads every file from the folder (with or without a trailing "/").
    static AnnotationValues read(const QString& projectFolder);

    // "code|text" per line: the text after the first "|" is the list item; a
    // line without "|" is taken whole; blank lines are skipped.
    static QStringList readCodeList(QIODevice& device);
    // "low-high" gives every integer from low to high; anything else
    // (including a range of more than maxLoci numbers) gives 0 ... 200.
    static QStringList lociRange(const QString& firstLine);
    // The first line split at ",", blanks around items removed.
    static QStringList commaList(const QString& firstLine);
    // Site and year when the first line has exactly two comma-separated parts.
    static bool siteYear(const QString& firstLine, QString* site, QString* year);

    // List builders for value lists made by rule rather than read.
    // Every integer from start to end ("0" ... ) or, with letters, their
    // column names ("A" ... "Z", "AA" ...); empty when start > end or the
    // list would exceed maxListItems.
    static QStringList numberList(int start, int end, bool letters);
    // Column name of n: 0 "A", 25 "Z", 26 "AA"; empty for n < 0.
    static QString columnName(int n);
    // Grid square names, row by row: prefix + column name + row number, for
    // rowCells rows from firstRow and columnCells columns from the column
    // named firstColumn.
    static QStringList gridNames(int firstRow, const QString& firstColumn, const QString& prefix,
                                 int rowCells, int columnCells);
    // Inverse of columnName; -1 for a text that is no column name.
    static int columnIndex(const QString& name);

    static constexpr int maxLoci = 100000;
    static constexpr int maxListItems = 100000;
};
