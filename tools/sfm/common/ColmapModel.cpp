#include "ColmapModel.h"

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include "CameraIntrinsics.h"
#include "common/geometry/RadialDistortion.h"
#include "common/text/TextTokens.h"
#include "common/geometry/Rotation.h"

namespace
{

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

bool isComment(const std::string& line)
{
    const auto first = line.find_first_not_of(" \t\r");
    return first == std::string::npos || line[first] == '#';
}

// How many parameters each model we convert takes.
int parameterCount(const std::string& model)
{
    if (model == "SIMPLE_PINHOLE")
        return 3;
    if (model == "PINHOLE" || model == "SIMPLE_RADIAL")
        return 4;
    if (model == "RADIAL")
        return 5;
    return 0;
}

// "CAMERA_ID MODEL WIDTH HEIGHT PARAMS[]"; empty when it is a camera we can
// use, else why not.
std::string readCamera(const std::string& line, int& id, ColmapModel::Camera& c)
{
    const auto w = TextTokens::split(line);
    if (w.size() < 4)
        return "a camera needs an id, a model, a width and a height";
    if (!TextTokens::number(w[0], id))
        return "the camera id " + TextTokens::quoted(w[0]) + " is not a whole number";
    c.model = std::string(w[1]);
    const int count = parameterCount(c.model);
    if (count == 0)
        return "camera model " + TextTokens::quoted(w[1]) +
               " is not one we can convert (SIMPLE_PINHOLE, PINHOLE, SIMPLE_RADIAL, RADIAL)";
    if (!TextTokens::number(w[2], c.width) || !TextTokens::number(w[3], c.height))
        return "the size " + TextTokens::quoted(w[2]) + " x " + TextTokens::quoted(w[3]) +
               " is not two whole numbers";
    if (w.size() != size_t(4 + count))
        return c.model + " takes " + std::to_string(count) + " parameters, not " +
               std::to_string(w.size() - 4);
    double p[5] = {};
    for (int k = 0; k < count; ++k)
        if (!TextTokens::number(w[size_t(4 + k)], p[k]))
            return "parameter " + TextTokens::quoted(w[size_t(4 + k)]) + " is not a finite number";
    if (c.model == "PINHOLE") {
        c.fx = p[0];
        c.fy = p[1];
        c.cx = p[2];
        c.cy = p[3];
    } else {
        c.fx = c.fy = p[0];
        c.cx = p[1];
        c.cy = p[2];
        c.k1 = c.model == "SIMPLE_PINHOLE" ? 0 : p[3];
        c.k2 = c.model == "RADIAL" ? p[4] : 0;
    }
    CameraIntrinsics::Camera check;
    check.width = c.width;
    check.height = c.height;
    check.fx = c.fx;
    check.fy = c.fy;
    check.cx = c.cx;
    check.cy = c.cy;
    check.k1 = c.k1;
    check.k2 = c.k2;
    return check.problem();
}

// "IMAGE_ID QW QX QY QZ TX TY TZ CAMERA_ID NAME", the name the rest of the
// line (COLMAP writes it last, blanks and all).
std::string readImage(const std::string& line, ColmapModel::Image& im)
{
    const auto w = TextTokens::split(line);
    if (w.size() < 10)
        return "an image needs an id, a quaternion, a translation, a camera and a name";
    if (!TextTokens::number(w[0], im.id))
        return "the image id " + TextTokens::quoted(w[0]) + " is not a whole number";
    double* values[] = {&im.quaternion[0],  &im.quaternion[1],  &im.quaternion[2], &im.quaternion[3],
                        &im.translation[0], &im.translation[1], &im.translation[2]};
    for (size_t k = 0; k < 7; ++k)
        if (!TextTokens::number(w[1 + k], *values[k]))
            return TextTokens::quoted(w[1 + k]) + " is not a finite number";
    const auto& q = im.quaternion;
    const double norm = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    // A zero quaternion was taken for no rotation at all.
    if (!(norm > 1e-6) || !std::isfinite(norm))
        return "the quaternion has no length: it names no rotation";
    const auto centre = im.centre();
    if (!std::isfinite(centre[0]) || !std::isfinite(centre[1]) || !std::isfinite(centre[2]))
        return "the translation puts the camera at no finite place";
    if (!TextTokens::number(w[8], im.camera))
        return "the camera id " + TextTokens::quoted(w[8]) + " is not a whole number";
    im.name = TextTokens::rest(line, w[9]);
    return std::string();
}

// "X Y POINT3D_ID" repeated; the point id is -1 for an untriangulated feature.
std::string readObservations(const std::string& line, std::vector<ColmapModel::Observation>& out)
{
    const auto w = TextTokens::split(line);
    if (w.size() % 3 != 0)
        return "observations come as X Y POINT3D_ID, but the line holds " + std::to_string(w.size()) +
               " words";
    out.reserve(w.size() / 3);
    for (size_t k = 0; k < w.size(); k += 3) {
        ColmapModel::Observation ob;
        if (!TextTokens::number(w[k], ob.x) || !TextTokens::number(w[k + 1], ob.y))
            return "observation " + std::to_string(k / 3) + ": " +
                   TextTokens::quoted(TextTokens::number(w[k], ob.x) ? w[k + 1] : w[k]) +
                   " is not a finite number";
        if (!TextTokens::number(w[k + 2], ob.point) || ob.point < -1)
            return "observation " + std::to_string(k / 3) + ": the point id " + TextTokens::quoted(w[k + 2]) +
                   " is not -1 or a point";
        out.push_back(ob);
    }
    return std::string();
}

// "POINT3D_ID X Y Z R G B ERROR TRACK[] as (IMAGE_ID, POINT2D_IDX)".
std::string readPoint(const std::string& line, long long& id, ColmapModel::Point& p)
{
    const auto w = TextTokens::split(line);
    if (w.size() < 8 || (w.size() - 8) % 2 != 0)
        return "a point needs an id, X Y Z, R G B, an error and pairs of image and feature";
    if (!TextTokens::number(w[0], id))
        return "the point id " + TextTokens::quoted(w[0]) + " is not a whole number";
    for (size_t k = 0; k < 3; ++k)
        if (!TextTokens::number(w[1 + k], p.position[k]))
            return TextTokens::quoted(w[1 + k]) + " is not a finite number";
    for (size_t k = 0; k < 3; ++k)
        if (!TextTokens::number(w[4 + k], p.colour[k]) || p.colour[k] < 0 || p.colour[k] > 255)
            return "the colour " + TextTokens::quoted(w[4 + k]) + " is not a whole number from 0 to 255";
    if (!TextTokens::number(w[7], p.error))
        return "the error " + TextTokens::quoted(w[7]) + " is not a finite number";
    p.track.reserve((w.size() - 8) / 2);
    for (size_t k = 8; k < w.size(); k += 2) {
        ColmapModel::TrackElement t;
        if (!TextTokens::number(w[k], t.image) || !TextTokens::number(w[k + 1], t.feature))
            return "track element " + TextTokens::quoted(w[k]) + " " + TextTokens::quoted(w[k + 1]) +
                   " is not two whole numbers";
        p.track.push_back(t);
    }
    return std::string();
}

} // namespace

