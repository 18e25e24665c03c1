#pragma once

// A nadir block in the mapper's frame with a known similarity into UTM
// zone 33N, for the tests of the adjustment in survey coordinates and of
// the dock that drives it.

#include <QFile>
#include <QSize>
#include <QString>
#include <QVector>

#include <osg/Quat>

#include <cmath>
#include <vector>

#include "common/geometry/RadialDistortion.h"
#include "core/georef/ControlPoint.h"
#include "core/georef/ControlPointAdjustment.h"
#include "core/georef/UtmProjection.h"

namespace nadir
{

inline const QSize photoSize(1200, 900);
inline const double focal = 1000;

// The mapper's frame against UTM: survey = t + s R model.
inline const osg::Quat similarityRotation(0.7, osg::Vec3d(0.2, -0.3, 1));
inline const osg::Vec3d similarityShift(712345.678, 4123456.789, 101.5);
inline const double similarityScale = 2.5;

inline osg::Vec3d toSurvey(const osg::Vec3d& model)
{
    return similarityShift + (similarityRotation * model) * similarityScale;
}

inline QByteArray number(double v)
{
    return QByteArray::number(v, 'g', 17);
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A nadir block in the mapper's frame (ground near z = 0, photos 30 units
// up): 12 photos of 48 tie points, written as sparse.nvm with exact
// measurements, each photo's GPS fix (exiftool's XML) where it truly is.
struct Block {
    struct Camera {
        QString name;
        osg::Quat rotation; // model into camera axes
        osg::Vec3d centre;  // model
    };
    std::vector<Camera> cameras;
    std::vector<osg::Vec3d> points;
    double k1 = 0, k2 = 0; // the lens, as COLMAP's RADIAL model

    explicit Block(double lensK1 = 0, double lensK2 = 0) : k1(lensK1), k2(lensK2)
    {
        for (int i = 0; i < 12; ++i) {
            Camera c;
            c.name = QStringLiteral("IMG_%1.JPG").arg(i + 1, 4, 10, QLatin1Char('0'));
            c.centre.set(-9 + 6 * (i % 4), -6 + 6 * (i / 4), 30 + 0.5 * (i % 3));
            const osg::Quat q =
                osg::Quat(M_PI, osg::Vec3d(1, 0, 0)) * osg::Quat(0.03 * (i % 3 - 1), osg::Vec3d(1, 1, 0));
            // As the file keeps it: floats.
            const osg::Quat f(float(q.x()), float(q.y()), float(q.z()), float(q.w()));
            c.rotation = f / f.length();
            cameras.push_back(c);
        }
        for (int i = 0; i < 48; ++i)
            points.emplace_back(-14 + 4 * (i % 8), -10 + 4 * (i / 8), 1.5 * std::sin(i * 0.7));
    }

    // Pixel (corner origin) of a model point; false outside the photo.
    bool pixel(size_t camera, const osg::Vec3d& p, double* column, double* row) const
    {
        const osg::Vec3d c = cameras[camera].rotation * (p - cameras[camera].centre);
        const double u = c.x() / c.z(), v = c.y() / c.z(), r2 = u * u + v * v;
        const double radial = 1 + k1 * r2 + k2 * r2 * r2;
        *column = focal * u * radial + 0.5 * photoSize.width();
        *row = focal * v * radial + 0.5 * photoSize.height();
        return c.z() > 0 && *column > 0 && *row > 0 && *column < photoSize.width() &&
               *row < photoSize.height();
    }

    // The lens as NVM's one distortion term comes nearest to it.
    QByteArray nvm() const
    {
        const double radial = RadialDistortion::nvmFromProjection(
            k1, k2, RadialDistortion::maxRadius(photoSize.width(), photoSize.height(), focal));
        QByteArray text = "NVM_V3\n\n" + QByteArray::number(int(cameras.size())) + "\n";
        for (const Camera& c : cameras)
            text += c.name.toLatin1() + ' ' + number(focal) + ' ' + number(c.rotation.w()) + ' ' +
                    number(c.rotation.x()) + ' ' + number(c.rotation.y()) + ' ' + number(c.rotation.z()) +
                    ' ' + number(c.centre.x()) + ' ' + number(c.centre.y()) + ' ' + number(c.centre.z()) +
                    ' ' + number(radial) + " 0\n";
        text += "\n" + QByteArray::number(int(points.size())) + "\n";
        int feature = 0;
        for (const osg::Vec3d& p : points) {
            QByteArray seen;
            int n = 0;
            for (size_t c = 0; c < cameras.size(); ++c) {
                double column = 0, row = 0;
                if (!pixel(c, p, &column, &row))
                    continue;
                seen += ' ' + QByteArray::number(int(c)) + ' ' + QByteArray::number(feature++) + ' ' +
                        number(column - 0.5 * photoSize.width()) + ' ' +
                        number(row - 0.5 * photoSize.height());
                ++n;
            }
            text += number(p.x()) + ' ' + number(p.y()) + ' ' + number(p.z()) + " 200 100 50 " +
                    QByteArray::number(n) + seen + '\n';
        }
        return text + "\n0\n";
    }

    bool writeGps(const QString& folder, int offCamera = -1, const osg::Vec3d& off = osg::Vec3d()) const
    {
        const UtmProjection utm(32633);
        for (size_t i = 0; i < cameras.size(); ++i) {
            const osg::Vec3d at = toSurvey(cameras[i].centre) + (int(i) == offCamera ? off : osg::Vec3d());
            double latitude = 0, longitude = 0;
            if (!utm.geographic(at.x(), at.y(), &latitude, &longitude))
                return false;
            const QByteArray xml = "<?xml version='1.0' encoding='UTF-8'?>\n"
                                   "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
                                   "<rdf:Description xmlns:GPS='http://ns.exiftool.org/EXIF/GPS/1.0/'>\n"
                                   " <GPS:GPSLatitude>" +
                                   number(latitude) + "</GPS:GPSLatitude>\n <GPS:GPSLongitude>" +
                                   number(longitude) + "</GPS:GPSLongitude>\n <GPS:GPSAltitude>" +
                                   number(at.z()) + "</GPS:GPSAltitude>\n</rdf:Description>\n</rdf:RDF>\n";
            if (!writeFile(folder + QString(cameras[i].name).replace(".JPG", ".xml"), xml))
                return false;
        }
        return true;
    }

    ControlPoint control(const QString& name, const osg::Vec3d& model, bool check = false) const
    {
        ControlPoint p;
        p.name = name;
        p.survey = toSurvey(model);
        p.check = check;
        for (size_t c = 0; c < cameras.size(); ++c) {
            double column = 0, row = 0;
            if (pixel(c, model, &column, &row))
                p.observations.append({cameras[c].name, column, row});
        }
        return p;
    }

    QVector<ControlPoint> controls() const
    {
        return {control("A", {-10, -7, 0.4}),     control("B", {10, -6, -0.3}),
                control("C", {9, 7, 1.2}),        control("D", {-8, 6, 0.1}),
                control("E", {0, 1, 2.0}),        control("F", {4, -3, 0.6}, true),
                control("G", {-3, 4, -0.8}, true)};
    }
};

} // namespace nadir
