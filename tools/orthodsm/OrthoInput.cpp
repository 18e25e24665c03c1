#include "OrthoInput.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <ostream>

#include <QFileInfo>

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "common/formats/NvmFile.h"
#include "core/products/ProductRecord.h"

namespace
{

bool invert(const double m[9], double out[9])
{
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                       m[2] * (m[3] * m[7] - m[4] * m[6]);
    if (!(std::abs(det) > 1e-300))
        return false;
    out[0] = (m[4] * m[8] - m[5] * m[7]) / det;
    out[1] = (m[2] * m[7] - m[1] * m[8]) / det;
    out[2] = (m[1] * m[5] - m[2] * m[4]) / det;
    out[3] = (m[5] * m[6] - m[3] * m[8]) / det;
    out[4] = (m[0] * m[8] - m[2] * m[6]) / det;
    out[5] = (m[2] * m[3] - m[0] * m[5]) / det;
    out[6] = (m[3] * m[7] - m[4] * m[6]) / det;
    out[7] = (m[1] * m[6] - m[0] * m[7]) / det;
    out[8] = (m[0] * m[4] - m[1] * m[3]) / det;
    return true;
}

// Width and height from the file's header, without decoding the pixels.
bool photoSize(const std::string& path, int& width, int& height)
{
    const char* drivers[] = {"JPEG", "PNG", "GTiff", nullptr};
    GDALDataset* ds = static_cast<GDALDataset*>(
        GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, drivers, nullptr, nullptr));
    if (!ds)
        return false;
    width = ds->GetRasterXSize();
    height = ds->GetRasterYSize();
    GDALClose(ds);
    return true;
}

} // namespace

