#pragma once

#include <QHash>
#include <QListWidget>
#include <QStringList>

#include <optional>

// The list of the project's photographs in the "Images View" dock. Behind the
// rows it keeps which full path each displayed name stands for.
class MyListWidget : public QListWidget
{
    Q_OBJECT
public:
    explicit MyListWidget(QWidget* parent = nullptr);

    // Adds a row showing displayName for the image at fullPath.
    void addImage(const QString& fullPath, const QString& displayName);
    // Removes every row and every remembered path.
    void clearImages();
    QString fullPath(const QString& displayName) const { return m_paths.value(displayName); }

    struct Entry {
        QString path;
        QString name;
    };
    // Appends one row per path, named after the part after its last "/".
    void addImages(const QStringList& paths);
    // The row after (before) the one named displayName, wrapping around at
    // the ends; nothing when the list holds fewer than two rows or no such row.
    std::optional<Entry> nextEntry(const QString& displayName) const;
    std::optional<Entry> previousEntry(const QString& displayName) const;
    // Removes every row showing the image at path; each removal emits
    // updateDeteleItem(). The file stays on disk.
    void deleteImage(const QString& path);

signals:
    void updateDeteleItem();

private:
    std::optional<Entry> neighbour(const QString& displayName, int step) const;

    QHash<QString, QString> m_paths; // display name -> full path
};
