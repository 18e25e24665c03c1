// Reader benchmark for NVM files: readNvm against two plain readers that
// build the same bundle, one converting numbers with std::from_chars and one
// with std::istringstream, all measured in this run on the same file.
//
//   nvm_reader_bench FILE [ROUNDS]
//
// Every measurement runs in a child process of its own, so each reader
// starts from the same memory state and its peak resident size can be read
// from the kernel's high-water mark. Reported: median wall time, MB/s,
// points/s, the peak growth of resident memory, and the ratios to the
// from_chars reader and to (returned data + file size).

#include "BenchSupport.h"
#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <locale>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <sys/resource.h>

namespace
{

struct Output {
    SparseBundle bundle;
    NvmReader::VertexArrays vertices;
    NvmReader::ColourArrays colours;
};

using Reader = std::function<bool(const std::string& file, Output& out)>;

// ---- shared by the two plain readers: the same records, the same rules ----

struct Point {
    double x, y, z, r, g, b;
};

void addCamera(Output& out, const std::string& name, const double v[8])
{
    auto camera = std::make_unique<BundleCamera>();
    camera->name = name;
    camera->path = name;
    camera->focalLength = v[0];
    camera->centre.set(float(v[5]), float(v[6]), float(v[7]));
    camera->rotation[0] = float(v[2]);
    camera->rotation[1] = float(v[3]);
    camera->rotation[2] = float(v[4]);
    camera->rotation[3] = float(v[1]);
    out.bundle.bundleCameras.back().push_back(std::move(camera));
}

void addView(Output& out, double camera, double feature, double x, double y, size_t point)
{
    auto& cameras = out.bundle.bundleCameras.back();
    if (!(camera >= 0 && camera < double(cameras.size())))
        return;
    auto view = std::make_unique<PointView>();
    view->cameraIndex = double(size_t(camera));
    view->featureIndex = feature;
    view->x = x;
    view->y = y;
    view->pointIndex = double(point);
    cameras[size_t(camera)]->views.push_back(std::move(view));
}

void addPoint(osg::Vec3Array& vertices, osg::Vec4Array& colours, const Point& p)
{
    vertices.push_back(osg::Vec3(float(p.x), float(p.y), float(p.z)));
    colours.push_back(osg::Vec4(float(p.r / 255.0), float(p.g / 255.0), float(p.b / 255.0), 1.0f));
}

// ---- baseline 1: whole file in a string, std::from_chars ----

inline bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

class CharsLine
{
public:
    explicit CharsLine(std::string_view line) : m_p(line.data()), m_end(line.data() + line.size()) {}

    std::string_view token()
    {
        while (m_p < m_end && isSpace(*m_p))
            ++m_p;
        const char* start = m_p;
        while (m_p < m_end && !isSpace(*m_p))
            ++m_p;
        return {start, size_t(m_p - start)};
    }

    bool number(double& value)
    {
        std::string_view t = token();
        if (t.empty())
            return false;
        if (t.front() == '+')
            t.remove_prefix(1);
        value = 0;
        std::from_chars(t.data(), t.data() + t.size(), value);
        return true;
    }

    bool empty()
    {
        const char* p = m_p;
        while (p < m_end && isSpace(*p))
            ++p;
        return p == m_end;
    }

private:
    const char* m_p;
    const char* m_end;
};

bool readFromChars(const std::string& file, Output& out)
{
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in)
        return false;
    std::string text(size_t(in.tellg()), '\0');
    in.seekg(0);
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    size_t pos = 0;
    auto nextLine = [&](std::string_view& line) {
        if (pos >= text.size())
            return false;
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos)
            nl = text.size();
        line = std::string_view(text).substr(pos, nl - pos);
        pos = nl + 1;
        return true;
    };
    auto nextCount = [&]() {
        std::string_view line;
        while (nextLine(line)) {
            CharsLine l(line);
            if (l.empty())
                continue;
            double v = 0;
            l.number(v);
            return v >= 1 ? int(std::min(v, 2e9)) : 0;
        }
        return 0;
    };

    std::string_view line;
    nextLine(line);
    nextLine(line);
    for (;;) {
        const int cameraCount = nextCount();
        if (cameraCount < 1)
            break;
        out.bundle.bundleCameras.emplace_back();
        for (int i = 0; i < cameraCount && nextLine(line); ++i) {
            CharsLine l(line);
            const std::string name(l.token());
            double v[8] = {};
            for (double& d : v)
                l.number(d);
            addCamera(out, name, v);
        }
        const int pointCount = nextCount();
        osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        vertices->reserve(size_t(std::max(0, pointCount)));
        colours->reserve(size_t(std::max(0, pointCount)));
        for (int j = 0; j < pointCount && nextLine(line); ++j) {
            CharsLine l(line);
            Point p{};
            double n = 0;
            l.number(p.x), l.number(p.y), l.number(p.z), l.number(p.r), l.number(p.g), l.number(p.b),
                l.number(n);
            for (int k = 0; k < int(n); ++k) {
                double c, f, x, y;
                if (!l.number(c) || !l.number(f) || !l.number(x) || !l.number(y))
                    break;
                addView(out, c, f, x, y, vertices->size());
            }
            addPoint(*vertices, *colours, p);
        }
        if (vertices->empty())
            break;
        out.vertices.push_back(vertices);
        out.colours.push_back(colours);
    }
    return !out.vertices.empty();
}

// ---- baseline 2: std::getline and std::istringstream ----

