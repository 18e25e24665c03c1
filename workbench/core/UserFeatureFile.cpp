#include "UserFeatureFile.h"

#include <QSaveFile>

#include "NumberText.h"
#include "NumberedFile.h"

QByteArray UserFeatureFile::text(const QVector<ImageSelection::Match>& history)
{
    // QString::asprintf formats in the C locale whatever the user's is.
    QByteArray out = QString::asprintf("%i\n", int(history.size())).toUtf8();
    for (const ImageSelection::Match& match : history)
        for (const ImagePick& p : match)
            // The point in fixed notation as "%f" writes it, with every digit
            // the double holds (survey coordinates keep their millimetres).
            out += QString::asprintf("%s %i %i %i %i %i %s %s %s %i %i\n", p.imageName.toUtf8().constData(),
                                     p.cameraIndex, p.matchNumber, p.type, p.x, p.y,
                                     NumberText::fixed(p.point.x()).constData(),
                                     NumberText::fixed(p.point.y()).constData(),
                                     NumberText::fixed(p.point.z()).constData(), p.matchIndex, p.shapeIndex)
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
