#include "core/formats/NvmReader.h"

#include "common/numbers/NumberText.h"
#include "common/text/TextTokens.h"
#include "core/formats/NvmLens.h"
#include "core/formats/PointShift.h"
#include "core/formats/SparseBundle.h"
#include "core/io/TextLineReader.h"
#include "core/log/LogLine.h"

#include <QFile>
#include <QFileInfo>

#include <climits>
#include <iostream>
#include <string>

#include <locale.h>
#include <stdlib.h>

namespace
{

// The shortest line that holds a whole point record: "0 0 0 0 0 0 0\n".
constexpr qint64 shortestPointLine = 14;
// What a declared count may reserve when the source cannot tell its size.
constexpr qint64 reserveWithoutSize = 1 << 16;

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

inline void skipBlanks(const char*& p, const char* end)
{
    while (p < end && isBlank(*p))
        ++p;
}

inline void skipToken(const char*& p, const char* end)
{
    while (p < end && !isBlank(*p))
        ++p;
}

inline bool isBlankLine(const char* p, const char* end)
{
    skipBlanks(p, end);
    return p == end;
}

// The next blank-separated token as a number; false when the line has no
// token left. A token that is a number reads exactly, to the double or the
// float it is kept in, so a file NvmWriter wrote reads back bit for bit. Of
// any other token the number it begins with is taken and the rest passed over.
template <typename T> inline bool numberToken(const char*& p, const char* end, T& value)
{
    skipBlanks(p, end);
    if (p == end)
        return false;
    if (!TextTokens::readExact(p, end, value)) {
        double leading = 0;
        NumberText::readLeading(p, end, leading);
        value = static_cast<T>(leading);
        skipToken(p, end);
    }
    return true;
}

// Like numberToken, but a missing token reads as 0.
template <typename T = double> inline T numberOrZero(const char*& p, const char* end)
{
    T value = 0;
    numberToken(p, end, value);
    return value;
}

// Anything that is not a number of at least 1 gives 0; values past int clamp.
int countFromValue(double value)
{
    if (!(value >= 1.0))
        return 0;
    if (value >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(value);
}

// The counts go through C atof semantics (hex, "inf" and all), but in the C
// locale whatever the user's locale is, then are truncated.
int countOf(const char* p, const char* end)
{
#if defined(_WIN32)
    static const _locale_t cLocale = _create_locale(LC_ALL, "C");
#else
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
#endif
    skipBlanks(p, end);
    const char* tokenEnd = p;
    skipToken(tokenEnd, end);
    const std::string token(p, tokenEnd);
    if (!cLocale) // no C locale object: the nearest locale-free reading
    {
        double leading = 0;
        NumberText::readLeading(token.data(), token.data() + token.size(), leading);
        return countFromValue(leading);
    }
#if defined(_WIN32)
    const double value = _strtod_l(token.c_str(), nullptr, cLocale);
#else
    const double value = strtod_l(token.c_str(), nullptr, cLocale);
#endif
    return countFromValue(value);
}

// A declared count is trusted only as far as the rest of the text can hold it.
size_t reserveFor(int declared, qint64 bytesLeft, qint64 bytesPerRecord)
{
    const qint64 fits = bytesLeft < 0 ? reserveWithoutSize : bytesLeft / bytesPerRecord + 1;
    return static_cast<size_t>(qMin<qint64>(declared, fits));
}

std::unique_ptr<BundleCamera> cameraFromLine(const char* p, const char* end, const std::string& imageFolder)
{
    skipBlanks(p, end);
    const char* nameEnd = p;
    skipToken(nameEnd, end);

    auto camera = std::make_unique<BundleCamera>();
    camera->name.assign(p, nameEnd);
    camera->path = imageFolder + camera->name;
    p = nameEnd;

    const double f = numberOrZero(p, end);
    const float qw = numberOrZero<float>(p, end);
    const float qx = numberOrZero<float>(p, end);
    const float qy = numberOrZero<float>(p, end);
    const float qz = numberOrZero<float>(p, end);
    const double cx = numberOrZero(p, end);
    const double cy = numberOrZero(p, end);
    const double cz = numberOrZero(p, end);
    // The radial distortion is kept for the control points' triangulation;
    // the trailing zero is not.
    camera->radial = numberOrZero(p, end);

    camera->focalLength = f;
    camera->centre.set(cx, cy, cz);
    camera->rotation[0] = qx;
    camera->rotation[1] = qy;
    camera->rotation[2] = qz;
    camera->rotation[3] = qw;
    return camera;
}

struct ModelPoints {
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    qint64 skippedViews = 0;
};

// One point record: x y z r g b n, then n groups of camera feature mx my.
// The point index of its views is its position in the vertex array, which
// stays right even when a blank line in the section adds no point.
void pointFromLine(const char* p, const char* end, SparseBundle::CameraList& cameras, ModelPoints& model,
                   PointShift* shift)
{
    // Without a shift the point is kept as the floats the file gives, each
    // token read straight to its float; with one, as doubles relative to
    // the shift's offset.
    osg::Vec3 vertex;
    if (shift) {
        const double x = numberOrZero(p, end);
        const double y = numberOrZero(p, end);
        const double z = numberOrZero(p, end);
        vertex = shift->toLocal(x, y, z);
    } else {
        const float x = numberOrZero<float>(p, end);
        const float y = numberOrZero<float>(p, end);
        const float z = numberOrZero<float>(p, end);
        vertex.set(x, y, z);
    }
    const double r = numberOrZero(p, end);
    const double g = numberOrZero(p, end);
    const double b = numberOrZero(p, end);
    const double declaredViews = numberOrZero(p, end);

    const double pointIndex = static_cast<double>(model.vertices->size());
    const double cameraCount = static_cast<double>(cameras.size());
    // The line itself bounds the loop: a group needs four tokens, so a
    // corrupt count stops at the end of the line.
    for (double k = 0; k < declaredViews; ++k) {
        double camera, feature, mx, my;
        if (!numberToken(p, end, camera) || !numberToken(p, end, feature) || !numberToken(p, end, mx) ||
            !numberToken(p, end, my))
            break;
        // A camera number outside this model's list would index past it;
        // such a measurement is dropped, the rest of the point is kept.
        if (!(camera >= 0.0 && camera < cameraCount)) {
            ++model.skippedViews;
            continue;
        }
        const size_t cameraIndex = static_cast<size_t>(camera);
        auto view = std::make_unique<PointView>();
        view->cameraIndex = static_cast<double>(cameraIndex);
        view->featureIndex = feature;
        view->x = mx;
        view->y = my;
        view->pointIndex = pointIndex;
        cameras[cameraIndex]->views.push_back(std::move(view));
    }

    model.vertices->push_back(vertex);
    model.colours->push_back(osg::Vec4(static_cast<float>(r / 255.0), static_cast<float>(g / 255.0),
                                       static_cast<float>(b / 255.0), 1.0f));
}

// The first token of the next line that is not blank, as a count; 0 at the
// end, where atEnd (when given) is set.
int nextCount(TextLineReader& lines, bool* atEnd = nullptr)
{
    const char* begin;
    const char* end;
    while (lines.next(begin, end)) {
        if (!isBlankLine(begin, end))
            return countOf(begin, end);
    }
    if (atEnd)
        *atEnd = true;
    return 0;
}

void setMessage(std::string* message, const std::string& text)
{
    if (message)
        *message = text;
}

bool readModels(TextLineReader& lines, const std::string& imageFolder, NvmReader::VertexArrays& vertices,
                NvmReader::ColourArrays& colours, SparseBundle& bundle, std::string* message,
                PointShift* shift)
{
    const char* begin;
    const char* end;
    // The format tag and the line after it are not looked at, whatever they hold.
    lines.next(begin, end);
    lines.next(begin, end);

    const size_t firstModel = vertices.size();
    // Why the models end, for a file that gives no points at all.
    std::string stop;
    for (;;) {
        bool atEnd = false;
        const int cameraCount = nextCount(lines, &atEnd);
        if (cameraCount < 1) {
            stop =
                atEnd ? "line " + std::to_string(lines.lineNumber()) + ": the file ends before a camera count"
                      : "line " + std::to_string(lines.lineNumber()) + ": no camera count";
            break;
        }
        LogLine() << "CamCount: " << cameraCount << "\n";

        // No reserve: a corrupt count must not allocate; the list grows with
        // the lines that really are there.
        SparseBundle::CameraList cameras;
        for (int i = 0; i < cameraCount; ++i) {
            if (!lines.next(begin, end))
                break; // every later read fails as well
            if (isBlankLine(begin, end))
                continue; // an empty record names no camera
            cameras.push_back(cameraFromLine(begin, end, imageFolder));
        }
        bundle.bundleCameras.push_back(std::move(cameras));
        SparseBundle::CameraList& modelCameras = bundle.bundleCameras.back();
        LogLine() << "Total Cams:" << modelCameras.size() << "\n";
        if (!modelCameras.empty())
            LogLine() << "First Cam Name is " << modelCameras.front()->path << "\n";

        // VisualSfM puts a blank line before the point count, but not always
        // (models without points, generated files), so blank lines are skipped
        // here rather than one line dropped unseen.
        const int pointCount = nextCount(lines);
        ModelPoints model;
        const size_t expected = reserveFor(pointCount, lines.bytesLeft(), shortestPointLine);
        model.vertices->reserve(expected);
        model.colours->reserve(expected);
        for (int j = 0; j < pointCount; ++j) {
            if (!lines.next(begin, end))
                break;
            if (isBlankLine(begin, end))
                continue;
            pointFromLine(begin, end, modelCameras, model, shift);
        }
        if (model.skippedViews > 0)
            LogLine(LogLevel::Warning) << "Skipped " << model.skippedViews << " measurements of model "
                                       << bundle.bundleCameras.size() - 1 << " naming a camera outside its "
                                       << modelCameras.size() << " cameras\n";

        if (model.vertices->empty()) {
            stop = "line " + std::to_string(lines.lineNumber()) + ": model " +
                   std::to_string(bundle.bundleCameras.size() - 1) + " has no points";
            break;
        }
        // Only a count larger than the points present leaves much unused room.
        if (model.vertices->capacity() > model.vertices->size() + model.vertices->size() / 4) {
            model.vertices->trim();
            model.colours->trim();
        }
        vertices.push_back(model.vertices);
        colours.push_back(model.colours);
    }

    if (vertices.size() == firstModel) {
        setMessage(message, stop);
        return false;
    }
    const size_t firstCount = vertices[firstModel]->size();
    LogLine(LogLevel::Info) << "Total Points Read = " << firstCount << "\n" << std::flush;
    return firstCount > 0;
}

} // namespace

bool NvmReader::readNvm(const std::string& fileName, VertexArrays& vertices, ColourArrays& colours,
                        SparseBundle& bundle, std::string& imageFolder, std::string* message,
                        PointShift* shift)
{
    imageFolder = imageFolderOf(fileName);

    const QString name = QString::fromStdString(fileName);
    // A device or pipe (/dev/zero, a FIFO) could hand out one endless line;
    // a regular file bounds what the line buffer can grow to.
    if (QFileInfo::exists(name) && !QFileInfo(name).isFile()) {
        setMessage(message, "Cannot open " + fileName + ": not a regular file");
        LogLine() << "Cannot open " << fileName << ": not a regular file\n" << std::flush;
        return false;
    }
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        setMessage(message, "Cannot open " + fileName + ": " + file.errorString().toStdString());
        LogLine() << "Cannot open " << fileName << ": " << file.errorString().toStdString() << "\n"
                  << std::flush;
        return false;
    }
    TextLineReader lines(&file);
    std::string why;
    const bool ok = readModels(lines, imageFolder, vertices, colours, bundle, &why, shift);
    if (!ok)
        setMessage(message, fileName + " " + why);
    else
        bundle.lensDamaged = !NvmLens::apply(fileName, bundle, &bundle.lensMessage);
    return ok;
}

bool NvmReader::readNvm(const char* begin, const char* end, const std::string& imageFolder,
                        VertexArrays& vertices, ColourArrays& colours, SparseBundle& bundle,
                        std::string* message, PointShift* shift)
{
    TextLineReader lines(begin, end);
    return readModels(lines, imageFolder, vertices, colours, bundle, message, shift);
}

std::string NvmReader::imageFolderOf(const std::string& fileName)
{
    const size_t slash = fileName.rfind('/');
    // A bare file name lies in the working folder; without this it would
    // become a folder named after the file itself.
    if (slash == std::string::npos)
        return "./";
    return fileName.substr(0, slash) + "/";
}

bool NvmReader::readBundle(const QString& fileName, SparseBundle& bundle, QString* message,
                           QString* imageFolder)
{
    VertexArrays vertices;
    ColourArrays colours;
    std::string folder, why;
    const bool read =
        readNvm(QFile::encodeName(fileName).toStdString(), vertices, colours, bundle, folder, &why);
    if (!read && message)
        *message = QString::fromStdString(why);
    if (imageFolder)
        *imageFolder = QString::fromStdString(folder);
    return read;
}
