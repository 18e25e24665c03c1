#include "core/survey/ContourMaker.h"

#include <QFile>

#include <cpl_string.h>
#include <gdal_alg.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "core/io/NumberString.h"
#include "core/survey/ElevationGrid.h"
#include "core/survey/GdalScope.h"
#include "core/survey/PolygonCoverage.h"
#include "core/survey/VectorFile.h"

namespace
{

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

// The line strings of a line or multi-line geometry; none of any other.
std::vector<const OGRLineString*> lineStrings(const OGRGeometry& g)
{
    std::vector<const OGRLineString*> parts;
    if (wkbFlatten(g.getGeometryType()) == wkbLineString)
        parts.push_back(g.toLineString());
    else if (wkbFlatten(g.getGeometryType()) == wkbMultiLineString)
        for (const OGRGeometry* part : *g.toMultiLineString())
            parts.push_back(part->toLineString());
    return parts;
}

// A contour line as a geometry, for SetGeometryDirectly to own.
OGRLineString* lineString(const ContourMaker::Line& line)
{
    auto* ls = new OGRLineString;
    ls->setNumPoints(int(line.size()));
    for (size_t i = 0; i < line.size(); ++i)
        ls->setPoint(int(i), line[i][0], line[i][1], line[i][2]);
    return ls;
}

// One pass of a normalised Gaussian along rows (step 1) or columns (step
// width): cells without height neither count nor receive a value.
void blur(const std::vector<float>& in, std::vector<float>& out, int width, int height, bool alongRows,
          const std::vector<float>& kernel)
{
    const int radius = int(kernel.size()) - 1;
    const int n = alongRows ? width : height, lines = alongRows ? height : width;
    const size_t stride = alongRows ? 1 : size_t(width);
    for (int line = 0; line < lines; ++line) {
        const size_t first = alongRows ? size_t(line) * size_t(width) : size_t(line);
        for (int i = 0; i < n; ++i) {
            const float centre = in[first + size_t(i) * stride];
            if (std::isnan(centre)) {
                out[first + size_t(i) * stride] = centre;
                continue;
            }
            double sum = 0, weight = 0;
            for (int k = -radius; k <= radius; ++k) {
                const int j = i + k;
                if (j < 0 || j >= n)
                    continue;
                const float v = in[first + size_t(j) * stride];
                if (std::isnan(v))
                    continue;
                const double w = kernel[size_t(std::abs(k))];
                sum += w * v;
                weight += w;
            }
            out[first + size_t(i) * stride] = float(sum / weight);
        }
    }
}

double extentOf(const ContourMaker::Line& line, bool& closed, double& length)
{
    double minX = INFINITY, maxX = -INFINITY, minY = INFINITY, maxY = -INFINITY;
    length = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        minX = std::min(minX, line[i][0]);
        maxX = std::max(maxX, line[i][0]);
        minY = std::min(minY, line[i][1]);
        maxY = std::max(maxY, line[i][1]);
        if (i > 0)
            length += std::hypot(line[i][0] - line[i - 1][0], line[i][1] - line[i - 1][1]);
    }
    closed = line.size() > 2 && line.front()[0] == line.back()[0] && line.front()[1] == line.back()[1];
    return std::max(maxX - minX, maxY - minY);
}

} // namespace

std::vector<float> ContourMaker::smoothed(const ElevationGrid& grid, double smoothing)
{
    std::vector<float> out = grid.heights;
    const double sigma = smoothing / std::min(grid.cellX, grid.cellY);
    if (!(sigma > 0.05))
        return out;
    const int radius = std::max(1, int(std::ceil(3 * sigma)));
    std::vector<float> kernel(size_t(radius) + 1);
    for (int k = 0; k <= radius; ++k)
        kernel[size_t(k)] = float(std::exp(-0.5 * k * k / (sigma * sigma)));
    std::vector<float> temp(out.size());
    blur(grid.heights, temp, grid.width, grid.height, true, kernel);
    blur(temp, out, grid.width, grid.height, false, kernel);
    return out;
}

