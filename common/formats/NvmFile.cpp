#include "common/formats/NvmFile.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <istream>
#include <sstream>

#include "common/files/AtomicFile.h"
#include "common/files/TextFileReader.h"
#include "common/geometry/Rotation.h"
#include "common/numbers/NumberText.h"
#include "common/text/LineWords.h"

namespace
{

bool fail(std::string* error, const std::string& text, int line)
{
    if (error)
        *error = text + " (line " + std::to_string(line) + ")";
    return false;
}

// Lines of the file with their numbers; blank lines are passed over where
// the format allows them.
class Lines
{
public:
    explicit Lines(std::istream& in) : m_in(in) {}

    bool next(std::string& line)
    {
        if (!std::getline(m_in, line))
            return false;
        ++m_number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return true;
    }
    bool nextNonBlank(std::string& line)
    {
        while (next(line))
            if (line.find_first_not_of(" \t") != std::string::npos)
                return true;
        return false;
    }
    int number() const { return m_number; }

private:
    std::istream& m_in;
    int m_number = 0;
};

} // namespace

std::array<double, 9> NvmFile::Camera::rotation() const
{
    return Rotation::matrixOf(quaternion);
}

bool NvmFile::read(std::istream& in, std::string* error, Contents contents)
{
    models.clear();
    Lines lines(in);
    std::string line;
    if (!lines.next(line) || line.rfind("NVM_V3", 0) != 0)
        return fail(error, "not an NVM_V3 file", 1);
    // What the file can hold bounds every declared count.
    const long long left = TextFileReader::bytesLeft(in);
    const long long bytes = left >= 0 ? left : (1LL << 40);
    while (true) {
        if (!lines.nextNonBlank(line))
            return true; // files that end right after a model lack the final "0"
        long long nCameras = -1;
        if (!LineWords(line).numbers(nCameras) || nCameras < 0)
            return fail(error, "expected a camera count", lines.number());
        if (nCameras == 0)
            return true;
        if (nCameras > bytes / 22 + 1)
            return fail(error, "camera count larger than the file can hold", lines.number());
        Model model;
        // Grown as the records arrive: on a pipe the bound above is no bound.
        model.cameras.reserve(size_t(std::min<long long>(nCameras, 1 << 12)));
        for (long long k = 0; k < nCameras; ++k) {
            Camera& c = model.cameras.emplace_back();
            if (!lines.nextNonBlank(line))
                return fail(error, "missing camera line", lines.number() + 1);
            LineWords w(line);
            if (!w.word(c.name) ||
                !w.numbers(c.focal, c.quaternion[0], c.quaternion[1], c.quaternion[2], c.quaternion[3],
                           c.centre[0], c.centre[1], c.centre[2], c.radial))
                return fail(error, "malformed camera", lines.number());
        }
        if (contents == Contents::FirstCameras) {
            models.push_back(std::move(model));
            return true;
        }
        long long nPoints = -1;
        if (!lines.nextNonBlank(line) || !LineWords(line).numbers(nPoints) || nPoints < 0)
            return fail(error, "expected a point count", lines.number());
        if (nPoints > bytes / 14 + 1)
            return fail(error, "point count larger than the file can hold", lines.number());
        model.points.reserve(size_t(std::min<long long>(nPoints, 1 << 16)));
        for (long long k = 0; k < nPoints; ++k) {
            Point& p = model.points.emplace_back();
            if (!lines.next(line))
                return fail(error, "missing point line", lines.number() + 1);
            LineWords w(line);
            long long n = -1;
            if (!w.numbers(p.position[0], p.position[1], p.position[2], p.colour[0], p.colour[1], p.colour[2],
                           n) ||
                n < 0 || n > nCameras)
                return fail(error, "malformed point", lines.number());
            p.measurements.resize(size_t(n));
            for (Measurement& m : p.measurements) {
                if (!w.numbers(m.camera, m.feature, m.x, m.y))
                    return fail(error, "truncated measurement list", lines.number());
                if (m.camera < 0 || m.camera >= nCameras)
                    return fail(error,
                                "a measurement names camera " + std::to_string(m.camera) +
                                    " which the model does not have",
                                lines.number());
            }
        }
        models.push_back(std::move(model));
    }
}

bool NvmFile::readFile(const std::string& path, std::string* error, Contents contents)
{
    struct Reading {
        NvmFile& file;
        Contents contents;
        bool read(std::istream& in, std::string* error) { return file.read(in, error, contents); }
    } reading{*this, contents};
    return TextFileReader::read(reading, path, error);
}

void NvmFile::write(std::ostream& out) const
{
    std::string text = "NVM_V3\n\n";
    char number[NumberText::maxLength];
    auto add = [&](double v) {
        text += ' ';
        text.append(number, NumberText::write(number, v));
    };
    for (const Model& m : models) {
        text += std::to_string(m.cameras.size()) + '\n';
        for (const Camera& c : m.cameras) {
            text += c.name;
            add(c.focal);
            for (double q : c.quaternion)
                add(q);
            for (double x : c.centre)
                add(x);
            add(c.radial);
            text += " 0\n";
        }
        text += '\n' + std::to_string(m.points.size()) + '\n';
        for (const Point& p : m.points) {
            text.append(number, NumberText::write(number, p.position[0]));
            add(p.position[1]);
            add(p.position[2]);
            for (int c : p.colour)
                text += ' ' + std::to_string(c);
            text += ' ' + std::to_string(p.measurements.size());
            for (const Measurement& v : p.measurements) {
                text += ' ' + std::to_string(v.camera) + ' ' + std::to_string(v.feature);
                add(v.x);
                add(v.y);
            }
            text += '\n';
        }
        text += '\n';
    }
    text += "0\n";
    out.write(text.data(), std::streamsize(text.size()));
}

bool NvmFile::writeFile(const std::string& path, std::string* error) const
{
    std::ostringstream text;
    write(text);
    return AtomicFile::write(path, text.str(), error);
}
