#pragma once

#include <QVector>

#include "core/images/ImagePick.h"

// What the user has picked in the image viewers, shared by all of them:
// the image matches (groups of observations of one spot, paired across two
// photographs), the features picked for inspection, and the matches of
// earlier extracts.
class ImageSelection
{
public:
    using Match = QVector<ImagePick>;

    enum class PickOutcome {
        Added,     // joined a match
        Removed,   // an earlier pick within 5 pixels was taken away instead
        SameImage, // the open match already has a pick in this image: nothing added
    };

    // A pick in the "match pixels" mode. With `removeNearby`, a pick of the
    // same image within 5 pixels is removed instead of adding one (nearest
    // gives the distance of the nearest pick found within 100 pixels, or -1).
    // Otherwise the pick joins the first match with fewer than two picks, or
    // starts a new one.
    PickOutcome pick(const ImagePick& pick, bool removeNearby, double* nearest = nullptr);
    // Takes the last pick of the last match away (and the match when it
    // becomes empty). False when there is nothing to undo.
    bool undo();

    // A feature picked for inspection: added, or removed when the list holds
    // the same image and point already. True when added.
    bool toggleFeature(const ImagePick& feature);

    // Moves the matches of `indices` (in order) to the history: each pick gets
    // its match's position in this extract and the shape index. The other
    // matches stay.
    void moveToHistory(const QVector<int>& indices, int shapeIndex);

    const QVector<Match>& matches() const { return m_matches; }
    QVector<Match>& matches() { return m_matches; }
    const QVector<ImagePick>& pickedFeatures() const { return m_picked; }
    const QVector<Match>& history() const { return m_history; }

    // The single pick of the last match, when it holds exactly one; null otherwise.
    const ImagePick* openPick() const;

private:
    QVector<Match> m_matches;
    QVector<ImagePick> m_picked;
    QVector<Match> m_history;
};
