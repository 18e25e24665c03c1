#include "core/formats/NvmLens.h"

#include <QFile>

#include <cctype>
#include <cmath>
#include <unordered_map>

#include "core/formats/SparseBundle.h"
#include "common/numbers/NumberText.h"

namespace
{

constexpr const char* header = "# Camera intrinsics v1";

// The words of [begin, end) split at blanks.
std::vector<std::pair<const char*, const char*>> wordsOf(const char* begin, const char* end)
{
    std::vector<std::pair<const char*, const char*>> words;
    const char* p = begin;
    while (p < end) {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r'))
            ++p;
        const char* start = p;
        while (p < end && *p != ' ' && *p != '\t' && *p != '\r')
            ++p;
        if (p > start)
            words.push_back({start, p});
    }
    return words;
}

bool wholeNumber(const std::pair<const char*, const char*>& word, long long limit, long long& value)
{
    double d = 0;
    if (!NumberText::read(word.first, word.second, d) || !(d >= 0 && d <= double(limit)) ||
        d != std::floor(d))
        return false;
    value = (long long)d;
    return true;
}

} // namespace

std::string NvmLens::pathFor(const std::string& nvmPath)
{
    std::string stem = nvmPath;
    if (stem.size() > 4) {
        std::string tail = stem.substr(stem.size() - 4);
        for (char& c : tail)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (tail == ".nvm")
            stem.resize(stem.size() - 4);
    }
    return stem + "-intrinsics.txt";
}

bool NvmLens::read(const char* begin, const char* end, std::vector<Camera>& cameras, std::string* error)
{
    cameras.clear();
    int number = 0;
    const char* p = begin;
    const char* lineEnd = begin;
    // A missing line is named by the number it would have.
    const auto nextLine = [&]() {
        ++number;
        if (p >= end)
            return false;
        lineEnd = p;
        while (lineEnd < end && *lineEnd != '\n')
            ++lineEnd;
        return true;
    };
    const auto advance = [&]() { p = lineEnd < end ? lineEnd + 1 : end; };
    const auto fail = [&](const std::string& why) {
        if (error)
            *error = "line " + std::to_string(number) + ": " + why;
        cameras.clear();
        return false;
    };
    if (!nextLine() || std::string(p, lineEnd).rfind(header, 0) != 0)
        return fail("not a camera intrinsics file");
    advance();
    long long count = 0;
    {
        if (!nextLine())
            return fail("no camera count");
        const auto words = wordsOf(p, lineEnd);
        if (words.size() != 1 || !wholeNumber(words[0], 1000000, count))
            return fail("no camera count");
        advance();
    }
    for (long long i = 0; i < count; ++i) {
        if (!nextLine())
            return fail("camera " + std::to_string(i) + " is missing");
        const auto words = wordsOf(p, lineEnd);
        if (words.size() < 9)
            return fail("a camera needs width, height, fx, fy, cx, cy, k1, k2 and its image");
        Camera c;
        long long w = 0, h = 0;
        if (!wholeNumber(words[0], 1000000, w) || !wholeNumber(words[1], 1000000, h) || w < 1 || h < 1)
            return fail("the photo's size must be 1 to 1000000 pixels each way");
        c.width = int(w);
        c.height = int(h);
        double* values[] = {&c.fx, &c.fy, &c.cx, &c.cy, &c.k1, &c.k2};
        for (size_t k = 0; k < 6; ++k)
            if (!NumberText::read(words[2 + k].first, words[2 + k].second, *values[k]) ||
                !std::isfinite(*values[k]))
                return fail("\"" + std::string(words[2 + k].first, words[2 + k].second) +
                            "\" is not a finite number");
        if (!(c.fx > 0) || !(c.fy > 0))
            return fail("both focal lengths must be positive");
        if (!(c.cx >= -c.width && c.cx <= 2.0 * c.width && c.cy >= -c.height && c.cy <= 2.0 * c.height))
            return fail("the principal point lies far outside the photo");
        // The image name is the rest of the line, blanks and all.
        const char* nameEnd = lineEnd;
        while (nameEnd > words[8].first && (nameEnd[-1] == '\r' || nameEnd[-1] == ' ' || nameEnd[-1] == '\t'))
            --nameEnd;
        c.image.assign(words[8].first, nameEnd);
        cameras.push_back(std::move(c));
        advance();
    }
    return true;
}

QByteArray NvmLens::text(const std::vector<Camera>& cameras)
{
    QByteArray out =
        QByteArray(header) + " (width height fx fy cx cy k1 k2 image; pixel centres at whole numbers)\n";
    out += QByteArray::number(qlonglong(cameras.size())) + '\n';
    for (const Camera& c : cameras) {
        out += QByteArray::number(c.width) + ' ' + QByteArray::number(c.height);
        for (double v : {c.fx, c.fy, c.cx, c.cy, c.k1, c.k2})
            out += ' ' + QByteArray::fromStdString(NumberText::shortestString(v));
        out += ' ' + QByteArray::fromStdString(c.image) + '\n';
    }
    return out;
}

bool NvmLens::apply(const std::string& nvmPath, SparseBundle& bundle, std::string* message)
{
    const std::string path = pathFor(nvmPath);
    const auto say = [&](const std::string& text) {
        if (message)
            *message = text;
    };
    say(std::string());
    QFile file(QString::fromStdString(path));
    if (!file.exists())
        return true;
    // A lens file is a line per photo: far below this.
    constexpr qint64 limit = 64 * 1024 * 1024;
    const auto refuse = [&](const std::string& why) {
        say(path + ": " + why + "; the cameras keep the NVM's own distortion");
        return false;
    };
    if (file.size() > limit)
        return refuse("too large for a camera intrinsics file");
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString().toStdString());
    const QByteArray bytes = file.readAll();
    std::vector<Camera> cameras;
    std::string error;
    if (!read(bytes.constData(), bytes.constData() + bytes.size(), cameras, &error))
        return refuse(error);
    std::unordered_map<std::string, const Camera*> byImage;
    for (const Camera& c : cameras)
        byImage[c.image] = &c;
    // Every name must be one of the NVM's: a lens left from another
    // reconstruction is not applied to a part of this one.
    size_t matched = 0;
    for (const auto& list : bundle.bundleCameras)
        for (const auto& camera : list)
            matched += byImage.count(camera->name);
    if (cameras.empty() || matched != cameras.size())
        return refuse("it names photos the reconstruction does not hold");
    for (auto& list : bundle.bundleCameras)
        for (auto& camera : list) {
            const auto found = byImage.find(camera->name);
            if (found == byImage.end())
                continue;
            const Camera& c = *found->second;
            BundleCamera::Lens& lens = camera->lens;
            lens.known = true;
            lens.width = c.width;
            lens.height = c.height;
            lens.fx = c.fx;
            lens.fy = c.fy;
            lens.cx = c.cx;
            lens.cy = c.cy;
            lens.k1 = c.k1;
            lens.k2 = c.k2;
        }
    say("camera lenses from " + path);
    return true;
}
