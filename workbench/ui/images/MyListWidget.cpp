#include "ui/images/MyListWidget.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QMenu>

#include "ui/images/ThumbnailLoader.h"

namespace
{
// Batches added so far, program-wide: picks the text colour of the next batch.
int addedBatches = 0;
// Where a row keeps the full path of its file.
constexpr int pathRole = Qt::UserRole + 1;
} // namespace

MyListWidget::MyListWidget(QWidget* parent) : QListWidget(parent), m_thumbnails(new ThumbnailLoader(this))
{
    setDragDropMode(QAbstractItemView::InternalMove);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &MyListWidget::showContextMenuForWidget);
    // Editing that ends without a change sends no itemChanged; the rename
    // ends with the editor either way.
    connect(itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] { endRename(); });
    connect(m_thumbnails, &ThumbnailLoader::thumbnailReady, this, &MyListWidget::placeThumbnail);
    connect(m_thumbnails, &ThumbnailLoader::finished, this, &MyListWidget::thumbnailsFinished);
}

MyListWidget::~MyListWidget() = default;

void MyListWidget::addImages(const QStringList& paths)
{
    static const Qt::GlobalColor colours[] = {Qt::black, Qt::green, Qt::blue, Qt::red};
    const QColor colour = colours[addedBatches % 4];
    for (const QString& path : paths) {
        const QString name = ImageTable::displayName(path);
        m_table.append(path, name);
        auto* row = new QListWidgetItem(name);
        row->setForeground(colour);
        appendRow(row, path);
    }
    ++addedBatches;
}

void MyListWidget::addImage(const QString& fullPath, const QString& displayName)
{
    m_table.append(fullPath, displayName);
    appendRow(new QListWidgetItem(displayName), fullPath);
}

void MyListWidget::appendRow(QListWidgetItem* row, const QString& path)
{
    row->setData(pathRole, path);
    addItem(row);
    m_lastRow = QPersistentModelIndex(indexFromItem(row));
}

void MyListWidget::clearImages()
{
    m_thumbnails->cancel();
    m_thumbnailRows.clear();
    endRename();
    clear();
    m_table.clear();
}

QString MyListWidget::pathOf(const QListWidgetItem* row) const
{
    return row ? row->data(pathRole).toString() : QString();
}

QStringList MyListWidget::imagePaths() const
{
    QStringList paths;
    for (int i = 0; i < count(); ++i)
        paths << pathOf(item(i));
    return paths;
}

void MyListWidget::setPathOf(QListWidgetItem* row, const QString& path)
{
    if (!row)
        return;
    m_table.setPath(pathOf(row), row->text(), path);
    row->setData(pathRole, path);
}

void MyListWidget::renameInTable(const QString& oldName, const QString& newName)
{
    if (QListWidgetItem* row = renamingItem())
        m_table.rename(pathOf(row), oldName, newName);
}

std::optional<ImageTable::Record> MyListWidget::neighbour(const QString& path, int step) const
{
    const int n = count();
    if (n < 2)
        return std::nullopt;
    for (int i = 0; i < n; ++i) {
        if (pathOf(item(i)).compare(path, Qt::CaseInsensitive) == 0) {
            const QListWidgetItem* other = item((i + step + n) % n);
            return ImageTable::Record{pathOf(other), other->text()};
        }
    }
    return std::nullopt;
}

std::optional<ImageTable::Record> MyListWidget::nextEntry(const QString& path) const
{
    return neighbour(path, 1);
}

std::optional<ImageTable::Record> MyListWidget::previousEntry(const QString& path) const
{
    return neighbour(path, -1);
}

void MyListWidget::removeRow(QListWidgetItem* item)
{
    if (item == renamingItem())
        endRename();
    delete takeItem(row(item));
    emit updateDeteleItem();
}

void MyListWidget::deleteImage(const QString& path)
{
    m_table.removePath(path);
    for (int i = count() - 1; i >= 0; --i)
        if (pathOf(item(i)).compare(path, Qt::CaseInsensitive) == 0)
            removeRow(item(i));
}

void MyListWidget::showContextMenuForWidget(const QPoint& pos)
{
    QListWidgetItem* at = itemAt(pos);
    if (!at)
        return;
    // The entries act on the current row: make it the one the menu was opened on.
    setCurrentItem(at);
    QMenu menu(this);
    connect(menu.addAction(tr("Delete")), &QAction::triggered, this, &MyListWidget::deleteImageListItem);
    connect(menu.addAction(tr("Rename")), &QAction::triggered, this, &MyListWidget::rename);
    connect(menu.addAction(tr("Thumbnail")), &QAction::triggered, this, &MyListWidget::getThumbnailImage);
    menu.addAction(tr("Split Group"));
    menu.addAction(tr("Assign Group"));
    menu.addAction(tr("Compare to All"));
    menu.exec(viewport()->mapToGlobal(pos));
}

void MyListWidget::deleteImageListItem()
{
    if (QListWidgetItem* current = currentItem())
        removeRow(current);
}

void MyListWidget::rename()
{
    QListWidgetItem* current = currentItem();
    if (!current)
        return;
    m_renameText = current->text();
    m_renamingRow = QPersistentModelIndex(indexFromItem(current));
    current->setFlags(current->flags() | Qt::ItemIsEditable);
    editItem(current);
}

void MyListWidget::endRename()
{
    QListWidgetItem* renamed = renamingItem();
    m_renamingRow = QPersistentModelIndex();
    m_renameText.clear();
    // Cleared first: the flag change below is itself an itemChanged.
    if (renamed)
        renamed->setFlags(renamed->flags() & ~Qt::ItemIsEditable);
}

void MyListWidget::getThumbnailImage()
{
    m_thumbnails->cancel();
    m_thumbnailRows.clear();
    endRename();
    clear();

    QVector<ThumbnailLoader::Job> jobs;
    const QVector<ImageTable::Record>& records = m_table.records();
    for (int i = 0; i < records.size(); ++i) {
        // Rows stand in their final order at once; icons fill in as they are made.
        auto* row = new QListWidgetItem(records[i].name);
        row->setData(pathRole, records[i].path);
        row->setSizeHint(QSize(thumbnailSize, thumbnailSize + 20));
        row->setTextAlignment(Qt::AlignHCenter);
        addItem(row);
        m_thumbnailRows.insert(i, QPersistentModelIndex(indexFromItem(row)));
        jobs.append({records[i].path, ThumbnailLoader::thumbnailPath(records[i].path, records[i].name)});
    }

    setViewMode(QListView::IconMode);
    setIconSize(QSize(thumbnailSize, thumbnailSize));
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setFlow(QListView::TopToBottom);
    setWrapping(false);
    setSpacing(10);

    emit updateDeteleItem(); // rows removed from the list earlier are back
    m_thumbnails->start(jobs, thumbnailSize);
}

void MyListWidget::placeThumbnail(int index, const QImage& image)
{
    const QPersistentModelIndex at = m_thumbnailRows.take(index);
    if (!at.isValid())
        return; // the row went away meanwhile
    if (QListWidgetItem* row = itemFromIndex(at))
        row->setIcon(QIcon(QPixmap::fromImage(image)));
}
