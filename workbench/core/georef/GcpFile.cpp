#include "core/georef/GcpFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <cmath>
#include <map>

#include "core/georef/ControlPoint.h"
#include "core/georef/SurveySystem.h"
#include "core/georef/UtmProjection.h"

bool GcpFile::read(QIODevice& device, const QString& fileName, GcpFile* out, QString* error)
{
    GcpFile file;
    int lineNumber = 0;
    int systemLine = 0;
    auto fail = [&](const QString& why) {
        *error = QStringLiteral("%1 line %2: %3").arg(fileName).arg(lineNumber).arg(why);
        return false;
    };
    QSet<QString> given;
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    while (!device.atEnd()) {
        // A line longer than any observation is not one; reading it whole could take any memory.
        const QByteArray raw = device.readLine(64 * 1024);
        ++lineNumber;
        if (raw.size() >= 64 * 1024 - 1 && !raw.endsWith('\n'))
            return fail(QStringLiteral("the line is too long"));
        // Text stops at a NUL byte: the rest of the line would go unread without a word.
        if (raw.contains('\0'))
            return fail(QStringLiteral("a NUL byte (binary data, not a line of text)"));
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (file.system.isEmpty()) {
            // The name goes into the project with the points: no control characters.
            file.system = ControlPoint::cleanName(line);
            systemLine = lineNumber;
            file.epsg = UtmProjection::parseSystem(file.system);
            if (!file.epsg)
                return fail(QStringLiteral("unknown reference system '%1' (e.g. EPSG:32633 or WGS84 UTM 33N)")
                                .arg(file.system));
            QString why;
            if (!SurveySystem::check(file.epsg, &why))
                return fail(why);
            continue;
        }
        const QStringList f = line.split(blanks);
        if (f.size() < 6 || f.size() > 9)
            return fail(QStringLiteral(
                "expected geo_x geo_y geo_z im_x im_y image_name [gcp_name [sigma_h [sigma_v]]]"));
        Observation o;
        double* numbers[5] = {&o.x, &o.y, &o.z, &o.column, &o.row};
        for (int i = 0; i < 5; ++i) {
            bool ok = false;
            *numbers[i] = f[i].toDouble(&ok);
            if (!ok || !std::isfinite(*numbers[i]))
                return fail(QStringLiteral("'%1' is not a number").arg(ControlPoint::cleanName(f[i])));
        }
        if (o.column < 0 || o.row < 0)
            return fail(QStringLiteral("the photo position %1, %2 lies outside the photo").arg(f[3], f[4]));
        o.image = f[5];
        o.line = lineNumber;
        for (const QString& text : {o.image, f.value(6)}) {
            const QString problem = text.isEmpty() ? QString() : ControlPoint::nameProblem(text);
            if (!problem.isEmpty())
                return fail(QStringLiteral("'%1': %2").arg(ControlPoint::cleanName(text), problem));
        }
        if (f.size() >= 7) {
            o.name = f[6];
            given.insert(o.name);
        }
        // A deviation of zero would hold the point rigidly, one below zero
        // means nothing: either is a typing error to be fixed in the file.
        double* sigmas[2] = {&o.sigmaHorizontal, &o.sigmaVertical};
        for (int i = 7; i < f.size(); ++i) {
            bool ok = false;
            const double v = f[i].toDouble(&ok);
            const QString which = i == 7 ? QStringLiteral("horizontal") : QStringLiteral("vertical");
            if (!ok || !std::isfinite(v))
                return fail(QStringLiteral("point %1: the %2 standard deviation '%3' is not a number")
                                .arg(o.name, which, ControlPoint::cleanName(f[i])));
            if (!(v > 0))
                return fail(QStringLiteral("point %1: the %2 standard deviation %3 m is not above zero")
                                .arg(o.name, which, f[i]));
            *sigmas[i - 7] = v;
        }
        file.observations.push_back(o);
    }
    if (file.system.isEmpty())
        return fail(QStringLiteral("no reference system line"));
    lineNumber = systemLine;
    // Unnamed observations of one position are one point, named "GCP" and a
    // number in first-seen order, skipping the numbers the file's own names
    // take: an automatic name must not join a named point.
    std::map<std::tuple<double, double, double>, QString> unnamed;
    int next = 0;
    for (Observation& o : file.observations) {
        if (!o.name.isEmpty())
            continue;
        QString& name = unnamed[{o.x, o.y, o.z}];
        while (name.isEmpty()) {
            const QString candidate = QStringLiteral("GCP%1").arg(++next);
            if (!given.contains(candidate))
                name = candidate;
        }
        o.name = name;
    }
    // A grid whose metres are not ground metres where the points lie holds no survey.
    if (!file.observations.empty()) {
        double x = 0, y = 0;
        for (const Observation& o : file.observations) {
            x += o.x / double(file.observations.size());
            y += o.y / double(file.observations.size());
        }
        QString why;
        if (!SurveySystem::checkScaleAt(file.epsg, x, y, &why))
            return fail(why);
    }
    *out = std::move(file);
    return true;
}

bool GcpFile::readFile(const QString& path, GcpFile* out, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    return read(file, path, out, error);
}
