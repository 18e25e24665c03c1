#pragma once

#include <QString>
#include <QVector>
#include <QWidget>

class QAction;
class QLabel;
class QTreeWidget;

// The "Ground Control" dock's list of targets found in the photos: one row
// per candidate observation (point, photo, where, how sure) and per photo
// where a point's target was not found, with the reason. The buttons find
// the targets, accept them all, or accept or reject the selected one.
class TargetCandidates : public QWidget
{
    Q_OBJECT
public:
    enum Column { Point, Photo, ColumnX, RowY, Status, ColumnCount };

    // What a row is now: found and waiting, found where the point is marked
    // by hand already, taken as the point's observation, rejected by the
    // user, or not found.
    enum class State { Candidate, HandMarked, Accepted, Rejected, Refused };
    struct Entry {
        QString point;
        QString image;
        double column = 0, row = 0; // the target found, or where it was expected
        double score = 0;
        State state = State::Candidate;
        QString reason; // why it was refused or rejected
    };

    explicit TargetCandidates(QWidget* parent = nullptr);

    QTreeWidget* list() const { return m_list; }
    QAction* findAction() const { return m_find; }
    // Stops a search under way (enabled only while one runs).
    QAction* stopAction() const { return m_stop; }
    QAction* acceptAllAction() const { return m_acceptAll; }
    QAction* acceptAction() const { return m_accept; }
    QAction* rejectAction() const { return m_reject; }

    // Shows the entries (their rows in this order) and their counts.
    void setEntries(const QVector<Entry>& entries);
    // The entry of the selected row, -1 when none is selected.
    int currentEntry() const;
    // A line while a search runs ("photo 3 of 16"), or the counts when empty.
    void setProgress(const QString& text);

    static QString stateText(const Entry& entry);

private:
    void updateActions();

    QTreeWidget* m_list;
    QLabel* m_count;
    QAction* m_find;
    QAction* m_stop;
    QAction* m_acceptAll;
    QAction* m_accept;
    QAction* m_reject;
    QString m_counts;
    QVector<Entry> m_entries;
};
