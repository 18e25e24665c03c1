#include "core/pipeline/ScriptFile.h"

#include <QSaveFile>

#include <charconv>

bool ScriptFile::write(const QString& fileName, const QByteArray& bytes)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QByteArray ScriptFile::join(const QStringList& lines, bool finalNewline)
{
    QByteArray out = lines.join(QLatin1Char('\n')).toLocal8Bit();
    if (finalNewline && !lines.isEmpty())
        out += '\n';
    return out;
}

QString ScriptFile::quoted(const QString& path)
{
    if (!path.contains(QLatin1Char(' ')) && !path.contains(QLatin1Char('\t')))
        return path;
    return QLatin1Char('"') + path + (path.endsWith(QLatin1Char('\\')) ? QStringLiteral("\\") : QString()) +
           QLatin1Char('"');
}

QString ScriptFile::number(double value, int precision)
{
    char buffer[64];
    // std::to_chars with a precision prints exactly as printf's %g does, in no locale.
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}
