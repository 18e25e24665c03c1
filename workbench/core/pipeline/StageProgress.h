#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>

// How far a stage of the tool chain has come, read from the tools' progress
// lines ("progress: matching 12 of 40 pairs"), and when it will end at the
// pace so far. A tool that counts within a count prints the outer count
// first ("progress: 1 of 3 clusters", then "progress: depth maps 4 of 12
// views"); a new outer count starts the inner ones again. A count that comes
// after a finished one is the tool's next step and is timed on its own
// (the orthophoto after the elevation model). Tools running side
// by side (the matcher batches) are told apart by a source number: their
// counts add up.
class StageProgress
{
public:
    struct Count {
        QString what; // may be empty: "1 of 3 clusters"
        int done = 0;
        int total = 0;
        QString unit;
    };

    // start: when the stage began; the pace is measured from it.
    explicit StageProgress(const QDateTime& start = QDateTime());

    // The line a tool prints: "progress: " what " " done " of " total " " unit.
    static QString line(const QString& what, int done, int total, const QString& unit);
    // A progress line taken apart; false for any other line.
    static bool parse(const QString& line, Count& count);

    // Reads a line of a tool's output; false (and nothing changes) when it
    // is not a progress line. now: when it was read.
    bool read(const QString& line, const QDateTime& now, int source = 0);
    // Reads every line of a block of output, keeping a last line without its
    // end for the next block; true when one was a progress line.
    bool readAll(const QString& text, const QDateTime& now, int source = 0);
    // A count the window makes itself (files that have appeared).
    void set(const Count& count, const QDateTime& now, int source = 0);

    bool known() const;
    // The share done, 0 to 1; 0 while nothing is known.
    double fraction() const;
    // The start plus the time taken so far stretched to the whole; invalid
    // while nothing is done yet.
    QDateTime estimatedEnd() const;
    // "matching 12 of 40 pairs", the inner counts after the outer; empty
    // while no progress line came.
    QString countText() const;
    // stage + ": " + the counts + ", estimated end hh:mm:ss" when known;
    // the stage alone while no progress line came.
    QString text(const QString& stage) const;

private:
    struct Source {
        int id = 0;
        QVector<Count> counts; // outer first
        QString partial;       // a line whose end has not come yet
    };
    static constexpr int maxLineLength = 1000;
    static double fractionOf(const QVector<Count>& counts, int from);
    Source& source(int id);

    QDateTime m_start;
    QDateTime m_last;
    QVector<Source> m_sources;
};
