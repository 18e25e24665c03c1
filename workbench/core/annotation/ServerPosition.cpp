#include "core/annotation/ServerPosition.h"

#include "core/io/NumberString.h"

#include <QStringList>

#include <cmath>
#include <limits>

std::optional<ServerPosition::Coordinates> ServerPosition::parse(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    const QStringList parts = text.split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (parts.size() != 3)
        return std::nullopt;
    double values[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        // QString::toDouble is locale-independent and skips surrounding blanks.
        const double value = parts[i].toDouble(&ok);
        if (!ok || !std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
            return std::nullopt;
        values[i] = value;
    }
    return Coordinates{values[0], values[1], values[2]};
}

QString ServerPosition::formatCoordinate(double value)
{
    return NumberString::shortest(value);
}

QString ServerPosition::vertexText(const Coordinates& position)
{
    return "x:" + formatCoordinate(position.x) + " y:" + formatCoordinate(position.y) + " z:"
           + formatCoordinate(position.z);
}
