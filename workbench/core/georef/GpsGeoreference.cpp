#include "core/georef/GpsGeoreference.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <vector>

#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/ExifGps.h"
#include "core/georef/GeoReference.h"
#include "core/georef/SimilarityFit.h"
#include "core/georef/UtmProjection.h"
#include "core/products/ProductRecord.h"

namespace
{

double median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

} // namespace

GpsGeoreference::Outcome GpsGeoreference::run(const QString& nvmFile)
{
    Outcome out;
    SparseBundle bundle;
    QString message, folder;
    if (!NvmReader::readBundle(nvmFile, bundle, &message, &folder) || bundle.bundleCameras.empty()) {
        out.message = QStringLiteral("Georeference: %1").arg(message);
        return out;
    }
    const auto& cameras = bundle.bundleCameras.front();
    out.photos = int(cameras.size());
    std::vector<osg::Vec3d> centres;
    std::vector<ExifGps::Position> fixes;
    for (const auto& camera : cameras) {
        ExifGps::Position p;
        QString error;
        const QString photo = folder + QString::fromStdString(camera->name);
        if (!ExifGps::readFile(ExifGps::xmlPathOf(photo), &p, &error) || !p.hasAltitude)
            continue;
        centres.push_back(camera->centre);
        fixes.push_back(p);
    }
    out.withGps = int(fixes.size());
    if (fixes.size() < 3) {
        out.message = QStringLiteral("Georeference: GPS on %1 of %2 photos; at least three are needed")
                          .arg(out.withGps)
                          .arg(out.photos);
        return out;
    }
    std::vector<double> latitudes, longitudes;
    for (const auto& f : fixes) {
        latitudes.push_back(f.latitude);
        longitudes.push_back(f.longitude);
    }
    out.epsg = UtmProjection::zoneCode(median(latitudes), median(longitudes));
    const UtmProjection utm(out.epsg);
    std::vector<osg::Vec3d> survey;
    std::vector<osg::Vec3d> model;
    for (size_t i = 0; i < fixes.size(); ++i) {
        double e, n;
        if (!utm.project(fixes[i].latitude, fixes[i].longitude, &e, &n))
            continue;
        survey.emplace_back(e, n, fixes[i].altitude);
        model.push_back(centres[i]);
    }
    SimilarityFit::Result fit;
    QString error;
    if (!SimilarityFit::robustFit(model, survey, &fit, &error)) {
        out.message = QStringLiteral("Georeference from GPS not possible: %1").arg(error);
        return out;
    }
    out.used = int(std::count(fit.used.begin(), fit.used.end(), true));
    out.rms = fit.rms;
    GeoReference geo;
    geo.rotation = fit.rotation;
    geo.translation = fit.translation;
    geo.scale = osg::Vec3d(fit.scale, fit.scale, fit.scale);
    geo.epsg = out.epsg;
    const QString companion = GeoReference::companionFileName(nvmFile);
    if (!geo.write(companion, &error)) {
        out.message = QStringLiteral("Georeference not written: %1").arg(error);
        return out;
    }
    out.written = true;
    const QString pipeline = QFileInfo(nvmFile).absolutePath();
    ProductRecord::make(pipeline, QLatin1String(ProductRecord::georeference), {nvmFile}, {companion},
                        QStringLiteral("GPS"))
        .write(pipeline);
    out.message = QStringLiteral("Georeferenced from the photos' GPS in EPSG:%1: %2 of %3 photos used, "
                                 "residual %4 m (RMS), written to %5")
                      .arg(out.epsg)
                      .arg(out.used)
                      .arg(out.photos)
                      .arg(out.rms, 0, 'f', 2)
                      .arg(QFileInfo(companion).fileName());
    return out;
}
