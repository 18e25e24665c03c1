#include "ColmapModel.h"

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include "RadialDistortion.h"

namespace
{

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

std::istringstream words(const std::string& line)
{
    std::istringstream s(line);
    s.imbue(std::locale::classic());
    return s;
}

bool isComment(const std::string& line)
{
    const auto first = line.find_first_not_of(" \t\r");
    return first == std::string::npos || line[first] == '#';
}

std::array<double, 9> rotationOf(const std::array<double, 4>& q)
{
    NvmFile::Camera c;
    c.quaternion = q;
    return c.rotation();
}

bool readCamera(const std::string& line, int& id, ColmapModel::Camera& c)
{
    auto w = words(line);
    if (!(w >> id >> c.model >> c.width >> c.height))
        return false;
    std::vector<double> p;
    for (double v; w >> v;)
        p.push_back(v);
    const auto need = [&p](size_t n) { return p.size() == n; };
    if (c.model == "SIMPLE_PINHOLE" && need(3)) {
        c.fx = c.fy = p[0];
        c.cx = p[1];
        c.cy = p[2];
    } else if (c.model == "PINHOLE" && need(4)) {
        c.fx = p[0];
        c.fy = p[1];
        c.cx = p[2];
        c.cy = p[3];
    } else if (c.model == "SIMPLE_RADIAL" && need(4)) {
        c.fx = c.fy = p[0];
        c.cx = p[1];
        c.cy = p[2];
        c.k1 = p[3];
    } else if (c.model == "RADIAL" && need(5)) {
        c.fx = c.fy = p[0];
        c.cx = p[1];
        c.cy = p[2];
        c.k1 = p[3];
        c.k2 = p[4];
    } else {
        return false;
    }
    return true;
}

} // namespace

std::array<double, 3> ColmapModel::Image::centre() const
{
    const auto R = rotationOf(quaternion);
    const auto& t = translation;
    return {-(R[0] * t[0] + R[3] * t[1] + R[6] * t[2]), -(R[1] * t[0] + R[4] * t[1] + R[7] * t[2]),
            -(R[2] * t[0] + R[5] * t[1] + R[8] * t[2])};
}

bool ColmapModel::readFolder(const std::string& folder, std::string* error)
{
    cameras.clear();
    images.clear();
    points.clear();
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    std::string line;
    int number = 0;

    const std::string cameraFile = base + "cameras.txt";
    std::ifstream camerasIn(cameraFile);
    if (!camerasIn)
        return fail(error, "cannot open " + cameraFile);
    for (number = 1; std::getline(camerasIn, line); ++number) {
        if (isComment(line))
            continue;
        int id = 0;
        Camera c;
        if (!readCamera(line, id, c))
            return fail(error, cameraFile + " line " + std::to_string(number) +
                                   ": not a camera of a model we can convert (SIMPLE_PINHOLE, PINHOLE, "
                                   "SIMPLE_RADIAL, RADIAL)");
        cameras[id] = c;
    }

    const std::string imageFile = base + "images.txt";
    std::ifstream imagesIn(imageFile);
    if (!imagesIn)
        return fail(error, "cannot open " + imageFile);
    for (number = 1; std::getline(imagesIn, line); ++number) {
        if (isComment(line))
            continue;
        Image im;
        auto w = words(line);
        if (!(w >> im.id >> im.quaternion[0] >> im.quaternion[1] >> im.quaternion[2] >> im.quaternion[3] >>
              im.translation[0] >> im.translation[1] >> im.translation[2] >> im.camera >> im.name) ||
            !cameras.count(im.camera))
            return fail(error, imageFile + " line " + std::to_string(number) + ": malformed image");
        // The observation line follows, possibly empty.
        std::string observations;
        if (!std::getline(imagesIn, observations))
            observations.clear();
        ++number;
        auto o = words(observations);
        for (Observation ob; o >> ob.x >> ob.y >> ob.point;)
            im.observations.push_back(ob);
        images[im.id] = std::move(im);
    }

    const std::string pointFile = base + "points3D.txt";
    std::ifstream pointsIn(pointFile);
    if (!pointsIn)
        return fail(error, "cannot open " + pointFile);
    for (number = 1; std::getline(pointsIn, line); ++number) {
        if (isComment(line))
            continue;
        long long id = 0;
        Point p;
        auto w = words(line);
        if (!(w >> id >> p.position[0] >> p.position[1] >> p.position[2] >> p.colour[0] >> p.colour[1] >>
              p.colour[2] >> p.error))
            return fail(error, pointFile + " line " + std::to_string(number) + ": malformed point");
        for (TrackElement t; w >> t.image >> t.feature;) {
            const auto image = images.find(t.image);
            if (image == images.end() || t.feature < 0 ||
                size_t(t.feature) >= image->second.observations.size())
                return fail(error, pointFile + " line " + std::to_string(number) +
                                       ": track names an unknown image or feature");
            p.track.push_back(t);
        }
        points[id] = std::move(p);
    }
    return true;
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
            const auto R = rotationOf(im.quaternion);
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
