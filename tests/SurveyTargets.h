#pragma once

// A synthetic survey (surveygen, so under an X server) made into a
// georeferenced reconstruction from its truth: sparse.nvm beside the photos
// with the true cameras in a model frame of its own (turned, scaled and
// shifted from survey coordinates) and sparse.txt carrying it back, plus the
// truth of where each photo shows each target.

#include <QDir>
#include <QFile>
#include <QHash>
#include <QString>
#include <QTextStream>
#include <QVector>

#include <cmath>
#include <sstream>

#include <osg/Vec3d>

#include "SurveyWriter.h"
#include "core/georef/ControlPoint.h"
#include "core/georef/GeoReference.h"

struct SurveyTargets {
    struct Seen {
        QString image, target;
        double column = 0, row = 0;
    };
    QString folder;               // the survey
    QString nvmFile;              // photos/sparse.nvm, its georeference sparse.txt beside it
    QVector<ControlPoint> points; // the targets, no observations; the last two are check points
    QVector<Seen> seen;           // truth/observations.txt
    QStringList oblique;          // the photos looking more than 10 degrees off straight down
    int width = 0, height = 0;
    QString error;

    static QStringList lines(const QString& path)
    {
        QFile f(path);
        QStringList out;
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            return out;
        for (const QString& line : QString::fromUtf8(f.readAll()).split('\n'))
            if (!line.trimmed().isEmpty() && !line.startsWith('#'))
                out << line.trimmed();
        return out;
    }

    // A quaternion (w, x, y, z) whose rotation is R (Shepperd's method).
    static void quaternion(const double R[3][3], double q[4])
    {
        const double t = R[0][0] + R[1][1] + R[2][2];
        if (t > 0) {
            const double s = 2 * std::sqrt(1 + t);
            q[0] = s / 4, q[1] = (R[2][1] - R[1][2]) / s, q[2] = (R[0][2] - R[2][0]) / s,
            q[3] = (R[1][0] - R[0][1]) / s;
        } else if (R[0][0] > R[1][1] && R[0][0] > R[2][2]) {
            const double s = 2 * std::sqrt(1 + R[0][0] - R[1][1] - R[2][2]);
            q[0] = (R[2][1] - R[1][2]) / s, q[1] = s / 4, q[2] = (R[0][1] + R[1][0]) / s,
            q[3] = (R[0][2] + R[2][0]) / s;
        } else if (R[1][1] > R[2][2]) {
            const double s = 2 * std::sqrt(1 + R[1][1] - R[0][0] - R[2][2]);
            q[0] = (R[0][2] - R[2][0]) / s, q[1] = (R[0][1] + R[1][0]) / s, q[2] = s / 4,
            q[3] = (R[1][2] + R[2][1]) / s;
        } else {
            const double s = 2 * std::sqrt(1 + R[2][2] - R[0][0] - R[1][1]);
            q[0] = (R[1][0] - R[0][1]) / s, q[1] = (R[0][2] + R[2][0]) / s, q[2] = (R[1][2] + R[2][1]) / s,
            q[3] = s / 4;
        }
    }

    bool make(const QString& where, int photos, int width, int height, int targets)
    {
        folder = where;
        SurveyWriter::Settings survey;
        survey.flight.photos = photos;
        survey.flight.width = width;
        survey.flight.height = height;
        survey.siteWidth = 40;
        survey.siteDepth = 30;
        survey.gridSpacing = 0.2;
        survey.targets = targets;
        std::ostringstream progress;
        std::string why;
        if (!SurveyWriter::write(survey, where.toStdString(), progress, &why)) {
            error = QString::fromStdString(why);
            return false;
        }
        this->width = width;
        this->height = height;

        const QStringList targetLines = lines(where + "/truth/targets.txt");
        for (const QString& line : targetLines) {
            const QStringList f = line.split(' ');
            ControlPoint p;
            p.name = f[0];
            p.survey.set(f[1].toDouble(), f[2].toDouble(), f[3].toDouble());
            points.append(p);
        }
        for (int i = std::max(0, int(points.size()) - 2); i < points.size(); ++i)
            points[i].check = true;
        for (const QString& line : lines(where + "/truth/observations.txt")) {
            const QStringList f = line.split(' ');
            seen.append({f[0], f[1], f[2].toDouble(), f[3].toDouble()});
        }
        if (points.isEmpty() || seen.isEmpty()) {
            error = "surveygen wrote no targets or observations";
            return false;
        }

        // The model frame: survey = t + k Rz m.
        const osg::Vec3d t = points.front().survey;
        const double k = 0.5, a = 30 * M_PI / 180;
        const double Rz[3][3] = {{std::cos(a), -std::sin(a), 0}, {std::sin(a), std::cos(a), 0}, {0, 0, 1}};
        GeoReference geo;
        geo.rotation = osg::Matrixd(Rz[0][0], Rz[0][1], Rz[0][2], 0, Rz[1][0], Rz[1][1], Rz[1][2], 0,
                                    Rz[2][0], Rz[2][1], Rz[2][2], 0, 0, 0, 0, 1);
        geo.translation = t;
        geo.scale.set(k, k, k);
        geo.epsg = 32633;

        QString nvm;
        QTextStream out(&nvm);
        out.setRealNumberPrecision(17);
        const QStringList cameraLines = lines(where + "/truth/cameras.txt");
        out << "NVM_V3\n\n" << cameraLines.size() << '\n';
        for (const QString& line : cameraLines) {
            const QStringList f = line.split(' ');
            const osg::Vec3d centre(f[7].toDouble(), f[8].toDouble(), f[9].toDouble());
            double R[3][3], M[3][3], q[4];
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    R[r][c] = f[10 + 3 * r + c].toDouble();
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    M[r][c] = R[r][0] * Rz[0][c] + R[r][1] * Rz[1][c] + R[r][2] * Rz[2][c];
            quaternion(M, q);
            if (-R[2][2] < std::cos(10 * M_PI / 180)) // the forward axis against straight down
                oblique << f[0];
            const osg::Vec3d m = geo.modelPoint(centre);
            out << f[0] << ' ' << f[3].toDouble() << ' ' << q[0] << ' ' << q[1] << ' ' << q[2] << ' ' << q[3]
                << ' ' << m.x() << ' ' << m.y() << ' ' << m.z() << " 0 0\n";
        }
        out << points.size() << '\n';
        for (const ControlPoint& p : points) {
            const osg::Vec3d m = geo.modelPoint(p.survey);
            out << m.x() << ' ' << m.y() << ' ' << m.z() << " 200 200 200 0\n";
        }
        out.flush();
        nvmFile = where + "/photos/sparse.nvm";
        QFile f(nvmFile);
        QString why2;
        if (!f.open(QIODevice::WriteOnly) || f.write(nvm.toUtf8()) < 0) {
            error = "cannot write " + nvmFile;
            return false;
        }
        f.close();
        if (!geo.write(GeoReference::companionFileName(nvmFile), &why2)) {
            error = why2;
            return false;
        }
        return true;
    }
};
