#pragma once

#include <QHash>
#include <QString>
#include <QVector>

class QIODevice;

// The matcher's feature matches between the photographs of a folder
// ("gpu_matches.init.txt"), arranged per image: which of its features were
// matched to which feature of which other image.
class MatchSets
{
public:
    struct Match {
        QString otherImage; // file name without folder
        int otherFeature = 0;
    };
    struct Entry {
        QString name;                        // file name without folder
        QHash<int, QVector<Match>> features; // feature index -> its matches
    };

    // The folder of the image followed by "/gpu_matches.init.txt".
    static QString pathFor(const QString& imagePath);
    static QString fileName() { return QStringLiteral("gpu_matches.init.txt"); }

    // Records of three lines to the end: "pathA pathB n", the n feature
    // indices in A, the n in B (both lines empty when n is 0). A path that
    // holds a blank stands in double quotes. Entries already held are
    // extended. False with a message naming the line when a record is
    // malformed; the records before it are kept.
    bool read(QIODevice& device, QString* error = nullptr);
    bool readFile(const QString& path, QString* error = nullptr);

    const QVector<Entry>& entries() const { return m_entries; }
    bool isEmpty() const { return m_entries.isEmpty(); }
    // The entry of an image file name (compared without regard to case), -1 when absent.
    int indexOf(const QString& name) const;
    // The matches of one feature of an image; empty when there are none.
    QVector<Match> matchesOf(const QString& name, int feature) const;

private:
    int entryFor(const QString& name);

    QVector<Entry> m_entries;
    // Entry of each case-folded name: a folder of many thousand photos is
    // looked up in constant time per name, not by a scan of all of them.
    QHash<QString, int> m_index;
};
