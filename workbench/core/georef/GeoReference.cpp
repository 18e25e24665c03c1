#include "core/georef/GeoReference.h"

#include "core/io/NumberParser.h"
#include "core/io/NumberText.h"
#include "core/io/SaveFileCommit.h"
#include "core/io/TextLineReader.h"

#include <QFile>
#include <QSaveFile>

#include <cmath>
#include <iostream>

namespace
{

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Three blank-separated numbers at the start of the line; each token must be
// a whole number with at least one digit, so a stray word is not read as 0.
bool readRow(const char* p, const char* end, osg::Vec3d& row)
{
    for (int i = 0; i < 3; ++i) {
        while (p < end && isBlank(*p))
            ++p;
        const char* token = p;
        while (p < end && !isBlank(*p))
            ++p;
        if (token == p)
            return false;
        bool hasDigit = false;
        for (const char* c = token; c < p && !hasDigit; ++c)
            hasDigit = *c >= '0' && *c <= '9';
        const char* q = token;
        const double value = parseNumber(q, p);
        if (!hasDigit || q != p || !std::isfinite(value))
            return false;
        row[i] = value;
    }
    return true;
}

} // namespace

QString GeoReference::companionFileName(const QString& fileName)
{
    return fileName.left(qMax(0, fileName.size() - 3)) + QStringLiteral("txt");
}

bool GeoReference::read(const QString& companionFile, GeoReference& out)
{
    QFile file(companionFile);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A companion is a few lines; anything much larger is not one.
    constexpr qint64 sizeLimit = 1 << 20;
    const QByteArray text = file.read(sizeLimit);
    TextLineReader lines(text.constData(), text.constData() + text.size());

    osg::Vec3d rows[5];
    int found = 0;
    const char* begin;
    const char* end;
    while (found < 5 && lines.next(begin, end)) {
        const char* p = begin;
        while (p < end && isBlank(*p))
            ++p;
        if (p == end)
            continue;
        if (!readRow(begin, end, rows[found])) {
            std::cout << "Georeference " << companionFile.toStdString() << " line " << lines.lineNumber()
                      << ": not three numbers\n";
            return false;
        }
        ++found;
    }
    if (found < 5) {
        std::cout << "Georeference " << companionFile.toStdString() << ": " << found
                  << " rows, five needed\n";
        return false;
    }

    osg::Matrixd rotation; // identity, so the fourth row and column stay put
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            rotation(r, c) = rows[r][c];
    // The scene places the bundle under the inverse of this matrix; a singular
    // one would collapse every point onto a plane or into NaNs.
    const double det = rotation(0, 0) * (rotation(1, 1) * rotation(2, 2) - rotation(1, 2) * rotation(2, 1)) -
                       rotation(0, 1) * (rotation(1, 0) * rotation(2, 2) - rotation(1, 2) * rotation(2, 0)) +
                       rotation(0, 2) * (rotation(1, 0) * rotation(2, 1) - rotation(1, 1) * rotation(2, 0));
    if (!(std::fabs(det) > 1e-12)) {
        std::cout << "Georeference " << companionFile.toStdString() << ": rotation rows are singular\n";
        return false;
    }

    out.rotation = rotation;
    out.translation = rows[3];
    out.scale = rows[4];
    out.epsg = 0;
    while (lines.next(begin, end)) {
        const QByteArray line = QByteArray(begin, int(end - begin)).trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith("EPSG:"))
            out.epsg = qMax(0, line.mid(5).toInt());
        break;
    }
    return true;
}

osg::Vec3d GeoReference::apply(const osg::Vec3d& p) const
{
    // Row i of the rotation times p, then the per-axis scale, then the shift.
    const osg::Vec3d rotated(rotation(0, 0) * p.x() + rotation(0, 1) * p.y() + rotation(0, 2) * p.z(),
                             rotation(1, 0) * p.x() + rotation(1, 1) * p.y() + rotation(1, 2) * p.z(),
                             rotation(2, 0) * p.x() + rotation(2, 1) * p.y() + rotation(2, 2) * p.z());
    return translation + osg::componentMultiply(scale, rotated);
}

bool GeoReference::write(const QString& companionFile, QString* error) const
{
    QByteArray text;
    auto row = [&](double a, double b, double c) {
        text += (NumberText::shortest(a) + ' ' + NumberText::shortest(b) + ' ' + NumberText::shortest(c) + '\n').toLatin1();
    };
    for (int r = 0; r < 3; ++r)
        row(rotation(r, 0), rotation(r, 1), rotation(r, 2));
    row(translation.x(), translation.y(), translation.z());
    row(scale.x(), scale.y(), scale.z());
    if (epsg > 0)
        text += "EPSG:" + QByteArray::number(epsg) + '\n';
    QSaveFile file(companionFile);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(companionFile, file.errorString());
        return false;
    }
    file.write(text);
    return SaveFileCommit::commit(file, error);
}
