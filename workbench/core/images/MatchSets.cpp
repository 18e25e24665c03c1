#include "core/images/MatchSets.h"

#include "core/log/LogSink.h"

#include <QFile>

#include <cstdio>

#include "core/io/TextLineReader.h"

namespace
{

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

bool blankLine(const char* p, const char* end)
{
    for (; p < end; ++p)
        if (!isBlank(*p))
            return false;
    return true;
}

bool nextLine(TextLineReader& lines, const char*& begin, const char*& end)
{
    while (lines.next(begin, end))
        if (!blankLine(begin, end))
            return true;
    return false;
}

// The next word; a "quoted part" keeps its blanks (a path such as
// "C:\Grabung Sud 2\a.jpg") and loses its quotes. quoteOpen is set when
// the line ends inside quotes.
QByteArray nextWord(const char*& p, const char* end, bool* quoteOpen = nullptr)
{
    while (p < end && isBlank(*p))
        ++p;
    QByteArray word;
    bool quoted = false;
    for (; p < end && (quoted || !isBlank(*p)); ++p) {
        if (*p == '"')
            quoted = !quoted;
        else
            word += *p;
    }
    if (quoteOpen)
        *quoteOpen = quoted;
    return word;
}

// Exactly `count` whole numbers on a line; false when the line holds fewer,
// more or something else. A line of L bytes holds at most L / 2 + 1 numbers,
// so no count reserves more than the line itself, whatever the device.
bool readIndices(const char* p, const char* end, int count, QVector<int>& out)
{
    out.clear();
    if (qint64(count) > (end - p) / 2 + 1)
        return false;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QByteArray word = nextWord(p, end);
        bool ok = false;
        const int v = word.toInt(&ok);
        if (!ok || v < 0)
            return false;
        out.append(v);
    }
    return nextWord(p, end).isEmpty();
}

// The matcher writes Windows paths; the name is what follows the last separator.
QString baseName(const QByteArray& path)
{
    const int cut = std::max(path.lastIndexOf('\\'), path.lastIndexOf('/'));
    return QString::fromUtf8(path.mid(cut + 1));
}

bool fail(QString* error, const QString& text, qint64 line)
{
    if (error)
        *error = QStringLiteral("%1 (line %2)").arg(text).arg(line);
    return false;
}

} // namespace

QString MatchSets::pathFor(const QString& imagePath)
{
    return imagePath.left(imagePath.lastIndexOf('/')) + QLatin1Char('/') + fileName();
}

int MatchSets::indexOf(const QString& name) const
{
    return m_index.value(name.toCaseFolded(), -1);
}

int MatchSets::entryFor(const QString& name)
{
    const int i = indexOf(name);
    if (i >= 0)
        return i;
    m_index.insert(name.toCaseFolded(), m_entries.size());
    m_entries.append({name, {}});
    LogSink::printf(LogLevel::Debug, "Match Index is%dand name is %s\n", int(m_entries.size() - 1),
                    qPrintable(name));
    return m_entries.size() - 1;
}

QVector<MatchSets::Match> MatchSets::matchesOf(const QString& name, int feature) const
{
    const int i = indexOf(name);
    return i < 0 ? QVector<Match>() : m_entries[i].features.value(feature);
}

bool MatchSets::read(QIODevice& device, QString* error)
{
    TextLineReader lines(&device);
    const char* begin = nullptr;
    const char* end = nullptr;
    QVector<int> a, b;
    // Blank lines may stand between records; inside a record the two index
    // lines are the very next lines, empty when the count is 0.
    while (nextLine(lines, begin, end)) {
        const char* p = begin;
        bool open = false;
        const QByteArray pathA = nextWord(p, end, &open);
        const QByteArray pathB = open ? QByteArray() : nextWord(p, end, &open);
        bool ok = false;
        const int n = nextWord(p, end).toInt(&ok);
        if (open || pathB.isEmpty() || !ok || n < 0 || !nextWord(p, end).isEmpty())
            return fail(error, QStringLiteral("expected \"image image count\""), lines.lineNumber());
        // Each index takes at least two bytes; a count the file cannot hold is refused before reading on.
        const qint64 left = lines.bytesLeft();
        if (left >= 0 && qint64(n) * 4 > left + 2)
            return fail(error, QStringLiteral("%1 matches cannot follow in what is left of the file").arg(n),
                        lines.lineNumber());
        if (!lines.next(begin, end) || !readIndices(begin, end, n, a))
            return fail(error,
                        QStringLiteral("expected %1 feature indices of %2").arg(n).arg(baseName(pathA)),
                        lines.lineNumber());
        if (!lines.next(begin, end) || !readIndices(begin, end, n, b))
            return fail(error,
                        QStringLiteral("expected %1 feature indices of %2").arg(n).arg(baseName(pathB)),
                        lines.lineNumber());
        const QString nameA = baseName(pathA), nameB = baseName(pathB);
        const int ia = entryFor(nameA);
        const int ib = entryFor(nameB);
        for (int i = 0; i < n; ++i) {
            m_entries[ia].features[a[i]].append({nameB, b[i]});
            m_entries[ib].features[b[i]].append({nameA, a[i]});
        }
    }
    return true;
}

bool MatchSets::readFile(const QString& path, QString* error)
{
    LogSink::printf(LogLevel::Debug, "%s\n", qPrintable(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    QString reason;
    const bool ok = read(file, &reason);
    LogSink::printf(LogLevel::Debug, "Read!!\n");
    if (!ok && error)
        *error = path + QStringLiteral(": ") + reason;
    return ok;
}
