// Feeds arbitrary bytes to the ground control file reader. Besides the
// sanitizers' findings: a file read without error names every observation's
// point with a name the project can hold, and the points it gives, merged
// into a table and saved in a project, read back the same.
#include "core/formats/SparseBundle.h"
#include "core/georef/ControlPoint.h"
#include "core/georef/GcpFile.h"
#include "core/georef/GcpImport.h"
#include "core/project/ProjectDocument.h"
#include "core/project/ProjectReader.h"
#include "core/project/ProjectWriter.h"

#include "FuzzSupport.h"

#include <QBuffer>
#include <QSet>

#include <cmath>
#include <cstdint>
#include <iostream>

#include <cpl_error.h>

namespace
{

using fuzz::check;

SparseBundle* bundle = nullptr;

bool same(const ControlPoint& a, const ControlPoint& b)
{
    if (a.name != b.name || a.survey != b.survey || a.check != b.check ||
        a.observations.size() != b.observations.size())
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
    CPLSetErrorHandler(CPLQuietErrorHandler);
    // The photos the seeds name.
    bundle = new SparseBundle;
    bundle->bundleCameras.emplace_back();
    for (const char* name : {"a.jpg", "b.jpg", "IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"}) {
        auto camera = std::make_unique<BundleCamera>();
        camera->name = name;
        bundle->bundleCameras[0].push_back(std::move(camera));
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::InputDevice device(fuzz::bytes(data, size));
    GcpFile file;
    QString error;
    if (!GcpFile::read(device, "gcp_list.txt", &file, &error)) {
        check(!error.isEmpty());
        return 0;
    }
    check(file.epsg != 0);
    for (const GcpFile::Observation& o : file.observations) {
        check(ControlPoint::nameProblem(o.name).isEmpty() && ControlPoint::nameProblem(o.image).isEmpty());
        check(std::isfinite(o.x) && std::isfinite(o.y) && std::isfinite(o.z) && o.column >= 0 && o.row >= 0);
    }

    QVector<ControlPoint> points;
    QStringList warnings;
    if (!GcpImport::toControlPoints(file, "gcp_list.txt", *bundle, &points, &error, &warnings)) {
        check(!error.isEmpty());
        return 0;
    }
    QSet<QString> names;
    for (const ControlPoint& p : points) {
        check(!names.contains(p.name));
        names.insert(p.name);
    }
    // The same file imported again changes nothing.
    GcpImport::MergeReport report;
    const QVector<ControlPoint> merged = GcpImport::merge(points, points, &report);
    check(merged.size() == points.size() && report.updated.size() == points.size() &&
          report.added.isEmpty() && report.kept.isEmpty() && report.observationsAdded == 0);

    ProjectDocument doc;
    doc.controlSystem = file.system;
    doc.controlPoints = merged;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    check(ProjectWriter::write(out, doc));
    out.close();
    out.open(QIODevice::ReadOnly);
    ProjectDocument again;
    if (!ProjectReader::read(out, again, &error) || !again.problems.isEmpty() ||
        again.controlPoints.size() != merged.size() || again.controlSystem != file.system) {
        std::cerr << "saved ground control does not read back: " << error.toStdString()
                  << again.problems.join('\n').toStdString() << "\n"
                  << out.data().toStdString() << "\n";
        std::abort();
    }
    for (int i = 0; i < merged.size(); ++i)
        check(same(again.controlPoints[i], merged[i]));
    return 0;
}
