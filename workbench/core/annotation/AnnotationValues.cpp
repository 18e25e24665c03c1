#include "core/annotation/AnnotationValues.h"

#include <QFile>

namespace
{

// Value files are small; a bounded first line keeps a wrong file harmless.
constexpr qint64 maxLineLength = 1 << 20;

QString firstLineOf(const QString& path, bool* found)
{
    QFile file(path);
    *found = file.open(QIODevice::ReadOnly | QIODevice::Text);
    if (!*found)
        return QString();
    return QString::fromUtf8(file.readLine(maxLineLength)).trimmed();
}

QStringList defaultLoci()
{
    QStringList items;
    for (int i = 0; i <= 200; ++i)
        items << QString::number(i);
    return items;
}

bool parseInt(const QString& text, int* value)
{
    bool ok = false;
    *value = text.trimmed().toInt(&ok);
    return ok && !text.trimmed().isEmpty();
}

} // namespace

QStringList AnnotationValues::readCodeList(QIODevice& device)
{
    QStringList items;
    while (!device.atEnd() && items.size() < maxListItems) {
        const QString line = QString::fromUtf8(device.readLine(maxLineLength)).trimmed();
        if (line.isEmpty())
            continue;
        const int bar = line.indexOf(QLatin1Char('|'));
        const QString item = bar < 0 ? line : line.mid(bar + 1).trimmed();
        if (!item.isEmpty())
            items << item;
    }
    return items;
}

QStringList AnnotationValues::lociRange(const QString& firstLine)
{
    const QStringList parts = firstLine.split(QLatin1Char('-'));
    int low = 0;
    int high = 0;
    if (parts.size() != 2 || !parseInt(parts[0], &low) || !parseInt(parts[1], &high) || low > high ||
        qint64(high) - qint64(low) >= maxLoci)
        return defaultLoci();
    QStringList items;
    for (int i = low; i <= high; ++i)
        items << QString::number(i);
    return items;
}

QStringList AnnotationValues::commaList(const QString& firstLine)
{
    QStringList items;
    for (const QString& part : firstLine.split(QLatin1Char(','))) {
        const QString item = part.trimmed();
        if (!item.isEmpty())
            items << item;
        if (items.size() >= maxListItems)
            break;
    }
    return items;
}

bool AnnotationValues::siteYear(const QString& firstLine, QString* site, QString* year)
{
    const QStringList parts = firstLine.split(QLatin1Char(','));
    if (parts.size() != 2)
        return false;
    *site = parts[0].trimmed();
    *year = parts[1].trimmed();
    return true;
}

AnnotationValues AnnotationValues::read(const QString& projectFolder)
{
    QString folder = projectFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    AnnotationValues v;
    {
        QFile file(folder + QStringLiteral("d_code.txt"));
        if (file.open(QIODevice::ReadOnly | QIODevice::Text))
            v.dCodes = readCodeList(file);
    }
    {
        QFile file(folder + QStringLiteral("locusdesc.txt"));
        if (file.open(QIODevice::ReadOnly | QIODevice::Text))
            v.locusDescs = readCodeList(file);
    }
    bool found = false;
    const QString siteLine = firstLineOf(folder + QStringLiteral("siteyear.txt"), &found);
    if (found)
        siteYear(siteLine, &v.site, &v.year);
    v.loci = lociRange(firstLineOf(folder + QStringLiteral("lociRange.txt"), &found));
    const QString squareLine = firstLineOf(folder + QStringLiteral("squareRange.txt"), &found);
    if (found)
        v.squares = commaList(squareLine);
    const QString areaLine = firstLineOf(folder + QStringLiteral("areaRange.txt"), &found);
    if (found)
        v.areas = commaList(areaLine);
    return v;
}

QStringList AnnotationValues::numberList(int start, int end, bool letters)
{
    QStringList items;
    if (start > end || qint64(end) - qint64(start) >= maxListItems || (letters && start < 0))
        return items;
    for (int i = start; i <= end; ++i)
        items << (letters ? columnName(i) : QString::number(i));
    return items;
}

QString AnnotationValues::columnName(int n)
{
    if (n < 0)
        return QString();
    QString name;
    for (qint64 v = qint64(n) + 1; v > 0; v = (v - 1) / 26)
        name.prepend(QChar(char('A' + (v - 1) % 26)));
    return name;
}

int AnnotationValues::columnIndex(const QString& name)
{
    if (name.isEmpty() || name.size() > 6)
        return -1;
    qint64 v = 0;
    for (QChar c : name) {
        if (c < QLatin1Char('A') || c > QLatin1Char('Z'))
            return -1;
        v = v * 26 + (c.unicode() - 'A' + 1);
    }
    return int(v - 1);
}

QStringList AnnotationValues::gridNames(int firstRow, const QString& firstColumn, const QString& prefix,
                                        int rowCells, int columnCells)
{
    QStringList items;
    const int column = columnIndex(firstColumn);
    if (column < 0 || rowCells <= 0 || columnCells <= 0 || qint64(rowCells) * columnCells > maxListItems)
        return items;
    for (int r = 0; r < rowCells; ++r)
        for (int c = 0; c < columnCells; ++c)
            items << prefix + columnName(column + c) + QString::number(qint64(firstRow) + r);
    return items;
}
