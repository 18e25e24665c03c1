// Feeds arbitrary bytes as the ground control section of a project file.
// Besides the sanitizers' findings: every point read has a name the project
// can hold (unique), finite coordinates and observations inside their
// photos; the rest is left out with a reason; and what was read saves and
// reads back the same, with nothing left out the second time.
#include "core/georef/ControlPoint.h"
#include "core/project/ProjectDocument.h"
#include "core/project/ProjectReader.h"
#include "core/project/ProjectWriter.h"

#include "FuzzSupport.h"

#include <QBuffer>
#include <QSet>

#include <cmath>
#include <cstdint>
#include <iostream>

namespace
{

using fuzz::check;

bool finite(const osg::Vec3d& v)
{
    return std::isfinite(v.x()) && std::isfinite(v.y()) && std::isfinite(v.z());
}

bool same(const ControlPoint& a, const ControlPoint& b)
{
    if (a.name != b.name || a.survey != b.survey || a.check != b.check || a.hasFit() != b.hasFit() ||
        a.observations.size() != b.observations.size())
        return false;
    if (a.hasFit() && (a.residual != b.residual || a.offset != b.offset || a.leftOut != b.leftOut ||
                       (a.pixels != b.pixels && !(std::isnan(a.pixels) && std::isnan(b.pixels)))))
        return false;
    for (int i = 0; i < a.observations.size(); ++i)
        if (a.observations[i].image != b.observations[i].image ||
            a.observations[i].column != b.observations[i].column ||
            a.observations[i].row != b.observations[i].row)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::cout.rdbuf(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><prj version=\"1.0\">"
                             "<ground_control system=\"EPSG:32633\">" +
                             fuzz::bytes(data, size) + "</ground_control></prj>";
    fuzz::InputDevice device(input);
    ProjectDocument doc;
    QString error;
    if (!ProjectReader::read(device, doc, &error)) {
        check(!error.isEmpty());
        return 0;
    }
    QSet<QString> names;
    for (const ControlPoint& p : doc.controlPoints) {
        check(ControlPoint::nameProblem(p.name).isEmpty() && !names.contains(p.name));
        names.insert(p.name);
        check(finite(p.survey));
        for (const ControlObservation& o : p.observations)
            check(ControlPoint::nameProblem(o.image).isEmpty() && std::isfinite(o.column) &&
                  std::isfinite(o.row) && o.column >= 0 && o.row >= 0);
        if (p.hasFit())
            check(p.residual >= 0 && finite(p.offset) && !(p.pixels < 0));
    }

    QBuffer out;
    out.open(QIODevice::WriteOnly);
    check(ProjectWriter::write(out, doc));
    out.close();
    out.open(QIODevice::ReadOnly);
    ProjectDocument again;
    if (!ProjectReader::read(out, again, &error) || !again.problems.isEmpty() ||
        again.controlPoints.size() != doc.controlPoints.size() || again.controlSystem != doc.controlSystem) {
        std::cerr << "saved ground control does not read back: " << error.toStdString()
                  << again.problems.join('\n').toStdString() << "\n"
                  << out.data().toStdString() << "\n";
        std::abort();
    }
    for (int i = 0; i < doc.controlPoints.size(); ++i)
        check(same(again.controlPoints[i], doc.controlPoints[i]));
    return 0;
}
