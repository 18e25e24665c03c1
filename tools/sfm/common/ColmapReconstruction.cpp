#include "ColmapReconstruction.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <sstream>

#include "common/files/AtomicFile.h"
#include "ImageListFile.h"
#include "KeybFile.h"
#include "ParallelFor.h"
#include "ToolPaths.h"

namespace fs = std::filesystem;

namespace
{

const char* const stampName = "inputs.txt";

std::string number(double v)
{
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s << std::setprecision(17) << v;
    return s.str();
}

void appendNumber(std::string& out, float v)
{
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, r.ptr);
}

// COLMAP's text feature file: "count 128", then per feature
// "x y scale orientation d1 ... d128", single blanks. COLMAP's pixel
// coordinates start at the corner of the first pixel, ours at its centre.
std::string colmapFeatureText(const FeatureSet& f)
{
    std::string text;
    text.reserve(f.size() * 520 + 16);
    text += std::to_string(f.size()) + " 128\n";
    for (size_t i = 0; i < f.size(); ++i) {
        const auto& k = f.keypoints[i];
        appendNumber(text, k.x + 0.5f);
        text += ' ';
        appendNumber(text, k.y + 0.5f);
        text += ' ';
        appendNumber(text, k.scale);
        text += ' ';
        appendNumber(text, k.orientation);
        const std::uint8_t* d = f.descriptor(i);
        for (int j = 0; j < FeatureSet::descriptorSize; ++j) {
            text += ' ';
            text += std::to_string(d[j]);
        }
        text += '\n';
    }
    return text;
}

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

bool writeText(const std::string& path, const std::string& text, std::string* error)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out)
        return fail(error, "cannot write " + path);
    return true;
}

} // namespace

bool ColmapReconstruction::readImageList(const std::string& listPath, std::vector<ListedImage>& images,
                                         std::ostream& log, std::string* error)
{
    images.clear();
    ImageListFile list;
    if (!list.readFile(ToolPaths::native(listPath), error))
        return false;
    if (list.entries.size() < 2)
        return fail(error, "the image list " + listPath + " names fewer than two images");
    // Photos SiftGPUMax left out (missing, damaged, without features) have
    // empty feature files: they keep their place in the list (the match
    // tables count by it) and stay unregistered; the others go on.
    size_t usable = 0;
    for (const auto& entry : list.entries) {
        std::string note;
        const std::string image = ToolPaths::resolveFile(entry.image, &note);
        if (!note.empty())
            log << note << '\n';
        const std::string keyb =
            ToolPaths::resolveFile(KeybFile::pathForImage(ToolPaths::native(entry.image)));
        FeatureSet head;
        size_t count = 0;
        if (keyb.empty() || !KeybFile::readHeader(keyb, head, count)) {
            if (image.empty())
                return fail(error, ToolPaths::native(entry.image) + ": image not found");
            return fail(error, "no usable features for " + image + ": run feature detection first");
        }
        if (image.empty() || count == 0)
            log << (image.empty() ? ToolPaths::native(entry.image) : image) << " left out: "
                << (image.empty() ? "not found" : "no features") << '\n';
        else
            ++usable;
        images.push_back({{image.empty() ? ToolPaths::native(entry.image) : image, keyb, 0}, head.width,
                          head.height, entry.focal, image.empty() ? 0 : count});
    }
    if (usable < 2)
        return fail(error, "fewer than two photos of " + listPath + " have features (" + std::to_string(usable) +
                               " of " + std::to_string(list.entries.size()) + ")");
    return true;
}

ColmapReconstruction::ColmapReconstruction(Settings settings)
    : m_settings(std::move(settings)), m_driver(m_settings.colmap, m_settings.workFolder + "/colmap.log")
{
}

void ColmapReconstruction::setRoot(const std::vector<Image>& images)
{
    m_root.clear();
    for (size_t i = 0; i < images.size(); ++i) {
        const std::string folder =
            ToolPaths::folderOf(fs::absolute(ToolPaths::native(images[i].path)).string());
        if (i == 0) {
            m_root = folder;
            continue;
        }
        // Shorten to the common prefix, then back to its last "/".
        size_t n = 0;
        while (n < m_root.size() && n < folder.size() && m_root[n] == folder[n])
            ++n;
        m_root = ToolPaths::folderOf(m_root.substr(0, n));
    }
    if (m_root.empty())
        m_root = "/";
}

std::string ColmapReconstruction::colmapName(const std::string& imagePath) const
{
    const std::string full = fs::absolute(ToolPaths::native(imagePath)).string();
    return full.rfind(m_root, 0) == 0 ? full.substr(m_root.size()) : full;
}

