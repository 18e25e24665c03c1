#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

class PipelineLayout;

// Which image pairs the matcher compares after feature detection, and the
// matchList_i.txt lists that share them over the parallel matcher runs. After
// an earlier run (matchList_0.txt and listfocal_old.txt present) only the new
// images are paired with those listed before them; otherwise every pair once.
class MatchPlan
{
public:
    static QString listName(int i); // "matchList_<i>.txt"

    static MatchPlan choose(const PipelineLayout& layout);

    // True when only new images are matched ("Matching From GPS").
    bool incremental() const { return m_incremental; }
    // "featureA featureB indexA indexB" per pair.
    const QStringList& pairs() const { return m_pairs; }
    QVector<QStringList> batches(int processCount) const;

    // Writes matchList_0 .. matchList_(n-1) and reports the split on standard
    // output; a list that cannot be written is passed over.
    void writeLists(const PipelineLayout& layout) const;

private:
    bool m_incremental = false;
    QStringList m_pairs;
};
