#include "core/georef/ExifGps.h"

#include "common/images/ExifFocal.h"

#include <QFile>
#include <QXmlStreamReader>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace
{

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

// One pass over a value's text: every step moves forward, so a text of any
// length (a megabyte of blanks) is read in linear time.
class Scanner
{
public:
    explicit Scanner(const QString& text) : m_p(text.constData()), m_end(text.constData() + text.size()) {}

    bool atEnd() const { return m_p == m_end; }
    QChar peek() const { return atEnd() ? QChar() : *m_p; }
    void skipBlanks()
    {
        while (!atEnd() && m_p->isSpace())
            ++m_p;
    }
    bool take(QChar c)
    {
        if (peek() != c)
            return false;
        ++m_p;
        return true;
    }
    bool take(QLatin1String word)
    {
        if (m_end - m_p < word.size())
            return false;
        for (int i = 0; i < word.size(); ++i)
            if (m_p[i] != QLatin1Char(word[i]))
                return false;
        m_p += word.size();
        return true;
    }
    // Digits with an optional fraction ("43", "2.81", "43."): no sign, no
    // exponent, no hexadecimal, no comma.
    bool decimal(double& value)
    {
        std::string digits;
        while (!atEnd() && m_p->unicode() >= '0' && m_p->unicode() <= '9')
            digits += char((m_p++)->unicode());
        if (digits.empty())
            return false;
        if (take(QLatin1Char('.'))) {
            digits += '.';
            while (!atEnd() && m_p->unicode() >= '0' && m_p->unicode() <= '9')
                digits += char((m_p++)->unicode());
        }
        const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return result.ec == std::errc() && std::isfinite(value);
    }

private:
    const QChar* m_p;
    const QChar* m_end;
};

// +1 north or east, -1 south or west, 0 unsaid; false when the reference
// names neither hemisphere of the axis.
bool hemisphere(const QString& reference, char positive, char negative, int& sign)
{
    const QString r = reference.trimmed();
    sign = 0;
    if (r.isEmpty())
        return true;
    static const char* const words[] = {"North", "South", "East", "West"};
    for (const char* word : words) {
        const QLatin1String w(word);
        if (word[0] != positive && word[0] != negative)
            continue;
        if (r.compare(w, Qt::CaseInsensitive) == 0 || r.compare(w.left(1), Qt::CaseInsensitive) == 0) {
            sign = word[0] == positive ? 1 : -1;
            return true;
        }
    }
    return false;
}

// Degrees of one axis with the sign its text gives (0 when it gives none).
bool degrees(const QString& text, char positive, char negative, double& value, int& sign)
{
    Scanner s(text);
    sign = 0;
    s.skipBlanks();
    if (s.take(QLatin1Char('-')))
        sign = -1;
    else if (s.take(QLatin1Char('+')))
        sign = 1;
    double whole = 0, minutes = 0, seconds = 0;
    if (!s.decimal(whole))
        return false;
    s.skipBlanks();
    if (s.take(QLatin1String("deg"))) {
        bool haveMinutes = false, haveSeconds = false;
        for (;;) {
            s.skipBlanks();
            double part = 0;
            if (!s.decimal(part))
                break;
            s.skipBlanks();
            if (!haveMinutes && !haveSeconds && s.take(QLatin1Char('\''))) {
                haveMinutes = true;
                minutes = part;
            } else if (!haveSeconds && s.take(QLatin1Char('"'))) {
                haveSeconds = true;
                seconds = part;
            } else {
                return false;
            }
            if (part >= 60)
                return false;
        }
    }
    const QChar letter = s.peek();
    if (letter == QLatin1Char(positive) || letter == QLatin1Char(negative)) {
        if (sign != 0) // "-43 N": which one is meant?
            return false;
        sign = letter == QLatin1Char(positive) ? 1 : -1;
        s.take(letter);
        s.skipBlanks();
    }
    if (!s.atEnd())
        return false;
    value = whole + minutes / 60 + seconds / 3600;
    return std::isfinite(value);
}

// An element's text as a message shows it: a few words, not a megabyte.
QString shown(const QString& text)
{
    const QString simple = text.simplified();
    return simple.size() > 40 ? simple.left(40) + QStringLiteral("...") : simple;
}

bool fail(QString* error, const QString& why)
{
    if (error)
        *error = why;
    return false;
}

// One axis from its value and its reference element; the reference and a
// hemisphere written in the value must agree.
bool axis(const QString& text, const QString& reference, const char* name, char positive, char negative,
          double limit, double& value, QString* error)
{
    int valueSign = 0, referenceSign = 0;
    if (!degrees(text, positive, negative, value, valueSign))
        return fail(error,
                    QStringLiteral("GPS %1 '%2' is not in degrees").arg(QLatin1String(name), shown(text)));
    if (!hemisphere(reference, positive, negative, referenceSign))
        return fail(error, QStringLiteral("GPS %1 reference '%2' names no hemisphere")
                               .arg(QLatin1String(name), shown(reference)));
    if (valueSign != 0 && referenceSign != 0 && valueSign != referenceSign)
        return fail(error, QStringLiteral("GPS %1 '%2' contradicts its reference '%3'")
                               .arg(QLatin1String(name), shown(text), shown(reference)));
    if (!(value <= limit))
        return fail(error, QStringLiteral("GPS %1 '%2' is beyond %3 degrees")
                               .arg(QLatin1String(name), shown(text))
                               .arg(limit));
    if (valueSign < 0 || referenceSign < 0)
        value = -value;
    return true;
}

// "52.5 m", "52.5 m Above Sea Level", "133.531": metres; NaN otherwise.
double metres(const QString& text)
{
    Scanner s(text);
    s.skipBlanks();
    const bool below = s.take(QLatin1Char('-'));
    if (!below)
        s.take(QLatin1Char('+'));
    double v = 0;
    if (!s.decimal(v))
        return notANumber;
    s.skipBlanks();
    if (!s.atEnd()) {
        if (!s.take(QLatin1Char('m')) || (!s.atEnd() && (s.peek().isLetterOrNumber() || s.peek() == '_')))
            return notANumber;
    }
    return below ? -v : v;
}

} // namespace

