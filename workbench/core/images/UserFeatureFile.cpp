#include "core/images/UserFeatureFile.h"

#include <QSaveFile>

#include "core/io/NumberedFile.h"

QByteArray UserFeatureFile::text(const QVector<ImageSelection::Match>& history)
{
    // QString::asprintf formats in the C locale whatever the user's is.
    QByteArray out = QString::asprintf("%i\n", int(history.size())).toUtf8();
    for (const ImageSelection::Match& match : history)
        for (const ImagePick& p : match)
            out += QString::asprintf("%s %i %i %i %i %i %f %f %f %i %i\n", p.imageName.toUtf8().constData(),
                                     p.cameraIndex, p.matchNumber, p.type, p.x, p.y, p.point.x(), p.point.y(),
                                     p.point.z(), p.matchIndex, p.shapeIndex)
                       .toUtf8();
    return out;
}

QString UserFeatureFile::write(const QString& folder, const QVector<ImageSelection::Match>& history,
                               QString* error)
{
    const QString path = NumberedFile::next(folder, QStringLiteral("newFeatures_"), QStringLiteral(".txt"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text(history)) < 0 || !file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return QString();
    }
    return path;
}
