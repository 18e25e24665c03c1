#include "core/georef/GeoReference.h"

#include "common/numbers/NumberText.h"
#include "core/io/SaveFileCommit.h"
#include "core/io/TextLineReader.h"
#include "core/log/LogLine.h"

#include <QFile>
#include <QSaveFile>

#include <cmath>

namespace
{

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Exactly three blank-separated numbers, each token a whole finite number
// read exactly; empty when the row is one, else what is wrong with it.
QString readRow(const char* p, const char* end, osg::Vec3d& row)
{
    for (int i = 0; i < 3; ++i) {
        while (p < end && isBlank(*p))
            ++p;
        const char* token = p;
        while (p < end && !isBlank(*p))
            ++p;
        if (token == p)
            return QStringLiteral("%1 number(s), three needed").arg(i);
        double value = 0;
        if (!NumberText::read(token, p, value))
            return QStringLiteral("\"%1\" is not a number").arg(QString::fromLatin1(token, int(p - token)));
        if (!std::isfinite(value))
            return QStringLiteral("\"%1\" is not a finite number")
                .arg(QString::fromLatin1(token, int(p - token)));
        row[i] = value;
    }
    while (p < end && isBlank(*p))
        ++p;
    if (p < end)
        return QStringLiteral("more than three numbers");
    return QString();
}

// Why the rows cannot place points (empty when they can). The scene puts
// the bundle under the inverse of the rotation rows and scales by s: a
// singular or overflowing matrix collapses every point onto a plane or into
// NaNs, and a zero scale flattens an axis.
QString placementProblem(const osg::Matrixd& r, const osg::Vec3d& scale)
{
    const double c00 = r(1, 1) * r(2, 2) - r(1, 2) * r(2, 1);
    const double c01 = r(1, 2) * r(2, 0) - r(1, 0) * r(2, 2);
    const double c02 = r(1, 0) * r(2, 1) - r(1, 1) * r(2, 0);
    const double det = r(0, 0) * c00 + r(0, 1) * c01 + r(0, 2) * c02;
    if (!std::isfinite(det))
        return QStringLiteral("the rotation rows are too large (their determinant is not finite)");
    if (!(std::fabs(det) > 1e-12))
        return QStringLiteral("the rotation rows are singular");
    // Every entry of the inverse (cofactor / determinant) must be finite too.
    const double cofactors[] = {c00,
                                c01,
                                c02,
                                r(0, 2) * r(2, 1) - r(0, 1) * r(2, 2),
                                r(0, 0) * r(2, 2) - r(0, 2) * r(2, 0),
                                r(0, 1) * r(2, 0) - r(0, 0) * r(2, 1),
                                r(0, 1) * r(1, 2) - r(0, 2) * r(1, 1),
                                r(0, 2) * r(1, 0) - r(0, 0) * r(1, 2),
                                r(0, 0) * r(1, 1) - r(0, 1) * r(1, 0)};
    for (double c : cofactors)
        if (!std::isfinite(c / det))
            return QStringLiteral("the rotation rows have no finite inverse");
    for (int i = 0; i < 3; ++i)
        if (!std::isnormal(scale[i]))
            return QStringLiteral("the scale must be three non-zero numbers");
    return QString();
}

} // namespace

QString GeoReference::companionFileName(const QString& fileName)
{
    return fileName.left(qMax(0, fileName.size() - 3)) + QStringLiteral("txt");
}

bool GeoReference::parse(const QByteArray& text, GeoReference& out, QString* error)
{
    TextLineReader lines(text.constData(), text.constData() + text.size());
    const auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };

    osg::Vec3d rows[5];
    qint64 rowLine[5] = {};
    int found = 0;
    const char* begin;
    const char* end;
    while (found < 5 && lines.next(begin, end)) {
        const char* p = begin;
        while (p < end && isBlank(*p))
            ++p;
        if (p == end)
            continue;
        const QString problem = readRow(begin, end, rows[found]);
        if (!problem.isEmpty())
            return fail(QStringLiteral("line %1: %2").arg(lines.lineNumber()).arg(problem));
        rowLine[found] = lines.lineNumber();
        ++found;
    }
    if (found < 5)
        return fail(QStringLiteral("%1 rows, five needed").arg(found));

    osg::Matrixd rotation; // identity, so the fourth row and column stay put
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            rotation(r, c) = rows[r][c];
    const QString problem = placementProblem(rotation, rows[4]);
    if (!problem.isEmpty()) {
        const bool scale = problem.contains(QLatin1String("scale"));
        return fail(scale ? QStringLiteral("line %1: %2").arg(rowLine[4]).arg(problem)
                          : QStringLiteral("lines %1-%2: %3").arg(rowLine[0]).arg(rowLine[2]).arg(problem));
    }

    out.rotation = rotation;
    out.translation = rows[3];
    out.scale = rows[4];
    out.epsg = 0;
    while (lines.next(begin, end)) {
        const QByteArray line = QByteArray(begin, int(end - begin)).trimmed();
        if (line.isEmpty())
            continue;
        if (line.size() > 5 && line.left(5).toUpper() == "EPSG:")
            out.epsg = qMax(0, line.mid(5).toInt());
        break;
    }
    return true;
}

