#include "MyListWidget.h"

MyListWidget::MyListWidget(QWidget* parent) : QListWidget(parent) {}

void MyListWidget::addImage(const QString& fullPath, const QString& displayName)
{
    addItem(displayName);
    m_paths.insert(displayName, fullPath);
}

void MyListWidget::clearImages()
{
    clear();
    m_paths.clear();
}

void MyListWidget::addImages(const QStringList& paths)
{
    for (const QString& path : paths)
        addImage(path, path.mid(path.lastIndexOf('/') + 1));
}

std::optional<MyListWidget::Entry> MyListWidget::neighbour(const QString& displayName, int step) const
{
    const int n = count();
    if (n < 2)
        return std::nullopt;
    for (int i = 0; i < n; ++i) {
        if (item(i)->text().compare(displayName, Qt::CaseInsensitive) == 0) {
            const QString name = item((i + step + n) % n)->text();
            return Entry{fullPath(name), name};
        }
    }
    return std::nullopt;
}

std::optional<MyListWidget::Entry> MyListWidget::nextEntry(const QString& displayName) const
{
    return neighbour(displayName, 1);
}

std::optional<MyListWidget::Entry> MyListWidget::previousEntry(const QString& displayName) const
{
    return neighbour(displayName, -1);
}

void MyListWidget::deleteImage(const QString& path)
{
    for (int i = count() - 1; i >= 0; --i) {
        const QString name = item(i)->text();
        if (fullPath(name).compare(path, Qt::CaseInsensitive) == 0) {
            m_paths.remove(name);
            delete takeItem(i);
            emit updateDeteleItem();
        }
    }
}