QString ContourMaker::describe(const Settings& s, double cell)
{
    return QStringLiteral(
               "Contours every %1 m from a surface smoothed by a Gaussian of %2 m (%3 cells); closed "
               "rings narrower and open lines shorter than %4 cells (%5 m) left out")
        .arg(NumberString::length(s.interval), NumberString::length(s.smoothing),
             NumberString::length(std::round(s.smoothing / cell * 100) / 100), NumberString::length(s.minCells),
             NumberString::length(std::round(s.minCells * cell * 1000) / 1000));
}

bool ContourMaker::lines(const ElevationGrid& grid, const Settings& s, std::vector<Line>& out, Result& result,
                         QString* error)
{
    out.clear();
    result = Result();
    if (grid.isEmpty() || !grid.range(result.low, result.high))
        return fail(error, QStringLiteral("The elevation model has no heights to draw contours of."));
    if (!std::isfinite(s.interval) || !(s.interval > 0))
        return fail(error, QStringLiteral("The contour interval must be more than 0 m."));
    const double relief = result.high - result.low;
    if (s.interval > relief)
        return fail(error,
                    QStringLiteral("A contour interval of %1 m is larger than the relief of the elevation "
                                   "model (%2 m, from %3 m to %4 m): choose a smaller one.")
                        .arg(NumberString::length(s.interval),
                             NumberString::length(std::round(relief * 1000) / 1000),
                             NumberString::length(std::round(result.low * 1000) / 1000),
                             NumberString::length(std::round(result.high * 1000) / 1000)));
    if ((relief / s.interval) > 100000)
        return fail(error,
                    QStringLiteral("A contour interval of %1 m gives more than 100000 levels over this "
                                   "relief: choose a larger one.")
                        .arg(NumberString::length(s.interval)));
    if (!std::isfinite(s.smoothing) || s.smoothing < 0 || !std::isfinite(s.minCells) || s.minCells < 0 ||
        !std::isfinite(s.base) || !std::isfinite(s.minRelief) || !std::isfinite(s.ringCells))
        return fail(error,
                    QStringLiteral("The smoothing, the base level and the smallest line must be numbers, "
                                   "the first and last not below 0."));

    GdalScope scope;
    std::vector<float> surface = smoothed(grid, s.smoothing);
    for (float& h : surface)
        if (std::isnan(h))
            h = ElevationGrid::noDataValue;
    GDALDriver* memory = GetGDALDriverManager()->GetDriverByName("MEM");
    GDALDriver* vectors = GetGDALDriverManager()->GetDriverByName("Memory");
    if (!memory || !vectors)
        return fail(error, QStringLiteral("GDAL has no in-memory drivers"));
    GDALDataset* raster = memory->Create("", grid.width, grid.height, 0, GDT_Float32, nullptr);
    GDALDataset* store = vectors->Create("", 0, 0, 0, GDT_Unknown, nullptr);
    struct Closer {
        GDALDataset* a;
        GDALDataset* b;
        ~Closer()
        {
            GdalScope::close(a);
            GdalScope::close(b);
        }
    } closer{raster, store};
    if (!raster || !store)
        return fail(error, QStringLiteral("GDAL cannot make an in-memory raster: ") + GdalScope::reason());
    // The band reads our buffer in place: no second copy of the surface.
    CPLStringList bandOptions;
    char pointer[64];
    CPLPrintPointer(pointer, surface.data(), sizeof pointer);
    bandOptions.SetNameValue("DATAPOINTER", pointer);
    if (raster->AddBand(GDT_Float32, bandOptions.List()) != CE_None)
        return fail(error, GdalScope::reason());
    double t[6] = {grid.left, grid.cellX, 0, grid.top, 0, -grid.cellY};
    raster->SetGeoTransform(t);
    OGRLayer* layer = store->CreateLayer("contours", nullptr, wkbLineString25D, nullptr);
    if (!layer)
        return fail(error, GdalScope::reason());
    OGRFieldDefn id("id", OFTInteger), elev("elev", OFTReal);
    layer->CreateField(&id);
    layer->CreateField(&elev);
    CPLStringList options;
    options.SetNameValue("LEVEL_INTERVAL", NumberText::shortestString(s.interval).c_str());
    options.SetNameValue("LEVEL_BASE", NumberText::shortestString(s.base).c_str());
    options.SetNameValue("NODATA", NumberText::shortestString(ElevationGrid::noDataValue).c_str());
    options.SetNameValue("ID_FIELD", "0");
    options.SetNameValue("ELEV_FIELD", "1");
    if (GDALContourGenerateEx(GDALRasterBand::ToHandle(raster->GetRasterBand(1)), OGRLayer::ToHandle(layer),
                              options.List(), nullptr, nullptr) != CE_None)
        return fail(error, QStringLiteral("GDAL's contour generator failed: ") + GdalScope::reason());

    const double cell = std::min(grid.cellX, grid.cellY);
    const double smallest = s.minCells * cell;
    // Whether the smoothed ground within a ring stays within minRelief of its level.
    const auto flatInside = [&](const Line& line, double level) {
        QVector<QPointF> ring;
        for (size_t i = 0; i + 1 < line.size(); ++i)
            ring.push_back(QPointF(line[i][0], line[i][1]));
        const PolygonCoverage cover = PolygonCoverage::of(ring, grid);
        double most = 0;
        for (int r = cover.row0; r < cover.row0 + cover.rows; ++r)
            for (int c = cover.column0; c < cover.column0 + cover.columns; ++c) {
                const float h = surface[size_t(r) * size_t(grid.width) + size_t(c)];
                if (cover.at(c, r) >= 0.5f && h != ElevationGrid::noDataValue)
                    most = std::max(most, std::fabs(h - level));
            }
        return most < s.minRelief;
    };
    std::set<double> levels;
    layer->ResetReading();
    for (OGRFeature* f; (f = layer->GetNextFeature()) != nullptr; OGRFeature::DestroyFeature(f)) {
        const double z = f->GetFieldAsDouble(1);
        const OGRGeometry* g = f->GetGeometryRef();
        if (!g)
            continue;
        for (const OGRLineString* ls : lineStrings(*g)) {
            Line line;
            line.reserve(size_t(ls->getNumPoints()));
            for (int i = 0; i < ls->getNumPoints(); ++i)
                line.push_back({ls->getX(i), ls->getY(i), z});
            bool closed = false;
            double length = 0;
            const double extent = extentOf(line, closed, length);
            if (line.size() < 2 || (closed ? extent < smallest : length < smallest) ||
                (closed && extent < s.ringCells * cell && flatInside(line, z))) {
                ++result.dropped;
                continue;
            }
            levels.insert(z);
            out.push_back(std::move(line));
        }
    }
    result.lines = int(out.size());
    result.levels = int(levels.size());
    return true;
}

