#include "core/georef/GcpFile.h"

#include <QFile>
#include <QRegularExpression>

#include <cmath>
#include <map>

#include "core/georef/UtmProjection.h"

bool GcpFile::read(QIODevice& device, const QString& fileName, GcpFile* out, QString* error)
{
    GcpFile file;
    int lineNumber = 0;
    auto fail = [&](const QString& why) {
        *error = QStringLiteral("%1 line %2: %3").arg(fileName).arg(lineNumber).arg(why);
        return false;
    };
    std::map<std::tuple<double, double, double>, QString> unnamed;
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    while (!device.atEnd()) {
        // A line longer than any observation is not one; reading it whole could take any memory.
        const QByteArray raw = device.readLine(64 * 1024);
        ++lineNumber;
        if (raw.size() >= 64 * 1024 - 1 && !raw.endsWith('\n'))
            return fail(QStringLiteral("the line is too long"));
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (file.system.isEmpty()) {
            file.system = line;
            file.epsg = UtmProjection::parseSystem(line);
            if (!file.epsg)
                return fail(QStringLiteral("unknown reference system '%1' (e.g. EPSG:32633 or WGS84 UTM 33N)").arg(line));
            UtmProjection check(file.epsg);
            if (!check.valid())
                return fail(check.error());
            continue;
        }
        const QStringList f = line.split(blanks);
        if (f.size() < 6 || f.size() > 7)
            return fail(QStringLiteral("expected geo_x geo_y geo_z im_x im_y image_name [gcp_name]"));
        Observation o;
        double* numbers[5] = {&o.x, &o.y, &o.z, &o.column, &o.row};
        for (int i = 0; i < 5; ++i) {
            bool ok = false;
            *numbers[i] = f[i].toDouble(&ok);
            if (!ok || !std::isfinite(*numbers[i]))
                return fail(QStringLiteral("'%1' is not a number").arg(f[i]));
        }
        if (o.column < 0 || o.row < 0)
            return fail(QStringLiteral("the photo position %1, %2 lies outside the photo").arg(f[3], f[4]));
        o.image = f[5];
        o.line = lineNumber;
        if (f.size() == 7) {
            o.name = f[6];
        } else {
            QString& name = unnamed[{o.x, o.y, o.z}];
            if (name.isEmpty())
                name = QStringLiteral("GCP%1").arg(unnamed.size());
            o.name = name;
        }
        file.observations.push_back(o);
    }
    if (file.system.isEmpty())
        return fail(QStringLiteral("no reference system line"));
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
