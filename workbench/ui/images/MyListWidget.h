#pragma once

#include <QHash>
#include <QListWidget>
#include <QPersistentModelIndex>
#include <QStringList>

#include <optional>

#include "core/images/ImageTable.h"

class ThumbnailLoader;

// The list of the project's photographs in the "Images View" dock. Each row
// shows a display name and carries the full path of its own file, so that two
// photographs of one name from two folders stay two; behind the rows a table
// keeps the (path, name) records for the thumbnail view. Offers deletion,
// renaming and a thumbnail view through its context menu.
class MyListWidget : public QListWidget
{
    Q_OBJECT
public:
    explicit MyListWidget(QWidget* parent = nullptr);
    ~MyListWidget() override;

    // Appends one row per path, named after the part after its last "/".
    // Each batch gets the next of black, green, blue and red as text colour.
    void addImages(const QStringList& paths);
    // Adds a row showing displayName for the image at fullPath (a project's image list).
    void addImage(const QString& fullPath, const QString& displayName);
    // Removes every row and every remembered path.
    void clearImages();

    // The path of the last image added under this name (case-insensitive), empty for none.
    QString fullPath(const QString& displayName) const { return m_table.pathOf(displayName); }
    // The file of a row: its own path, whatever other rows show the same name.
    QString pathOf(const QListWidgetItem* row) const;
    // The full paths of the rows in list order.
    QStringList imagePaths() const;
    // Points a row, and the record of its file, at a new file.
    void setPathOf(QListWidgetItem* row, const QString& path);
    const ImageTable& table() const { return m_table; }

    // The row after (before) the one of the file at path (case-insensitive),
    // wrapping around at the ends; nothing when the list holds fewer than two
    // rows or no such row.
    std::optional<ImageTable::Record> nextEntry(const QString& path) const;
    std::optional<ImageTable::Record> previousEntry(const QString& path) const;

    // Removes the image's records and every row of that file; each removed
    // row emits updateDeteleItem(). The file stays on disk.
    void deleteImage(const QString& path);
    // The record of the row being renamed, named oldName, takes newName.
    void renameInTable(const QString& oldName, const QString& newName);

    // The text of the row being renamed, and that row; empty and null when no
    // rename is under way.
    QString renameText() const { return m_renameText; }
    QListWidgetItem* renamingItem() const { return itemFromIndex(m_renamingRow); }
    // Ends the rename under way: the row is no longer editable.
    void endRename();

    QListWidgetItem* lastItem() const { return itemFromIndex(m_lastRow); }
    ThumbnailLoader* thumbnailLoader() const { return m_thumbnails; }

    static constexpr int thumbnailSize = 100;

signals:
    void updateDeteleItem();
    // Every thumbnail of the view asked for last has arrived.
    void thumbnailsFinished();

public slots:
    void showContextMenuForWidget(const QPoint& pos);
    void rename();
    void deleteImageListItem();
    void getThumbnailImage();

private:
    void removeRow(QListWidgetItem* item);
    std::optional<ImageTable::Record> neighbour(const QString& path, int step) const;
    void appendRow(QListWidgetItem* row, const QString& path);
    void placeThumbnail(int index, const QImage& image);

    ImageTable m_table;
    QString m_renameText;
    // Rows as persistent indexes: they follow moves and go invalid when the
    // row is removed, by whatever means.
    QPersistentModelIndex m_renamingRow;
    QPersistentModelIndex m_lastRow;
    ThumbnailLoader* m_thumbnails = nullptr;
    QHash<int, QPersistentModelIndex> m_thumbnailRows; // job index -> row awaiting its icon
};
