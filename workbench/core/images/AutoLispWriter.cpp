#include "core/images/AutoLispWriter.h"

#include <QSaveFile>

#include <algorithm>

#include "core/io/NumberString.h"
#include "core/io/NumberedFile.h"

namespace
{

QByteArray list(const QByteArray& name, int i, const osg::Vec3d& v)
{
    return "(setq " + name + QByteArray::number(i) + "(list " + AutoLispWriter::number(v.x()) + ' ' +
           AutoLispWriter::number(v.y()) + ' ' + AutoLispWriter::number(v.z()) + "))\n";
}

} // namespace

QByteArray AutoLispWriter::number(double value)
{
    return NumberString::fixed(value);
}

QByteArray AutoLispWriter::program(const ExtractedObject& object)
{
    const QVector<ConnectorRecord>& outer = object.outerRing();
    const QVector<ConnectorRecord>& inner = object.innerRing();
    QByteArray out = "(defun loadHexagons()\n";
    for (int i = 0; i < outer.size(); ++i)
        out += list("pt", i + 1, outer[i].third);
    out += "(setq cOuter " + QByteArray::number(outer.size()) + ")\n";
    for (int i = 0; i < inner.size(); ++i)
        out += list("ptI", i + 1, inner[i].third);
    for (int i = 0; i < outer.size(); ++i)
        out += list("ct", i + 1, outer[i].first);
    for (int i = 0; i < inner.size(); ++i)
        out += list("ctI", i + 1, inner[i].first);
    out += "(setq cInner " + QByteArray::number(inner.size()) + ")\n";

    // The plan extent of the outer ring. It starts from the first point, not
    // from a fixed +-999999, which UTM northings exceed.
    osg::Vec3d low(999999, 999999, 0), high(-999999, -999999, 0);
    if (!outer.isEmpty())
        low = high = outer.first().third;
    for (const ConnectorRecord& c : outer) {
        low.x() = std::min(low.x(), c.third.x());
        low.y() = std::min(low.y(), c.third.y());
        high.x() = std::max(high.x(), c.third.x());
        high.y() = std::max(high.y(), c.third.y());
    }
    out += "(setq mt1(list " + number(low.x()) + ' ' + number(low.y()) + " 0))\n";
    out += "(setq mt2(list " + number(high.x()) + ' ' + number(high.y()) + " 0))\n";
    out += "(setq extrude1 " + number(-0.2) + ")\n";
    out += "(setq extrude2 " + number(-0.2) + ")\n";
    out += "  (princ)\n)\n(princ)";
    return out;
}

QString AutoLispWriter::write(const QString& folder, const ExtractedObject& object, QString* error)
{
    const QString path = NumberedFile::next(folder, QStringLiteral("lispOutput_"), QStringLiteral(".lsp"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(program(object)) < 0 || !file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return QString();
    }
    return path;
}
