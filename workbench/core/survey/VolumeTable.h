#pragma once

#include <QString>
#include <QVector>

#include "core/annotation/RecordVolume.h"

// The volumes measured in one sitting, as the table shows them and as CSV
// for a spreadsheet: one row per measurement, C locale, every digit kept.
class VolumeTable
{
public:
    struct Row {
        QString outline; // which context or heap
        RecordVolume volume;
    };

    static QString header()
    {
        return QStringLiteral("outline,method,cut_m3,fill_m3,net_m3,uncertainty_m3,area_m2");
    }
    // Written whole or not at all; false with the reason.
    static bool writeCsv(const QString& path, const QVector<Row>& rows, QString* error);
    // A text field quoted as CSV wants it when it holds a comma, a quote or a line break.
    static QString quoted(const QString& text);
};
