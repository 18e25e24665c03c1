#include "core/survey/VolumeTable.h"

#include <QSaveFile>

#include "core/io/NumberString.h"
#include "core/io/SaveFileCommit.h"

QString VolumeTable::quoted(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')))
        return text;
    QString inner = text;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

bool VolumeTable::writeCsv(const QString& path, const QVector<Row>& rows, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    QString text = header() + QLatin1Char('\n');
    for (const Row& r : rows) {
        const RecordVolume& v = r.volume;
        text += quoted(r.outline) + QLatin1Char(',') + quoted(v.method);
        for (double n : {v.cut, v.fill, v.net, v.uncertainty, v.area})
            text += QLatin1Char(',') + NumberString::shortest(n);
        text += QLatin1Char('\n');
    }
    file.write(text.toUtf8());
    return SaveFileCommit::commit(file, error);
}
