#include "core/images/FeatureFile.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cmath>

#include "common/numbers/NumberText.h"
#include "core/io/TextLineReader.h"

namespace
{

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// The number of blank-separated words of one line: the places where a word
// starts after a blank (or at the line's start), counted without branches,
// since descriptor lines make up most of a key file.
int countWords(const char* p, const char* end)
{
    int words = 0;
    bool blank = true;
    for (; p < end; ++p) {
        const bool b = isBlank(*p);
        words += int(blank & !b);
        blank = b;
    }
    return words;
}

bool hasWord(const char* p, const char* end)
{
    for (; p < end; ++p)
        if (!isBlank(*p))
            return true;
    return false;
}

// Parses up to `wanted` numbers from the start of a line; returns how many
// complete numbers were found and leaves p after the last one.
int parseNumbers(const char*& p, const char* end, double* out, int wanted)
{
    int found = 0;
    while (found < wanted) {
        while (p < end && isBlank(*p))
            ++p;
        if (p == end)
            break;
        const char* tokenEnd = p;
        while (tokenEnd < end && !isBlank(*tokenEnd))
            ++tokenEnd;
        double v = 0;
        if (!NumberText::read(p, tokenEnd, v) || !std::isfinite(v))
            break; // not a number, or one followed by letters
        p = tokenEnd;
        out[found++] = v;
    }
    return found;
}

class Lines
{
public:
    explicit Lines(QIODevice& device) : m_reader(&device) {}

    // The next line holding more than blanks, valid until the next call.
    bool next(const char*& begin, const char*& end)
    {
        if (m_pushedBack) {
            m_pushedBack = false;
            begin = m_last = m_held.constData();
            end = m_lastEnd = begin + m_held.size();
            return true;
        }
        while (m_reader.next(begin, end)) {
            if (hasWord(begin, end)) {
                m_last = begin;
                m_lastEnd = end;
                return true;
            }
        }
        return false;
    }
    // The line last handed out comes again on the next call.
    void pushBack()
    {
        m_held = QByteArray(m_last, int(m_lastEnd - m_last));
        m_pushedBack = true;
    }
    qint64 lineNumber() const { return m_reader.lineNumber(); }
    qint64 bytesLeft() const { return m_reader.bytesLeft(); }

private:
    TextLineReader m_reader;
    const char* m_last = nullptr;
    const char* m_lastEnd = nullptr;
    QByteArray m_held;
    bool m_pushedBack = false;
};

bool fail(QString* error, const QString& text, qint64 line)
{
    if (error)
        *error = QStringLiteral("%1 (line %2)").arg(text).arg(line);
    return false;
}

// Lowe's descriptor values are whole numbers; a feature line has fractions.
bool looksLikeFeatureLine(const char* begin, const char* end)
{
    return std::find(begin, end, '.') != end;
}

} // namespace

QString FeatureFile::pathFor(const QString& imagePath)
{
    const int slash = imagePath.lastIndexOf('/');
    const int dot = imagePath.lastIndexOf('.');
    return (dot > slash ? imagePath.left(dot) : imagePath) + QStringLiteral(".key");
}

bool FeatureFile::read(QIODevice& device, QVector<FeatureRecord>& features, QString* error)
{
    Lines lines(device);
    const char* begin = nullptr;
    const char* end = nullptr;
    if (!lines.next(begin, end))
        return fail(error, QStringLiteral("the feature file is empty"), lines.lineNumber());
    double header[2] = {0, 0};
    const int headerValues = parseNumbers(begin, end, header, 2);
    constexpr double largestCount = 2147483647.0;
    if (headerValues < 1 || header[0] < 0 || header[0] > largestCount ||
        header[0] != double(qint64(header[0])))
        return fail(error, QStringLiteral("the first line does not start with the feature count"),
                    lines.lineNumber());
    if (headerValues == 2 && (header[1] < 0 || header[1] > 100000 || header[1] != double(int(header[1]))))
        return fail(error, QStringLiteral("the descriptor length is not a count"), lines.lineNumber());
    const int count = int(header[0]);
    qint64 descriptorLength = headerValues == 2 ? qint64(header[1]) : 0;

    // A count the file cannot hold reserves no more than the file's size allows.
    const qint64 left = lines.bytesLeft();
    constexpr qint64 shortestFeature = 8; // "1 1 1 1\n"
    features.reserve(features.size() +
                     int(std::min<qint64>(count, left < 0 ? 4096 : left / shortestFeature + 1)));

    bool descriptorSeen = false;
    for (int i = 0; i < count; ++i) {
        if (!lines.next(begin, end))
            return fail(error, QStringLiteral("the file ends after %1 of %2 features").arg(i).arg(count),
                        lines.lineNumber());
        const char* p = begin;
        double v[4];
        if (parseNumbers(p, end, v, 4) < 4)
            return fail(
                error,
                QStringLiteral("feature %1 does not start with row, column, scale and orientation").arg(i),
                lines.lineNumber());
        features.append({i, v[1], v[0], v[2], v[3]});

        qint64 skip = descriptorLength - countWords(p, end);
        while (skip > 0) {
            if (!lines.next(begin, end)) {
                if (!descriptorSeen)
                    break; // one feature, written without its descriptor
                return fail(error, QStringLiteral("the file ends inside the descriptor of feature %1").arg(i),
                            lines.lineNumber());
            }
            if (!descriptorSeen && looksLikeFeatureLine(begin, end)) {
                // No descriptors written after all: every line is a feature.
                lines.pushBack();
                descriptorLength = 0;
                break;
            }
            descriptorSeen = true;
            skip -= countWords(begin, end);
        }
    }
    return true;
}

bool FeatureFile::readFile(const QString& path, QVector<FeatureRecord>& features, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    QString reason;
    if (read(file, features, &reason))
        return true;
    if (error)
        *error = path + QStringLiteral(": ") + reason;
    return false;
}