std::vector<std::string> OrthoInput::denseClouds(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    const QString pipeline = QString::fromStdString(folder);
    ProductRecord record;
    const bool recorded = ProductRecord::read(pipeline, QLatin1String(ProductRecord::dense), &record);
    for (const char* sub : {"pmvs/models", "cmpmvs/models"}) {
        std::error_code ec;
        for (fs::directory_iterator it(fs::path(folder) / sub, ec), end; !ec && it != end; it.increment(ec)) {
            if (!it->is_regular_file(ec) || it->path().extension() != ".ply" ||
                fs::file_size(it->path(), ec) == 0)
                continue;
            // Only what the dense stage made: a cloud exported there is in
            // survey coordinates already and would be placed twice.
            const std::string relative = std::string(sub) + "/" + it->path().filename().string();
            const std::string stem = it->path().stem().string();
            const bool made = recorded
                                  ? record.madeFile(QString::fromStdString(relative))
                                  : (stem.size() == 11 && stem.rfind("option-", 0) == 0) || stem == "mvs";
            if (made)
                files.push_back(it->path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool OrthoInput::staleInput(const std::string& folder, const std::string& nvmPath, std::string& error)
{
    namespace fs = std::filesystem;
    const QString pipeline = QString::fromStdString(folder);
    const QString nvm = ProductRecord::relative(pipeline, QString::fromStdString(nvmPath));
    const QByteArray current = ProductRecord::fingerprint(QString::fromStdString(nvmPath));
    ProductRecord georeference, dense;
    if (ProductRecord::read(pipeline, QLatin1String(ProductRecord::georeference), &georeference) &&
        !georeference.inputFingerprint(nvm).isEmpty() && georeference.inputFingerprint(nvm) != current) {
        error = "sparse.txt was fitted to an earlier " + nvm.toStdString() +
                ": georeference the reconstruction again (Fit to Control Points) before the orthophoto";
        return true;
    }
    if (ProductRecord::read(pipeline, QLatin1String(ProductRecord::dense), &dense)) {
        if (!dense.inputFingerprint(nvm).isEmpty() && dense.inputFingerprint(nvm) != current) {
            error =
                "the dense clouds were made from an earlier " + nvm.toStdString() + ": run Dense again first";
            return true;
        }
        return false;
    }
    // Clouds of a run that left no record: older than the reconstruction means made from an earlier one.
    std::error_code ec;
    const auto sparseTime = fs::last_write_time(nvmPath, ec);
    for (const std::string& cloud : denseClouds(folder)) {
        std::error_code cloudError;
        if (!ec && fs::last_write_time(cloud, cloudError) < sparseTime && !cloudError) {
            error = cloud + " is older than " + nvmPath +
                    ", so it was made from an earlier reconstruction: "
                    "run Dense again first";
            return true;
        }
    }
    return false;
}

void OrthoInput::toSurvey(const double model[3], double survey[3]) const
{
    const osg::Vec3d p = geo.apply(osg::Vec3d(model[0], model[1], model[2]));
    survey[0] = p.x();
    survey[1] = p.y();
    survey[2] = p.z();
}

bool OrthoInput::load(const OrthoOptions& options, std::ostream& progress, std::string& error)
{
    namespace fs = std::filesystem;
    GDALAllRegister();
    const std::string nvmPath = options.nvmPath();
    std::error_code ec;
    if (!fs::is_regular_file(nvmPath, ec)) {
        error = "no reconstruction " + nvmPath + ": run the sparse stage first";
        return false;
    }
    const QString companion = GeoReference::companionFileName(QString::fromStdString(nvmPath));
    if (!QFileInfo::exists(companion) || !GeoReference::read(companion, geo)) {
        error =
            nvmPath + " is not georeferenced (no valid " + companion.toStdString() + "): georeference first";
        return false;
    }
    epsg = options.epsg ? options.epsg : geo.epsg;
    if (!epsg) {
        error = companion.toStdString() + " names no reference system: georeference again, or give --epsg";
        return false;
    }
    OGRSpatialReference srs;
    if (srs.importFromEPSG(epsg) != OGRERR_NONE || !srs.IsProjected()) {
        error = "EPSG:" + std::to_string(epsg) + " is not a projected reference system GDAL knows";
        return false;
    }

    NvmFile nvm;
    std::string why;
    if (!nvm.readFile(nvmPath, &why) || nvm.models.empty() || nvm.models.front().cameras.empty()) {
        error = nvmPath + ": " + (why.empty() ? "no cameras" : why);
        return false;
    }
    const std::string folder = fs::path(nvmPath).parent_path().string();
    // The matrix that takes model points to survey offsets: diag(s) R.
    double sr[9], srInverse[9];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            sr[r * 3 + c] = geo.scale[r] * geo.rotation(r, c);
    if (!invert(sr, srInverse)) {
        error = companion.toStdString() + ": the scale collapses an axis";
        return false;
    }
    // The lens "Fit to Control Points" adjusted, which the NVM's one term
    // only approximates, by the photos' names.
    std::map<std::string, CameraIntrinsics::Camera> lensOf;
    {
        const fs::path nvmFile(nvmPath);
        const std::string lensPath =
            CameraIntrinsics::pathFor((nvmFile.parent_path() / nvmFile.stem()).string() + ".out");
        CameraIntrinsics lenses;
        std::string lensError;
        if (fs::exists(lensPath, ec)) {
            if (lenses.readFile(lensPath, &lensError)) {
                for (const CameraIntrinsics::Camera& c : lenses.cameras)
                    lensOf[c.image] = c;
                progress << "OrthoDsm: camera lenses from " << lensPath << std::endl;
            } else
                progress << "OrthoDsm: " << lensPath << " is not used (" << lensError
                         << "): the photos take the NVM's distortion" << std::endl;
        }
    }
    std::map<std::pair<int, int>, int> sizes;
    int missing = 0;
    for (const NvmFile::Camera& c : nvm.models.front().cameras) {
        OrthoPhoto p;
        p.name = c.name;
        p.path = (fs::path(folder) / c.name).string();
        p.focal = c.focal;
        p.radial = c.radial;
        if (!(c.focal > 0)) {
            error = nvmPath + ": camera " + c.name + " has no focal length";
            return false;
        }
        // A photo gone from the folder or damaged since the run leaves a gap
        // the others fill where they see the ground.
        if (!fs::is_regular_file(p.path, ec)) {
            progress << "OrthoDsm: photo " << p.path << " of the reconstruction is missing: left out"
                     << std::endl;
            ++missing;
            continue;
        }
        if (!photoSize(p.path, p.width, p.height)) {
            progress << "OrthoDsm: photo " << p.path << " cannot be read: left out" << std::endl;
            ++missing;
            continue;
        }
        const auto lens = lensOf.find(c.name);
        if (lens != lensOf.end() && lens->second.width == p.width && lens->second.height == p.height) {
            p.hasLens = true;
            p.lens = lens->second;
        }
        ++sizes[{p.width, p.height}];
        const std::array<double, 9> rc = c.rotation();
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 3; ++k) {
                double sum = 0;
                for (int j = 0; j < 3; ++j)
                    sum += rc[r * 3 + j] * srInverse[j * 3 + k];
                p.toCamera[r * 3 + k] = sum;
            }
        const double centre[3] = {c.centre[0], c.centre[1], c.centre[2]};
        toSurvey(centre, p.centre);
        photos.push_back(p);
    }
    if (photos.empty()) {
        error =
            "none of the reconstruction's " + std::to_string(missing) + " photos can be read in " + folder;
        return false;
    }
    // NVM measures from the image centre and keeps no image size: the cameras
    // were estimated on the photos as they were, which all but a changed one share.
    const auto common = std::max_element(sizes.begin(), sizes.end(),
                                         [](const auto& a, const auto& b) { return a.second < b.second; });
    for (const OrthoPhoto& p : photos)
        if (std::make_pair(p.width, p.height) != common->first) {
            error = "photo " + p.path + " is " + std::to_string(p.width) + " x " + std::to_string(p.height) +
                    ", not the " + std::to_string(common->first.first) + " x " +
                    std::to_string(common->first.second) + " of the reconstruction's other photos";
            return false;
        }

    if (options.dense.empty() && staleInput(options.folder, nvmPath, error))
        return false;
    denseFiles = options.dense.empty() ? denseClouds(options.folder) : options.dense;
    if (denseFiles.empty()) {
        error = "no dense cloud in " + options.folder + "/pmvs/models or " + options.folder +
                "/cmpmvs/models: run the dense stage first";
        return false;
    }
    for (const std::string& f : denseFiles)
        if (!fs::is_regular_file(f, ec)) {
            error = "no dense cloud " + f;
            return false;
        }
    progress << "OrthoDsm: " << photos.size() << " photos of " << common->first.first << " x "
             << common->first.second << ", " << denseFiles.size() << " dense cloud(s), EPSG:" << epsg
             << std::endl;
    return true;
}
