#include "core/georef/ControlPoint.h"

namespace
{

// What XML 1.0 can hold, less the C1 controls and the non-characters that no
// name should carry either; surrogate pairs stand for characters it holds.
bool unfit(const QString& text, int i, uint* code)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
        return false;
    if (c.isLowSurrogate() && i > 0 && text.at(i - 1).isHighSurrogate())
        return false;
    const ushort u = c.unicode();
    *code = u;
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || c.isSurrogate() || u == 0xFFFE || u == 0xFFFF;
}

} // namespace

QString ControlPoint::nameProblem(const QString& name)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("the name is empty");
    for (int i = 0; i < name.size(); ++i) {
        uint code = 0;
        if (unfit(name, i, &code))
            return QStringLiteral("the name holds a control character (U+%1)")
                .arg(QString::number(code, 16).toUpper(), 4, QLatin1Char('0'));
    }
    return QString();
}

QString ControlPoint::cleanName(const QString& name)
{
    QString out;
    out.reserve(name.size());
    for (int i = 0; i < name.size(); ++i) {
        uint code = 0;
        if (!unfit(name, i, &code))
            out.append(name.at(i));
    }
    return out.trimmed();
}
