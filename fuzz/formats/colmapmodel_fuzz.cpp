// The COLMAP text model our SfM tools read back (cameras.txt, images.txt,
// points3D.txt, here one input split at its first two NUL bytes). A model
// the reader accepts converts into an NVM and a Bundler file of finite
// numbers only, with every measurement in its own camera list.
#include "ColmapModel.h"

#include "FuzzSupport.h"

#include <cmath>
#include <sstream>

namespace
{

bool isFinite(double v)
{
    return std::isfinite(v);
}

template <size_t N> bool isFinite(const std::array<double, N>& values)
{
    for (double v : values)
        if (!std::isfinite(v))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t first = input.find('\0');
    const size_t second = first == std::string::npos ? std::string::npos : input.find('\0', first + 1);
    std::istringstream cameras(input.substr(0, first));
    std::istringstream images(first == std::string::npos ? std::string()
                                                         : input.substr(first + 1, second - first - 1));
    std::istringstream points(second == std::string::npos ? std::string() : input.substr(second + 1));
    ColmapModel model;
    std::string error;
    if (!model.read(cameras, images, points, &error)) {
        fuzz::check(error.find(" line ") != std::string::npos);
        return 0;
    }
    for (const auto& entry : model.images) {
        const ColmapModel::Image& im = entry.second;
        fuzz::check(model.cameras.count(im.camera) == 1);
        fuzz::check(isFinite(im.centre()));
        fuzz::check(im.name.empty() || (im.name.front() != ' ' && im.name.back() != ' '));
    }
    const NvmFile::Model nvm = model.toNvm([](const std::string& name) { return name; });
    fuzz::check(nvm.cameras.size() == model.images.size());
    for (const NvmFile::Camera& c : nvm.cameras)
        fuzz::check(c.focal > 0 && isFinite(c.focal) && isFinite(c.radial) && isFinite(c.centre));
    for (const NvmFile::Point& p : nvm.points)
        for (const auto& m : p.measurements)
            fuzz::check(m.camera >= 0 && size_t(m.camera) < nvm.cameras.size() && isFinite(m.x) &&
                        isFinite(m.y));
    std::vector<std::string> order;
    for (const auto& entry : model.images)
        order.push_back(entry.second.name);
    const BundlerFile bundle = model.toBundler(order);
    for (const BundlerFile::Camera& c : bundle.cameras)
        fuzz::check(isFinite(c.focal) && isFinite(c.k1) && isFinite(c.k2) && isFinite(c.translation));
    return 0;
}
