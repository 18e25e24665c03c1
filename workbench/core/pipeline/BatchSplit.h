#pragma once

#include <QStringList>
#include <QVector>

// How the tool chain shares work over its parallel processes.
class BatchSplit
{
public:
    // n batches in order: the first n - 1 get items.size() / n items each, the
    // last one the rest. n below 1 counts as 1.
    static QVector<QStringList> split(const QStringList& items, int n);
};
