#include "core/pipeline/StageProgress.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

StageProgress::StageProgress(const QDateTime& start) : m_start(start) {}

QString StageProgress::line(const QString& what, int done, int total, const QString& unit)
{
    QString text = QStringLiteral("progress: ");
    if (!what.isEmpty())
        text += what + QLatin1Char(' ');
    return text + QString::number(done) + QStringLiteral(" of ") + QString::number(total) + QLatin1Char(' ') +
           unit;
}

bool StageProgress::parse(const QString& line, Count& count)
{
    static const QRegularExpression form(
        QStringLiteral("^progress: (?:(.*\\S) )?(\\d{1,9}) of (\\d{1,9}) (\\S+)$"));
    const QRegularExpressionMatch m = form.match(line.trimmed());
    if (!m.hasMatch())
        return false;
    const int done = m.captured(2).toInt();
    const int total = m.captured(3).toInt();
    // A count past its end is no count: the tool is wrong, not done.
    if (total <= 0 || done > total)
        return false;
    count.what = m.captured(1);
    count.done = done;
    count.total = total;
    count.unit = m.captured(4);
    return true;
}

StageProgress::Source& StageProgress::source(int id)
{
    for (Source& s : m_sources)
        if (s.id == id)
            return s;
    m_sources.append(Source{id, {}, {}});
    return m_sources.last();
}

bool StageProgress::read(const QString& line, const QDateTime& now, int sourceId)
{
    Count count;
    if (!parse(line, count))
        return false;
    set(count, now, sourceId);
    return true;
}

bool StageProgress::readAll(const QString& text, const QDateTime& now, int sourceId)
{
    // Output comes in blocks that may end inside a line: its end comes later.
    QString& partial = source(sourceId).partial;
    QStringList lines = (partial + text).split(QLatin1Char('\n'));
    partial = lines.takeLast().right(maxLineLength);
    bool any = false;
    for (const QString& line : qAsConst(lines))
        any = read(line, now, sourceId) || any;
    return any;
}

void StageProgress::set(const Count& count, const QDateTime& now, int sourceId)
{
    if (!m_start.isValid())
        m_start = now;
    QVector<Count>& counts = source(sourceId).counts;
    const auto same = [&count](const Count& c) { return c.what == count.what && c.unit == count.unit; };
    const auto it = std::find_if(counts.begin(), counts.end(), same);
    // The pace is measured to the last change: the same count again says nothing new.
    if (it != counts.end() && it->done == count.done && it->total == count.total)
        return;
    m_last = now;
    if (it == counts.end()) {
        // After a finished count comes the next step of the tool (the
        // orthophoto after the DSM), not a count within it: its pace is its own.
        if (!counts.isEmpty() && counts.last().done == counts.last().total) {
            counts.removeLast();
            if (counts.isEmpty() && m_sources.size() == 1)
                m_start = now;
        }
        counts.append(count);
        return;
    }
    // A new outer count begins the inner ones anew.
    *it = count;
    counts.erase(it + 1, counts.end());
}

double StageProgress::fractionOf(const QVector<Count>& counts, int from)
{
    if (from >= counts.size())
        return 0.0;
    const Count& c = counts[from];
    const double inner = c.done < c.total ? fractionOf(counts, from + 1) : 0.0;
    return std::min(1.0, (c.done + inner) / c.total);
}

bool StageProgress::known() const
{
    return std::any_of(m_sources.begin(), m_sources.end(),
                       [](const Source& s) { return !s.counts.isEmpty(); });
}

double StageProgress::fraction() const
{
    double done = 0.0;
    double total = 0.0;
    for (const Source& s : m_sources) {
        if (s.counts.isEmpty())
            continue;
        // Sources weigh by their outer counts: a batch of 40 pairs more than one of 4.
        done += fractionOf(s.counts, 0) * s.counts.first().total;
        total += s.counts.first().total;
    }
    return total > 0 ? done / total : 0.0;
}

QDateTime StageProgress::estimatedEnd() const
{
    const double f = fraction();
    if (f <= 0.0 || !m_start.isValid() || !m_last.isValid())
        return QDateTime();
    const qint64 spent = m_start.msecsTo(m_last);
    return m_start.addMSecs(qint64(spent / f + 0.5));
}

QString StageProgress::countText() const
{
    const auto show = [](const Count& c) {
        return (c.what.isEmpty() ? QString() : c.what + QLatin1Char(' ')) + QString::number(c.done) +
               QStringLiteral(" of ") + QString::number(c.total) + QLatin1Char(' ') + c.unit;
    };
    QVector<const Source*> counting;
    for (const Source& s : m_sources)
        if (!s.counts.isEmpty())
            counting << &s;
    if (counting.isEmpty())
        return QString();
    if (counting.size() == 1) {
        QStringList parts;
        for (const Count& c : counting.first()->counts)
            parts << show(c);
        return parts.join(QStringLiteral(", "));
    }
    // Side by side: the outer counts added up.
    Count sum = counting.first()->counts.first();
    sum.done = 0;
    sum.total = 0;
    for (const Source* s : counting) {
        sum.done += s->counts.first().done;
        sum.total += s->counts.first().total;
    }
    return show(sum);
}

QString StageProgress::text(const QString& stage) const
{
    const QString counts = countText();
    if (counts.isEmpty())
        return stage;
    QString out = stage + QStringLiteral(": ") + counts;
    const QDateTime end = estimatedEnd();
    if (end.isValid() && fraction() < 1.0)
        out += QStringLiteral(", estimated end ") + end.time().toString(QStringLiteral("hh:mm:ss"));
    return out;
}
