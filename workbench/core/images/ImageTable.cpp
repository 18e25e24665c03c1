#include "core/images/ImageTable.h"

QString ImageTable::displayName(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

void ImageTable::append(const QString& path, const QString& name)
{
    m_records.append({path, name});
}

int ImageTable::lastIndexOf(const QString& name) const
{
    for (int i = m_records.size() - 1; i >= 0; --i)
        if (m_records[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString ImageTable::pathOf(const QString& name) const
{
    const int i = lastIndexOf(name);
    return i < 0 ? QString() : m_records[i].path;
}

bool ImageTable::setPathOf(const QString& name, const QString& path)
{
    const int i = lastIndexOf(name);
    if (i < 0)
        return false;
    m_records[i].path = path;
    return true;
}

QStringList ImageTable::removePath(const QString& path)
{
    QStringList names;
    for (int i = m_records.size() - 1; i >= 0; --i) {
        if (m_records[i].path.compare(path, Qt::CaseInsensitive) == 0) {
            names.prepend(m_records[i].name);
            m_records.remove(i);
        }
    }
    return names;
}

int ImageTable::rename(const QString& oldName, const QString& newName)
{
    int changed = 0;
    for (Record& r : m_records) {
        if (r.name.compare(oldName, Qt::CaseInsensitive) == 0) {
            r.name = newName;
            ++changed;
        }
    }
    return changed;
}

int ImageTable::indexOf(const QString& path, const QString& name) const
{
    for (int i = 0; i < m_records.size(); ++i)
        if (m_records[i].path.compare(path, Qt::CaseInsensitive) == 0 &&
            m_records[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool ImageTable::setPath(const QString& path, const QString& name, const QString& newPath)
{
    const int i = indexOf(path, name);
    if (i < 0)
        return false;
    m_records[i].path = newPath;
    return true;
}

int ImageTable::rename(const QString& path, const QString& oldName, const QString& newName)
{
    int changed = 0;
    for (Record& r : m_records) {
        if (r.path.compare(path, Qt::CaseInsensitive) == 0 &&
            r.name.compare(oldName, Qt::CaseInsensitive) == 0) {
            r.name = newName;
            ++changed;
        }
    }
    return changed;
}
