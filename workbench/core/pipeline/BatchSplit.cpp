#include "core/pipeline/BatchSplit.h"

#include <algorithm>

QVector<QStringList> BatchSplit::split(const QStringList& items, int n)
{
    n = std::max(1, n);
    const int per = int(items.size()) / n;
    QVector<QStringList> batches(n);
    for (int i = 0; i < n - 1; ++i)
        batches[i] = items.mid(i * per, per);
    batches[n - 1] = items.mid((n - 1) * per);
    return batches;
}
