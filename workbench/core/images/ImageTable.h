#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The records behind the image list: which full path each displayed name
// stands for, in order of adding. Names are compared without regard to case,
// as the file systems the photographs come from do.
class ImageTable
{
public:
    struct Record {
        QString path; // as added, forward slashes
        QString name; // what the list shows
    };

    // The part of a path after its last "/".
    static QString displayName(const QString& path);

    void append(const QString& path, const QString& name);
    void clear() { m_records.clear(); }
    const QVector<Record>& records() const { return m_records; }
    int size() const { return m_records.size(); }

    // The path of the last record named name; empty when none is.
    QString pathOf(const QString& name) const;
    // Points the record pathOf(name) would answer at a new path; false when none is named so.
    bool setPathOf(const QString& name, const QString& path);
    // Points the record of (path, name) at newPath; false when there is none.
    bool setPath(const QString& path, const QString& name, const QString& newPath);
    // Erases every record whose path equals path and returns their names.
    QStringList removePath(const QString& path);
    // Gives every record named oldName the name newName; returns how many changed.
    int rename(const QString& oldName, const QString& newName);
    // The same for the records of one file only.
    int rename(const QString& path, const QString& oldName, const QString& newName);

private:
    int lastIndexOf(const QString& name) const;
    int indexOf(const QString& path, const QString& name) const;

    QVector<Record> m_records;
};