bool GeoReference::read(const QString& companionFile, GeoReference& out, QString* error)
{
    QFile file(companionFile);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error =
                QStringLiteral("Georeference %1: cannot open: %2").arg(companionFile, file.errorString());
        return false;
    }
    // A companion is a few lines; anything much larger is not one.
    constexpr qint64 sizeLimit = 1 << 20;
    QString why;
    if (parse(file.read(sizeLimit), out, &why))
        return true;
    why = QStringLiteral("Georeference %1 %2").arg(companionFile, why);
    LogLine() << why.toStdString() << "\n";
    if (error)
        *error = why;
    return false;
}

osg::Vec3d GeoReference::apply(const osg::Vec3d& p) const
{
    // Row i of the rotation times p, then the per-axis scale, then the shift.
    const osg::Vec3d rotated(rotation(0, 0) * p.x() + rotation(0, 1) * p.y() + rotation(0, 2) * p.z(),
                             rotation(1, 0) * p.x() + rotation(1, 1) * p.y() + rotation(1, 2) * p.z(),
                             rotation(2, 0) * p.x() + rotation(2, 1) * p.y() + rotation(2, 2) * p.z());
    return translation + osg::componentMultiply(scale, rotated);
}

QByteArray GeoReference::text(QString* error) const
{
    const double values[] = {rotation(0, 0), rotation(0, 1),  rotation(0, 2),  rotation(1, 0),
                             rotation(1, 1), rotation(1, 2),  rotation(2, 0),  rotation(2, 1),
                             rotation(2, 2), translation.x(), translation.y(), translation.z(),
                             scale.x(),      scale.y(),       scale.z()};
    for (double v : values)
        if (!std::isfinite(v)) {
            if (error)
                *error = QStringLiteral("the georeference holds a value that is not a finite number");
            return QByteArray();
        }
    const QString problem = placementProblem(rotation, scale);
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return QByteArray();
    }
    QByteArray text;
    char number[NumberText::maxLength];
    for (int i = 0; i < 15; ++i) {
        text.append(number, int(NumberText::write(number, values[i]) - number));
        text += i % 3 == 2 ? '\n' : ' ';
    }
    if (epsg > 0)
        text += "EPSG:" + QByteArray::number(epsg) + '\n';
    return text;
}

bool GeoReference::write(const QString& companionFile, QString* error) const
{
    QString why;
    const QByteArray content = text(&why);
    if (content.isEmpty()) {
        if (error)
            *error = QStringLiteral("not writing %1: %2").arg(companionFile, why);
        return false;
    }
    QSaveFile file(companionFile);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(companionFile, file.errorString());
        return false;
    }
    file.write(content);
    return SaveFileCommit::commit(file, error);
}

osg::Vec3d GeoReference::modelPoint(const osg::Vec3d& survey) const
{
    const osg::Vec3d d = survey - translation;
    const osg::Vec3d q(d.x() / scale.x(), d.y() / scale.y(), d.z() / scale.z());
    // The rotation rows need not be orthonormal: their inverse by cofactors.
    const osg::Matrixd& r = rotation;
    const double c[3][3] = {{r(1, 1) * r(2, 2) - r(1, 2) * r(2, 1), r(0, 2) * r(2, 1) - r(0, 1) * r(2, 2),
                             r(0, 1) * r(1, 2) - r(0, 2) * r(1, 1)},
                            {r(1, 2) * r(2, 0) - r(1, 0) * r(2, 2), r(0, 0) * r(2, 2) - r(0, 2) * r(2, 0),
                             r(0, 2) * r(1, 0) - r(0, 0) * r(1, 2)},
                            {r(1, 0) * r(2, 1) - r(1, 1) * r(2, 0), r(0, 1) * r(2, 0) - r(0, 0) * r(2, 1),
                             r(0, 0) * r(1, 1) - r(0, 1) * r(1, 0)}};
    const double det = r(0, 0) * c[0][0] + r(0, 1) * c[1][0] + r(0, 2) * c[2][0];
    osg::Vec3d p;
    for (int i = 0; i < 3; ++i)
        p[i] = (c[i][0] * q.x() + c[i][1] * q.y() + c[i][2] * q.z()) / det;
    return p;
}