bool ContourMaker::make(const ElevationGrid& grid, const Settings& s, const QString& gpkgPath,
                        const QString& dxfPath, Result& result, QString* error)
{
    std::vector<Line> all;
    if (!lines(grid, s, all, result, error))
        return false;
    GdalScope scope;
    OGRSpatialReference srs;
    const bool hasSystem = !grid.wkt.isEmpty()
                               ? srs.importFromWkt(grid.wkt.constData()) == OGRERR_NONE
                               : (grid.epsg > 0 && VectorFile::systemOf(grid.epsg, srs, nullptr));
    if (hasSystem)
        srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    VectorFile gpkg, dxf;
    const QByteArray description = describe(s, std::min(grid.cellX, grid.cellY)).toUtf8();
    if (!gpkgPath.isEmpty()) {
        if (!gpkg.create(gpkgPath, "GPKG", error))
            return false;
        CPLStringList layerOptions;
        layerOptions.SetNameValue("DESCRIPTION", description.constData());
        OGRLayer* layer = gpkg.addLayer("contours", wkbLineString25D, hasSystem ? &srs : nullptr, error,
                                        layerOptions.List());
        if (!layer)
            return false;
        OGRFieldDefn elev("elev", OFTReal);
        if (layer->CreateField(&elev) != OGRERR_NONE)
            return fail(error, gpkgPath + QStringLiteral(": ") + GdalScope::reason());
        // One transaction: a GeoPackage commits every feature on its own otherwise.
        if (layer->StartTransaction() != OGRERR_NONE)
            return fail(error, gpkgPath + QStringLiteral(": ") + GdalScope::reason());
        for (const Line& line : all) {
            OGRFeature feature(layer->GetLayerDefn());
            feature.SetField(0, line.front()[2]);
            feature.SetGeometryDirectly(lineString(line));
            if (layer->CreateFeature(&feature) != OGRERR_NONE)
                return fail(error, gpkgPath + QStringLiteral(": ") + GdalScope::reason());
        }
        if (layer->CommitTransaction() != OGRERR_NONE || !gpkg.finish(error))
            return fail(error, gpkgPath + QStringLiteral(": ") + GdalScope::reason());
    }
    if (!dxfPath.isEmpty()) {
        if (!dxf.create(dxfPath, "DXF", error))
            return false;
        OGRLayer* layer = dxf.addLayer("entities", wkbLineString25D, nullptr, error);
        if (!layer)
            return false;
        for (const Line& line : all) {
            OGRFeature feature(layer->GetLayerDefn());
            feature.SetField("Layer", "CONTOURS");
            feature.SetGeometryDirectly(lineString(line));
            if (layer->CreateFeature(&feature) != OGRERR_NONE)
                return fail(error, dxfPath + QStringLiteral(": ") + GdalScope::reason());
        }
        if (!dxf.finish(error))
            return false;
    }
    // Both whole: now both go in place.
    return (gpkgPath.isEmpty() || gpkg.commit(error)) && (dxfPath.isEmpty() || dxf.commit(error));
}