std::string ColmapReconstruction::cameraParams(const Image& image, int width, int height) const
{
    if (m_settings.calibrated)
        return number(m_settings.fx) + "," + number(m_settings.fy) + "," + number(m_settings.cx) + "," +
               number(m_settings.cy);
    if (image.focal <= 0)
        return {};
    std::string p = number(image.focal) + "," + number(width / 2.0) + "," + number(height / 2.0);
    const std::string& model = m_settings.cameraModel;
    if (model == "SIMPLE_RADIAL")
        p += ",0";
    else if (model == "RADIAL")
        p += ",0,0";
    return p;
}

std::string ColmapReconstruction::sharedCameraKey(const Image& image, const std::string& params) const
{
    if (m_settings.calibrated)
        return "calibrated";
    // The parameters hold the focal length and the image's centre, so its size.
    if (image.camera.empty() || params.empty())
        return {};
    return image.camera + ": " + params;
}

std::string ColmapReconstruction::stamp(const std::vector<Image>& images) const
{
    std::string text =
        m_root + "\n" + (m_settings.calibrated ? std::string("PINHOLE") : m_settings.cameraModel) + "\n";
    for (const Image& im : images) {
        FeatureSet head;
        size_t count = 0;
        if (!KeybFile::readHeader(ToolPaths::native(im.featurePath), head, count))
            return {};
        const std::string params = cameraParams(im, head.width, head.height);
        text += colmapName(im.path) + " " + std::to_string(count) + " " + params + " [" +
                sharedCameraKey(im, params) + "]\n";
    }
    return text;
}

bool ColmapReconstruction::canReuse(const std::vector<Image>& images)
{
    setRoot(images);
    const std::string work = m_settings.workFolder + "/";
    std::ifstream in(work + stampName, std::ios::binary);
    if (!in || !fs::exists(work + "database.db"))
        return false;
    const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string now = stamp(images);
    return !now.empty() && saved == now;
}

bool ColmapReconstruction::importData(const std::vector<Image>& images, const std::vector<Match>& matches,
                                      std::ostream& log, std::string* error)
{
    if (images.empty())
        return fail(error, "no images to reconstruct");
    if (!m_driver.available(error))
        return false;
    setRoot(images);
    const std::string work = m_settings.workFolder + "/";
    std::error_code ec;
    fs::create_directories(work + "features", ec);
    for (const char* name : {"database.db", "database.db-shm", "database.db-wal", stampName})
        fs::remove(work + name, ec);
    fs::remove_all(work + "lists", ec);
    fs::create_directories(work + "lists", ec);
    if (!m_driver.createDatabase(work + "database.db", error))
        return false;

    // Feature files for COLMAP, written in parallel; each image's camera
    // parameters decide which import call takes it.
    std::vector<std::string> params(images.size());
    std::vector<size_t> featureCounts(images.size(), 0);
    std::vector<std::string> problems(images.size());
    ParallelFor::run(images.size(), m_settings.threads, [&](size_t i) {
        FeatureSet features;
        std::string why;
        if (!KeybFile::readFile(ToolPaths::native(images[i].featurePath), features, &why)) {
            problems[i] = why;
            return;
        }
        // A photo left out by feature detection: COLMAP never sees it.
        if (features.size() == 0)
            return;
        const std::string name = colmapName(images[i].path);
        const std::string target = work + "features/" + name + ".txt";
        std::error_code dirError;
        fs::create_directories(fs::path(target).parent_path(), dirError);
        if (!writeText(target, colmapFeatureText(features), &why))
            problems[i] = why;
        params[i] = cameraParams(images[i], features.width, features.height);
        featureCounts[i] = features.size();
    });
    for (const std::string& p : problems)
        if (!p.empty())
            return fail(error, p);

    // One import call per shared camera (COLMAP gives all its images one
    // camera), and one per starting calibration of the images with a camera
    // of their own.
    std::map<std::pair<std::string, std::string>, std::vector<size_t>> groups;
    for (size_t i = 0; i < images.size(); ++i)
        if (featureCounts[i] > 0)
            groups[{sharedCameraKey(images[i], params[i]), params[i]}].push_back(i);
    int groupNumber = 0;
    for (const auto& [key, members] : groups) {
        const std::string& shared = key.first;
        const std::string& p = key.second;
        std::string list;
        for (size_t i : members)
            list += colmapName(images[i].path) + "\n";
        const std::string listPath = work + "lists/images_" + std::to_string(groupNumber++) + ".txt";
        if (!writeText(listPath, list, error))
            return false;
        ColmapDriver::CameraSettings camera;
        camera.model = m_settings.calibrated ? "PINHOLE" : m_settings.cameraModel;
        camera.params = p;
        camera.singleCamera = !shared.empty();
        log << "Importing the features of " << members.size() << " image(s)"
            << (p.empty()               ? std::string(", calibration guessed by COLMAP")
                : m_settings.calibrated ? ", one calibrated camera " + p + ", kept as given"
                : shared.empty()        ? ", camera " + p
                                        : ", one camera " + shared)
            << std::endl;
        if (!m_driver.importFeatures(work + "database.db", m_root, work + "features", listPath, camera,
                                     error))
            return false;
    }

    // Verified matches: one block per pair, each feature used once on either side.
    std::string text;
    size_t pairs = 0;
    for (const Match& m : matches) {
        if (m.first < 0 || m.second < 0 || size_t(m.first) >= images.size() ||
            size_t(m.second) >= images.size() || m.first == m.second)
            continue;
        std::set<int> usedA, usedB;
        std::string block;
        for (const auto& f : m.features) {
            // A table made for another image list names features the images do not have.
            for (const auto& [image, feature] :
                 {std::make_pair(m.first, f.first), std::make_pair(m.second, f.second)})
                if (feature < 0 || size_t(feature) >= featureCounts[size_t(image)])
                    return fail(error, "a match names feature " + std::to_string(feature) + " of " +
                                           images[size_t(image)].path + ", which has " +
                                           std::to_string(featureCounts[size_t(image)]) +
                                           ": the matches do not belong to this image list");
            if (usedA.insert(f.first).second && usedB.insert(f.second).second)
                block += std::to_string(f.first) + " " + std::to_string(f.second) + "\n";
        }
        if (block.empty())
            continue;
        text += colmapName(images[size_t(m.first)].path) + " " + colmapName(images[size_t(m.second)].path) +
                "\n" + block + "\n";
        ++pairs;
    }
    if (pairs == 0)
        return fail(error, "no verified image pair among the matches");
    if (!writeText(work + "matches.txt", text, error))
        return false;
    log << "Importing the verified matches of " << pairs << " image pair(s)" << std::endl;
    if (!m_driver.importMatches(work + "database.db", work + "matches.txt", error))
        return false;
    return AtomicFile::write(work + stampName, stamp(images), error);
}