bool readStringStream(const std::string& file, Output& out)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    std::string line;
    auto nextCount = [&]() {
        while (std::getline(in, line)) {
            std::istringstream l(line);
            l.imbue(std::locale::classic());
            double v = 0;
            if (l >> v)
                return v >= 1 ? int(std::min(v, 2e9)) : 0;
            if (line.find_first_not_of(" \t\r") != std::string::npos)
                return 0;
        }
        return 0;
    };

    std::getline(in, line);
    std::getline(in, line);
    for (;;) {
        const int cameraCount = nextCount();
        if (cameraCount < 1)
            break;
        out.bundle.bundleCameras.emplace_back();
        for (int i = 0; i < cameraCount && std::getline(in, line); ++i) {
            std::istringstream l(line);
            l.imbue(std::locale::classic());
            std::string name;
            double v[8] = {};
            l >> name;
            for (double& d : v)
                l >> d;
            addCamera(out, name, v);
        }
        const int pointCount = nextCount();
        osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        vertices->reserve(size_t(std::max(0, pointCount)));
        colours->reserve(size_t(std::max(0, pointCount)));
        for (int j = 0; j < pointCount && std::getline(in, line); ++j) {
            std::istringstream l(line);
            l.imbue(std::locale::classic());
            Point p{};
            int n = 0;
            l >> p.x >> p.y >> p.z >> p.r >> p.g >> p.b >> n;
            for (int k = 0; k < n; ++k) {
                double c, f, x, y;
                if (!(l >> c >> f >> x >> y))
                    break;
                addView(out, c, f, x, y, vertices->size());
            }
            addPoint(*vertices, *colours, p);
        }
        if (vertices->empty())
            break;
        out.vertices.push_back(vertices);
        out.colours.push_back(colours);
    }
    return !out.vertices.empty();
}

bool readWithNvmReader(const std::string& file, Output& out)
{
    std::string folder;
    return NvmReader::readNvm(file, out.vertices, out.colours, out.bundle, folder);
}

// ---- measurement ----

struct Sample {
    double seconds = 0;
    long peakGrowthKiB = 0;
    double returnedBytes = 0;
    double points = 0;
    double views = 0;
    int ok = 0;
};

long maxRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

Sample measureInChild(const Reader& reader, const std::string& file)
{
    return BenchSupport::runInChild<Sample>([&] {
        std::cout.rdbuf(nullptr); // the readers' progress lines
        Sample s;
        const long before = maxRssKiB();
        const BenchSupport::Stopwatch stopwatch;
        Output out;
        s.ok = reader(file, out) ? 1 : 0;
        s.seconds = stopwatch.seconds();
        s.peakGrowthKiB = maxRssKiB() - before;
        for (size_t m = 0; m < out.vertices.size(); ++m) {
            s.points += out.vertices[m]->size();
            s.returnedBytes +=
                out.vertices[m]->size() * sizeof(osg::Vec3) + out.colours[m]->size() * sizeof(osg::Vec4);
        }
        for (const auto& cameras : out.bundle.bundleCameras)
            for (const auto& camera : cameras) {
                s.views += camera->views.size();
                s.returnedBytes +=
                    sizeof(BundleCamera) + camera->path.size() + camera->name.size() +
                    camera->views.size() * (sizeof(PointView) + sizeof(std::unique_ptr<PointView>));
            }
        return s;
    });
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE.nvm [ROUNDS]\n", argv[0]);
        return 2;
    }
    const std::string file = argv[1];
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::optional<double> size = BenchSupport::fileSize(file);
    if (!size) {
        std::fprintf(stderr, "cannot open %s\n", file.c_str());
        return 1;
    }
    const double fileBytes = *size;

    struct Entry {
        const char* name;
        Reader reader;
        std::vector<Sample> samples;
    };
    std::vector<Entry> entries = {{"readNvm", readWithNvmReader, {}},
                                  {"from_chars", readFromChars, {}},
                                  {"istringstream", readStringStream, {}}};

    // Warm the page cache, then interleave the readers round by round so a
    // busy neighbour on the machine hurts all of them alike.
    measureInChild(entries[1].reader, file);
    for (int r = 0; r < rounds; ++r)
        for (Entry& e : entries)
            e.samples.push_back(measureInChild(e.reader, file));

    std::printf("file %s: %.1f MB, %d rounds, median of each\n", file.c_str(), fileBytes / 1e6, rounds);
    std::printf("%-14s %8s %9s %12s %10s %10s %12s %12s\n", "reader", "s", "MB/s", "points/s", "peak MiB",
                "returned", "speed ratio", "memory ratio");
    double baselineSeconds = 0;
    for (const Entry& e : entries)
        if (std::strcmp(e.name, "from_chars") == 0) {
            std::vector<double> t;
            for (const Sample& s : e.samples)
                t.push_back(s.seconds);
            baselineSeconds = BenchSupport::median(t);
        }
    int failures = 0;
    for (const Entry& e : entries) {
        std::vector<double> seconds;
        std::vector<long> peaks;
        for (const Sample& s : e.samples) {
            if (!s.ok)
                ++failures;
            seconds.push_back(s.seconds);
            peaks.push_back(s.peakGrowthKiB);
        }
        const Sample& any = e.samples.front();
        const double t = BenchSupport::median(seconds);
        const double peak = double(BenchSupport::median(peaks)) * 1024.0;
        // speed ratio: how many times faster than from_chars (>1 is faster);
        // memory ratio: peak growth over (returned data + file size).
        std::printf("%-14s %8.3f %9.1f %12.0f %10.1f %10.1f %12.2f %12.2f\n", e.name, t, fileBytes / t / 1e6,
                    any.points / t, peak / 1048576.0, any.returnedBytes / 1048576.0, baselineSeconds / t,
                    peak / (any.returnedBytes + fileBytes));
    }
    std::printf("points %.0f, views %.0f in every reader's result\n", entries[0].samples[0].points,
                entries[0].samples[0].views);
    if (failures)
        std::fprintf(stderr, "%d measurements failed\n", failures);
    return failures ? 1 : 0;
}