bool ContourMaker::readLines(const QString& gpkgPath, std::vector<Line>& out, int& epsg, QString* error)
{
    GdalScope scope;
    out.clear();
    epsg = 0;
    const char* const drivers[] = {"GPKG", nullptr};
    GDALDataset* ds =
        GDALDataset::FromHandle(GDALOpenEx(QFile::encodeName(gpkgPath).constData(),
                                           GDAL_OF_VECTOR | GDAL_OF_READONLY, drivers, nullptr, nullptr));
    if (!ds)
        return fail(error,
                    gpkgPath + QStringLiteral(": not a GeoPackage GDAL reads: ") + GdalScope::reason());
    struct Closer {
        GDALDataset* d;
        ~Closer() { GdalScope::close(d); }
    } closer{ds};
    // Bounded: a plan's contours, not a whole country's.
    constexpr size_t maxPoints = 50u * 1000 * 1000;
    size_t points = 0;
    for (OGRLayer* layer : ds->GetLayers()) {
        if (wkbFlatten(layer->GetGeomType()) != wkbLineString &&
            wkbFlatten(layer->GetGeomType()) != wkbMultiLineString)
            continue;
        if (const OGRSpatialReference* srs = layer->GetSpatialRef(); srs && epsg == 0) {
            const char* name = srs->GetAuthorityName(nullptr);
            const char* code = srs->GetAuthorityCode(nullptr);
            if (name && code && QByteArray(name) == "EPSG")
                epsg = QByteArray(code).toInt();
        }
        const int elevField = layer->GetLayerDefn()->GetFieldIndex("elev");
        layer->ResetReading();
        for (OGRFeature* f; (f = layer->GetNextFeature()) != nullptr; OGRFeature::DestroyFeature(f)) {
            const OGRGeometry* g = f->GetGeometryRef();
            if (!g)
                continue;
            const double level = elevField >= 0 ? f->GetFieldAsDouble(elevField) : NAN;
            for (const OGRLineString* ls : lineStrings(*g)) {
                points += size_t(ls->getNumPoints());
                if (points > maxPoints) {
                    OGRFeature::DestroyFeature(f);
                    return fail(error,
                                gpkgPath + QStringLiteral(": more than 50 million line vertices, too many to "
                                                          "draw"));
                }
                Line line;
                for (int i = 0; i < ls->getNumPoints(); ++i)
                    line.push_back({ls->getX(i), ls->getY(i), ls->Is3D() ? ls->getZ(i) : level});
                if (line.size() >= 2)
                    out.push_back(std::move(line));
            }
        }
    }
    if (out.empty())
        return fail(error, gpkgPath + QStringLiteral(": holds no lines to draw"));
    return true;
}