QString ExifGps::xmlPathOf(const QString& photo)
{
    return QString::fromStdString(ExifFocal::xmlPathForImage(photo.toStdString()));
}

double ExifGps::parseDegrees(const QString& text)
{
    double value = 0;
    int sign = 0;
    // Either pair of hemisphere letters: the value alone does not say its axis.
    if (!degrees(text, 'N', 'S', value, sign) && !degrees(text, 'E', 'W', value, sign))
        return notANumber;
    return sign < 0 ? -value : value;
}

bool ExifGps::read(QIODevice& device, Position* position, QString* error)
{
    QXmlStreamReader xml(&device);
    // Elements by their local name: exiftool declares its namespaces, files
    // put together by hand often do not.
    xml.setNamespaceProcessing(false);
    QString latitude, longitude, latitudeRef, longitudeRef, altitude, altitudeRef;
    QString horizontalError, rtkFlag, rtkEast, rtkNorth, rtkHeight;
    QString relativeHeight, gimbalPitch, gimbalYaw;
    bool seen[6] = {};
    auto keep = [&seen](int slot, QString& value, const QString& text, bool preferred) {
        if (!seen[slot] || preferred)
            value = text;
        seen[slot] = true;
    };
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringRef name = xml.name();
        // A DJI drone's XMP says how good its fix was.
        if (name.startsWith(QLatin1String("Rtk"))) {
            const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements);
            if (name == QLatin1String("RtkFlag"))
                rtkFlag = text;
            else if (name == QLatin1String("RtkStdLon"))
                rtkEast = text;
            else if (name == QLatin1String("RtkStdLat"))
                rtkNorth = text;
            else if (name == QLatin1String("RtkStdHgt"))
                rtkHeight = text;
            continue;
        }
        if (name == QLatin1String("RelativeAltitude") || name == QLatin1String("GimbalPitchDegree") ||
            name == QLatin1String("GimbalYawDegree")) {
            const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements);
            (name == QLatin1String("RelativeAltitude") ? relativeHeight
             : name == QLatin1String("GimbalPitchDegree") ? gimbalPitch
                                                          : gimbalYaw) = text;
            continue;
        }
        if (!name.startsWith(QLatin1String("GPS")))
            continue;
        // The GPS group's own tags come before the composite ones; either serves.
        const bool preferred = xml.prefix() == QLatin1String("GPS");
        const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements);
        if (name == QLatin1String("GPSLatitude"))
            keep(0, latitude, text, preferred);
        else if (name == QLatin1String("GPSLongitude"))
            keep(1, longitude, text, preferred);
        else if (name == QLatin1String("GPSLatitudeRef"))
            keep(2, latitudeRef, text, preferred);
        else if (name == QLatin1String("GPSLongitudeRef"))
            keep(3, longitudeRef, text, preferred);
        else if (name == QLatin1String("GPSAltitude"))
            keep(4, altitude, text, preferred);
        else if (name == QLatin1String("GPSAltitudeRef"))
            keep(5, altitudeRef, text, preferred);
        else if (name == QLatin1String("GPSHPositioningError"))
            horizontalError = text;
    }
    if (xml.hasError())
        return fail(error, QStringLiteral("not an EXIF XML file (line %1: %2)")
                               .arg(xml.lineNumber())
                               .arg(xml.errorString()));
    if (!seen[0] || !seen[1])
        return fail(error, QStringLiteral("no GPS position"));
    Position p;
    if (!axis(latitude, latitudeRef, "latitude", 'N', 'S', 90, p.latitude, error) ||
        !axis(longitude, longitudeRef, "longitude", 'E', 'W', 180, p.longitude, error))
        return false;
    if (p.latitude == 0 && p.longitude == 0)
        return fail(error, QStringLiteral("GPS position 0, 0: the camera had no fix"));
    p.altitude = metres(altitude);
    if (std::isfinite(p.altitude)) {
        if (altitudeRef.contains(QLatin1String("Below"), Qt::CaseInsensitive) ||
            altitudeRef.trimmed() == "1" || altitude.contains(QLatin1String("Below"), Qt::CaseInsensitive))
            p.altitude = -std::abs(p.altitude);
        p.hasAltitude = true;
    } else {
        p.altitude = 0;
    }
    // Standard deviations are positive metres; anything else says nothing.
    const auto sigma = [](const QString& text) {
        const double v = metres(text);
        return v > 0 && std::isfinite(v) ? v : notANumber;
    };
    p.sigmaEast = p.sigmaNorth = sigma(horizontalError);
    if (std::isfinite(sigma(rtkEast)) && std::isfinite(sigma(rtkNorth))) {
        p.sigmaEast = sigma(rtkEast);
        p.sigmaNorth = sigma(rtkNorth);
    }
    p.sigmaHeight = sigma(rtkHeight);
    p.rtkFixed = rtkFlag.trimmed() == QLatin1String("50");
    // Signed plain numbers; a pitch beyond straight down or up says nothing.
    p.heightAboveTakeOff = metres(relativeHeight);
    if (const double pitch = metres(gimbalPitch); std::abs(pitch) <= 90)
        p.gimbalPitch = pitch;
    if (const double yaw = metres(gimbalYaw); std::abs(yaw) <= 360)
        p.gimbalYaw = yaw;
    *position = p;
    return true;
}

bool ExifGps::readFile(const QString& path, Position* position, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("cannot read %1").arg(path));
    // exiftool's XML of one photo is a few tens of kilobytes.
    if (file.size() > (8 << 20))
        return fail(error, QStringLiteral("%1 is too large for an EXIF XML file").arg(path));
    return read(file, position, error);
}