std::array<double, 3> ColmapModel::Image::centre() const
{
    const auto R = Rotation::matrixOf(quaternion);
    const auto& t = translation;
    return {-(R[0] * t[0] + R[3] * t[1] + R[6] * t[2]), -(R[1] * t[0] + R[4] * t[1] + R[7] * t[2]),
            -(R[2] * t[0] + R[5] * t[1] + R[8] * t[2])};
}

bool ColmapModel::read(std::istream& camerasIn, std::istream& imagesIn, std::istream& pointsIn,
                       std::string* error)
{
    cameras.clear();
    images.clear();
    points.clear();
    std::string line;
    int number = 0;
    const auto at = [&number](const char* file, const std::string& why) {
        return std::string(file) + " line " + std::to_string(number) + ": " + why;
    };

    for (number = 1; std::getline(camerasIn, line); ++number) {
        if (isComment(line))
            continue;
        int id = 0;
        Camera c;
        const std::string problem = readCamera(line, id, c);
        if (!problem.empty())
            return fail(error, at("cameras.txt", problem));
        cameras[id] = c;
    }

    for (number = 1; std::getline(imagesIn, line); ++number) {
        if (isComment(line))
            continue;
        Image im;
        std::string problem = readImage(line, im);
        if (problem.empty() && !cameras.count(im.camera))
            problem = "camera " + std::to_string(im.camera) + " is not in cameras.txt";
        if (!problem.empty())
            return fail(error, at("images.txt", problem));
        // The observation line follows, possibly empty.
        std::string observations;
        if (!std::getline(imagesIn, observations))
            observations.clear();
        ++number;
        problem = readObservations(observations, im.observations);
        if (!problem.empty())
            return fail(error, at("images.txt", problem));
        images[im.id] = std::move(im);
    }

    for (number = 1; std::getline(pointsIn, line); ++number) {
        if (isComment(line))
            continue;
        long long id = 0;
        Point p;
        std::string problem = readPoint(line, id, p);
        for (size_t k = 0; problem.empty() && k < p.track.size(); ++k) {
            const TrackElement& t = p.track[k];
            const auto image = images.find(t.image);
            if (image == images.end() || t.feature < 0 ||
                size_t(t.feature) >= image->second.observations.size())
                problem = "track names an unknown image or feature";
        }
        if (!problem.empty())
            return fail(error, at("points3D.txt", problem));
        points[id] = std::move(p);
    }
    return true;
}

