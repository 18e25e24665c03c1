#include "core/pipeline/MatchPlan.h"

#include "core/log/LogSink.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

#include "core/pipeline/BatchSplit.h"
#include "core/pipeline/FocalList.h"
#include "core/pipeline/PipelineLayout.h"
#include "core/pipeline/ScriptFile.h"

namespace
{

QString pairLine(const QStringList& features, int a, int b)
{
    return ScriptFile::quoted(features[a]) + QLatin1Char(' ') + ScriptFile::quoted(features[b]) +
           QLatin1Char(' ') + QString::number(a) + QLatin1Char(' ') + QString::number(b);
}

// The feature paths of the images of the earlier run, as its list names them.
QSet<QString> earlierFeatures(const QString& oldList)
{
    QSet<QString> known;
    QFile file(oldList);
    if (!file.open(QIODevice::ReadOnly))
        return known;
    QTextStream in(&file);
    while (!in.atEnd()) {
        // Bundler's lines carry " 0 <focal>" after the image; a path with a blank is quoted.
        QString image = FocalList::imageOfLine(in.readLine());
        image.remove(QLatin1Char('"'));
        known.insert(image.left(std::max(0, int(image.size()) - 3)) + QStringLiteral("keyb"));
    }
    return known;
}

} // namespace

QString MatchPlan::listName(int i)
{
    return QStringLiteral("matchList_%1.txt").arg(i);
}

MatchPlan MatchPlan::choose(const PipelineLayout& layout)
{
    MatchPlan plan;
    const QStringList& features = layout.featurePaths();
    const QString oldList = layout.file(QLatin1String(FocalList::oldFileName));
    QVector<int> fresh;
    if (QFileInfo::exists(layout.file(listName(0))) && QFileInfo::exists(oldList)) {
        const QSet<QString> known = earlierFeatures(oldList);
        for (int k = 0; k < features.size(); ++k)
            if (!known.contains(features[k]))
                fresh << k;
    }
    if (!fresh.isEmpty()) {
        plan.m_incremental = true;
        for (int k : fresh)
            for (int v = 0; v < features.size() && features[v] != features[k]; ++v)
                plan.m_pairs << pairLine(features, k, v);
        return plan;
    }
    for (int i = 0; i + 1 < features.size(); ++i)
        for (int j = i + 1; j < features.size(); ++j)
            plan.m_pairs << pairLine(features, i, j);
    return plan;
}

QVector<QStringList> MatchPlan::batches(int processCount) const
{
    return BatchSplit::split(m_pairs, processCount);
}

void MatchPlan::writeLists(const PipelineLayout& layout) const
{
    const int n = layout.processCount();
    const int total = int(m_pairs.size());
    LogSink::printf(LogLevel::Debug, "Total %i Split %i Remainder %i\n", total, total / n, total % n);
    const QVector<QStringList> lists = batches(n);
    for (int i = 0; i < lists.size(); ++i)
        ScriptFile::write(layout.file(listName(i)), ScriptFile::join(lists[i], false));
}