bool ColmapReconstruction::map(ColmapModel& model, std::ostream& log, std::string* error)
{
    const std::string work = m_settings.workFolder + "/";
    std::error_code ec;
    fs::remove_all(work + "model", ec);
    fs::remove_all(work + "text", ec);
    fs::create_directories(work + "model", ec);
    ColmapDriver::MapperSettings mapper;
    mapper.threads = m_settings.threads > 0 ? m_settings.threads : ParallelFor::defaultThreads();
    // Small models are kept: we take the largest one however many there are.
    mapper.minModelSize = 3;
    // A calibration given by the user is the one the photos were undistorted
    // with: the mapper keeps it.
    mapper.refineFocal = !m_settings.calibrated;
    mapper.refinePrincipalPoint = false;
    mapper.refineExtra = !m_settings.calibrated;
    mapper.orderedFrames = m_settings.orderedFrames;
    log << "Mapping with " << mapper.threads << " thread(s)"
        << (mapper.orderedFrames ? ", the options for a flight's ordered photos" : "") << std::endl;
    if (m_root.empty())
        return fail(error, "no images given to map");
    if (!m_driver.map(work + "database.db", m_root, work + "model", mapper, error))
        return false;
    bool found = false;
    for (int k = 0; fs::is_directory(work + "model/" + std::to_string(k)); ++k) {
        const std::string text = work + "text/" + std::to_string(k);
        fs::create_directories(text, ec);
        if (!m_driver.convertModel(work + "model/" + std::to_string(k), text, "TXT", error))
            return false;
        ColmapModel candidate;
        if (!candidate.readFolder(text, error))
            return false;
        log << "Model " << k << ": " << candidate.images.size() << " images, " << candidate.points.size()
            << " points" << std::endl;
        if (!found || candidate.images.size() > model.images.size() ||
            (candidate.images.size() == model.images.size() &&
             candidate.points.size() > model.points.size())) {
            model = std::move(candidate);
            found = true;
        }
    }
    if (!found)
        return fail(error, "COLMAP registered no images: the photos share too few verified matches");
    return true;
}