bool ColmapModel::readFolder(const std::string& folder, std::string* error)
{
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    std::ifstream files[3];
    const char* names[] = {"cameras.txt", "images.txt", "points3D.txt"};
    for (int k = 0; k < 3; ++k) {
        files[k].open(base + names[k], std::ios::binary);
        if (!files[k]) {
            cameras.clear();
            images.clear();
            points.clear();
            return fail(error, "cannot open " + base + names[k]);
        }
    }
    std::string why;
    if (read(files[0], files[1], files[2], &why))
        return true;
    // The reason names the file; with its folder it names the path.
    return fail(error, base + why);
}

double ColmapModel::meanReprojectionError() const
{
    if (points.empty())
        return 0;
    double sum = 0;
    for (const auto& p : points)
        sum += p.second.error;
    return sum / double(points.size());
}

size_t ColmapModel::observationCount() const
{
    size_t n = 0;
    for (const auto& p : points)
        n += p.second.track.size();
    return n;
}

NvmFile::Model ColmapModel::toNvm(const std::function<std::string(const std::string&)>& cameraName) const
{
    NvmFile::Model model;
    std::map<int, int> index;
    for (const auto& [id, im] : images) {
        const Camera& c = cameras.at(im.camera);
        NvmFile::Camera nc;
        nc.name = cameraName(im.name);
        nc.focal = 0.5 * (c.fx + c.fy);
        nc.quaternion = im.quaternion;
        nc.centre = im.centre();
        nc.radial = RadialDistortion::nvmFromProjection(
            c.k1, c.k2, RadialDistortion::maxRadius(c.width, c.height, nc.focal));
        index[id] = int(model.cameras.size());
        model.cameras.push_back(nc);
    }
    model.points.reserve(points.size());
    for (const auto& entry : points) {
        const Point& p = entry.second;
        NvmFile::Point np;
        np.position = p.position;
        np.colour = p.colour;
        std::set<int> seen; // NVM has one measurement per image and point
        for (const TrackElement& t : p.track) {
            if (!seen.insert(t.image).second)
                continue;
            const Image& im = images.at(t.image);
            const Camera& c = cameras.at(im.camera);
            const Observation& ob = im.observations[size_t(t.feature)];
            np.measurements.push_back({index[t.image], t.feature, ob.x - c.cx, ob.y - c.cy});
        }
        model.points.push_back(std::move(np));
    }
    return model;
}

BundlerFile ColmapModel::toBundler(const std::vector<std::string>& imageOrder) const
{
    BundlerFile bundle;
    bundle.cameras.resize(imageOrder.size());
    std::map<int, int> index;
    for (size_t i = 0; i < imageOrder.size(); ++i) {
        for (const auto& [id, im] : images) {
            if (im.name != imageOrder[i] || index.count(id))
                continue;
            const Camera& c = cameras.at(im.camera);
            BundlerFile::Camera& bc = bundle.cameras[i];
            bc.focal = 0.5 * (c.fx + c.fy);
            bc.k1 = c.k1;
            bc.k2 = c.k2;
            // Bundler's camera looks down -z with y up: flip the last two axes.
            const auto R = Rotation::matrixOf(im.quaternion);
            for (int col = 0; col < 3; ++col) {
                bc.rotation[col] = R[col];
                bc.rotation[3 + col] = -R[3 + col];
                bc.rotation[6 + col] = -R[6 + col];
            }
            bc.translation = {im.translation[0], -im.translation[1], -im.translation[2]};
            index[id] = int(i);
            break;
        }
    }
    for (const auto& entry : points) {
        const Point& p = entry.second;
        BundlerFile::Point bp;
        bp.position = p.position;
        bp.colour = p.colour;
        std::set<int> seen;
        for (const TrackElement& t : p.track) {
            const auto camera = index.find(t.image);
            if (camera == index.end() || !seen.insert(t.image).second)
                continue;
            const Image& im = images.at(t.image);
            const Camera& c = cameras.at(im.camera);
            const Observation& ob = im.observations[size_t(t.feature)];
            bp.views.push_back({camera->second, t.feature, ob.x - c.cx, c.cy - ob.y});
        }
        if (!bp.views.empty())
            bundle.points.push_back(std::move(bp));
    }
    return bundle;
}
