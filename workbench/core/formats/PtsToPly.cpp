#include "core/formats/PtsToPly.h"

#include "common/text/TextTokens.h"
#include "core/formats/FormatFailure.h"
#include "core/formats/PtsScans.h"
#include "core/io/TextLineReader.h"
#include "core/log/LogLine.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <cmath>

namespace
{

int colourByte(double value)
{
    if (!(value > 0))
        return 0;
    return value >= 255 ? 255 : int(std::lround(value));
}

// Point lines: x y z, optionally intensity, then red green blue.
constexpr int maxColumns = 7;

struct Tally {
    qint64 declared = 0; // the first scan's count
    qint64 points = 0;
    qint64 badLines = 0;
    qint64 firstBadLine = 0;
    qint64 missing = 0;    // points a count promised and the file did not hold
    qint64 extraLines = 0; // lines past a count that start no new scan
};

// Walks the point lines; write (when given) receives each point's text line.
bool walk(QIODevice& device, Tally& tally, QString* error, QIODevice* write)
{
    const QByteArray start = device.peek(64);
    if (!start.contains('\n') && device.bytesAvailable() > start.size()) {
        *error = QStringLiteral("first line is not a point count");
        return false;
    }
    TextLineReader lines(&device);
    PtsScans scans;
    if (!scans.readFirstCount(lines)) {
        *error = QStringLiteral("first line is not a point count");
        return false;
    }
    tally.declared = scans.declared();

    const char* p = nullptr;
    const char* end = nullptr;
    QByteArray out;
    const char* tokenBegin[maxColumns];
    const char* tokenEnd[maxColumns];
    double values[maxColumns] = {};
    while (scans.nextPoint(lines, p, end)) {
        int n = 0;
        bool good = true;
        while (n < maxColumns && TextTokens::toToken(p, end)) {
            tokenBegin[n] = p;
            if (!TextTokens::readNumber(p, end, values[n])) {
                good = false;
                break;
            }
            tokenEnd[n] = p;
            ++n;
        }
        if (!good || n < 3 || !std::isfinite(values[0]) || !std::isfinite(values[1]) ||
            !std::isfinite(values[2])) {
            if (tally.badLines++ == 0)
                tally.firstBadLine = lines.lineNumber();
            continue;
        }
        ++tally.points;
        if (!write)
            continue;
        out.clear();
        for (int k = 0; k < 3; ++k) {
            out.append(tokenBegin[k], int(tokenEnd[k] - tokenBegin[k]));
            out += ' ';
        }
        const bool coloured = n == maxColumns;
        for (int k = 4; k < 7; ++k) {
            out += QByteArray::number(coloured ? colourByte(values[k]) : 128);
            out += ' ';
        }
        out += "255\n";
        if (write->write(out) != out.size()) {
            *error = QStringLiteral("cannot write: ") + write->errorString();
            return false;
        }
    }
    tally.missing += scans.remaining();
    tally.extraLines += scans.extraLines();
    return true;
}

} // namespace

QString PtsToPly::outputName(const QString& ptsFileName)
{
    const int slash = ptsFileName.lastIndexOf(QLatin1Char('/')) + 1;
    const int dot = ptsFileName.lastIndexOf(QLatin1Char('.'));
    if (dot > slash)
        return ptsFileName.left(dot) + QStringLiteral(".ply");
    return ptsFileName + QStringLiteral(".ply");
}

bool PtsToPly::convert(const QString& ptsFileName, QString* message)
{
    const QString output = outputName(ptsFileName);
    if (output == ptsFileName)
        return FormatFailure::report(message,
                                     ptsFileName + QStringLiteral(": is a .ply name already; not converted"));
    QFile in(ptsFileName);
    if (!in.open(QIODevice::ReadOnly))
        return FormatFailure::report(message,
                                     ptsFileName + QStringLiteral(": cannot open: ") + in.errorString());
    QSaveFile out(output);
    if (!out.open(QIODevice::WriteOnly))
        return FormatFailure::report(message,
                                     output + QStringLiteral(": cannot write: ") + out.errorString());
    QString note;
    if (!convert(in, out, &note)) {
        out.cancelWriting();
        return FormatFailure::report(message, ptsFileName + QStringLiteral(": ") + note);
    }
    if (!out.commit())
        return FormatFailure::report(message,
                                     output + QStringLiteral(": cannot write: ") + out.errorString());
    if (message)
        *message = note.isEmpty() ? QString() : ptsFileName + QStringLiteral(": ") + note;
    return true;
}

bool PtsToPly::convert(QIODevice& pts, QIODevice& ply, QString* message)
{
    QString error;
    Tally counted;
    if (!walk(pts, counted, &error, nullptr))
        return FormatFailure::report(message, error);
    const qint64 n = counted.declared;
    LogLine() << "Point Count: " << n << "\n"
              << "Point Fract: " << n / 5 << "\n"
              << "Difference: " << n - 5 * (n / 5) << "\n";
    if (counted.points == 0)
        return FormatFailure::report(message, QStringLiteral("file holds no points"));

    const QByteArray header = "ply\nformat ascii 1.0\ncomment VCGLIB generated\nelement vertex " +
                              QByteArray::number(counted.points) +
                              "\nproperty float x\nproperty float y\nproperty float z\n"
                              "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                              "property uchar alpha\nelement face 0\nproperty list uchar int vertex_indices\n"
                              "end_header\n";
    if (ply.write(header) != header.size())
        return FormatFailure::report(message, QStringLiteral("cannot write: ") + ply.errorString());
    if (!pts.seek(0))
        return FormatFailure::report(message, QStringLiteral("cannot read the scan a second time"));
    Tally written;
    if (!walk(pts, written, &error, &ply))
        return FormatFailure::report(message, error);
    if (written.points != counted.points)
        return FormatFailure::report(message, QStringLiteral("the file changed while it was converted"));

    QStringList notes;
    if (written.badLines > 0)
        notes << QStringLiteral("%1 lines are not points (first: line %2)")
                     .arg(written.badLines)
                     .arg(written.firstBadLine);
    if (written.missing > 0)
        notes << QStringLiteral("file ends %1 points short of its count").arg(written.missing);
    if (written.extraLines > 0)
        notes << QStringLiteral("%1 lines beyond the declared count not read").arg(written.extraLines);
    if (message)
        *message = notes.join(QStringLiteral("; "));
    return true;
}
