#include "BundlerFile.h"

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <limits>
#include <sstream>

#include "common/files/AtomicFile.h"
#include "common/files/TextFileReader.h"

namespace
{

// Reads whitespace-separated numbers while counting lines for messages.
class Tokens
{
public:
    explicit Tokens(std::istream& in) : m_in(in) {}

    template <typename T> bool next(T& value)
    {
        skipSpace();
        if (!(m_in >> value))
            return false;
        return true;
    }
    int line() const { return m_line; }

private:
    void skipSpace()
    {
        for (int c = m_in.peek(); c != EOF && std::isspace(c); c = m_in.peek()) {
            if (c == '\n')
                ++m_line;
            m_in.get();
        }
    }
    std::istream& m_in;
    int m_line = 1;
};

bool fail(std::string* error, const std::string& text, int line)
{
    if (error)
        *error = text + " (line " + std::to_string(line) + ")";
    return false;
}

} // namespace

std::array<double, 3> BundlerFile::Camera::centre() const
{
    const auto& R = rotation;
    const auto& t = translation;
    return {-(R[0] * t[0] + R[3] * t[1] + R[6] * t[2]), -(R[1] * t[0] + R[4] * t[1] + R[7] * t[2]),
            -(R[2] * t[0] + R[5] * t[1] + R[8] * t[2])};
}

bool BundlerFile::Camera::project(const std::array<double, 3>& X, double& x, double& y) const
{
    const auto& R = rotation;
    double P[3];
    for (int r = 0; r < 3; ++r)
        P[r] = R[3 * r] * X[0] + R[3 * r + 1] * X[1] + R[3 * r + 2] * X[2] + translation[r];
    if (P[2] >= 0)
        return false;
    const double px = -P[0] / P[2], py = -P[1] / P[2];
    const double n2 = px * px + py * py;
    const double r = 1.0 + k1 * n2 + k2 * n2 * n2;
    x = focal * r * px;
    y = focal * r * py;
    return true;
}

bool BundlerFile::read(std::istream& in, std::string* error)
{
    cameras.clear();
    points.clear();
    std::string header;
    std::getline(in, header);
    if (header.rfind("# Bundle file v0.3", 0) != 0)
        return fail(error, "not a Bundler v0.3 file: the first line is not \"# Bundle file v0.3\"", 1);
    Tokens tok(in);
    long long nCameras = 0, nPoints = 0;
    if (!tok.next(nCameras) || !tok.next(nPoints) || nCameras < 0 || nPoints < 0)
        return fail(error, "missing or negative camera and point counts", tok.line() + 1);
    // Every camera takes at least 15 numbers and every point 7: a count the
    // rest of the stream cannot hold is refused before anything is reserved.
    const long long left = TextFileReader::bytesLeft(in);
    if (left >= 0) {
        if (nCameras > left / 30 + 1 || nPoints > left / 14 + 1)
            return fail(error, "the counts are larger than the file can hold", tok.line() + 1);
    }
    // Grown as the records arrive: a pipe gives no size to check against.
    cameras.reserve(static_cast<size_t>(std::min<long long>(nCameras, 1 << 12)));
    for (long long k = 0; k < nCameras; ++k) {
        Camera& c = cameras.emplace_back();
        bool ok = tok.next(c.focal) && tok.next(c.k1) && tok.next(c.k2);
        for (double& v : c.rotation)
            ok = ok && tok.next(v);
        for (double& v : c.translation)
            ok = ok && tok.next(v);
        if (!ok)
            return fail(error, "truncated or malformed camera", tok.line() + 1);
    }
    points.reserve(static_cast<size_t>(std::min<long long>(nPoints, 1 << 16)));
    for (long long k = 0; k < nPoints; ++k) {
        Point& p = points.emplace_back();
        bool ok = true;
        for (double& v : p.position)
            ok = ok && tok.next(v);
        for (int& v : p.colour)
            ok = ok && tok.next(v);
        long long nViews = 0;
        ok = ok && tok.next(nViews);
        if (!ok || nViews < 0 || nViews > nCameras)
            return fail(error, "truncated or malformed point", tok.line() + 1);
        p.views.resize(static_cast<size_t>(nViews));
        for (View& v : p.views) {
            if (!(tok.next(v.camera) && tok.next(v.key) && tok.next(v.x) && tok.next(v.y)))
                return fail(error, "truncated or malformed view list", tok.line() + 1);
            if (v.camera < 0 || v.camera >= nCameras)
                return fail(error,
                            "a view names camera " + std::to_string(v.camera) + " which does not exist",
                            tok.line() + 1);
        }
    }
    return true;
}

bool BundlerFile::readFile(const std::string& path, std::string* error)
{
    return TextFileReader::read(*this, path, error);
}

void BundlerFile::write(std::ostream& out) const
{
    out.imbue(std::locale::classic());
    out << std::setprecision(std::numeric_limits<double>::max_digits10);
    out << "# Bundle file v0.3\n" << cameras.size() << ' ' << points.size() << '\n';
    for (const Camera& c : cameras) {
        out << c.focal << ' ' << c.k1 << ' ' << c.k2 << '\n';
        for (int r = 0; r < 3; ++r)
            out << c.rotation[3 * r] << ' ' << c.rotation[3 * r + 1] << ' ' << c.rotation[3 * r + 2] << '\n';
        out << c.translation[0] << ' ' << c.translation[1] << ' ' << c.translation[2] << '\n';
    }
    for (const Point& p : points) {
        out << p.position[0] << ' ' << p.position[1] << ' ' << p.position[2] << '\n';
        out << p.colour[0] << ' ' << p.colour[1] << ' ' << p.colour[2] << '\n';
        out << p.views.size();
        for (const View& v : p.views)
            out << ' ' << v.camera << ' ' << v.key << ' ' << v.x << ' ' << v.y;
        out << '\n';
    }
}

bool BundlerFile::writeFile(const std::string& path, std::string* error) const
{
    std::ostringstream text;
    write(text);
    return AtomicFile::write(path, text.str(), error);
}
