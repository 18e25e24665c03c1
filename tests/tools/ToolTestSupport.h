#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "BundlerFile.h"
#include "SharedData.h"

// What the tool tests share: photos copied into a scratch folder and the
// Windows-style names the workbench's scripts give our tools.
namespace ToolTest
{

// A stream that cannot tell its size, as a pipe.
class PipeBuffer : public std::stringbuf
{
public:
    explicit PipeBuffer(const std::string& text) : std::stringbuf(text) {}

protected:
    pos_type seekoff(off_type, std::ios_base::seekdir, std::ios_base::openmode) override { return -1; }
    pos_type seekpos(pos_type, std::ios_base::openmode) override { return -1; }
};

// Copies kermit<index>.jpg into folder (writable) and returns the copies' paths.
inline QStringList copyKermit(const QString& folder, const QList<int>& indices)
{
    QStringList paths;
    for (int i : indices) {
        const QString name = QStringLiteral("kermit%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
        const QString target = folder + QLatin1Char('/') + name;
        QFile::copy(SharedData::path(QStringLiteral("images/kermit/") + name), target);
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        paths << target;
    }
    return paths;
}

inline std::string backslashes(QString path)
{
    return path.replace(QLatin1Char('/'), QLatin1Char('\\')).toStdString();
}

// The scripts' "JPG name": the path with its last three characters replaced by "JPG".
inline std::string jpgName(const QString& path)
{
    return backslashes(path.left(path.size() - 3) + QStringLiteral("JPG"));
}

inline void writeText(const QString& path, const std::string& text)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(text.data(), qint64(text.size()));
}

inline QString lastLine(const std::ostringstream& stream)
{
    const QStringList lines =
        QString::fromStdString(stream.str()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last();
}

// Median distance between the views of a Bundler file and where its cameras
// project their points (points behind a camera count as far off).
inline double medianProjectionError(const BundlerFile& bundle)
{
    std::vector<double> residuals;
    for (const auto& p : bundle.points)
        for (const auto& v : p.views) {
            double x = 0, y = 0;
            residuals.push_back(bundle.cameras[size_t(v.camera)].project(p.position, x, y)
                                    ? std::hypot(x - v.x, y - v.y)
                                    : 1e9);
        }
    if (residuals.empty())
        return 1e9;
    std::nth_element(residuals.begin(), residuals.begin() + long(residuals.size() / 2), residuals.end());
    return residuals[residuals.size() / 2];
}

} // namespace ToolTest
