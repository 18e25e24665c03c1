#include "core/products/ProductRecord.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "core/io/SaveFileCommit.h"

namespace
{

// Files up to this size are hashed whole; larger ones by their head and tail.
constexpr qint64 wholeLimit = 4 << 20;
constexpr qint64 endLength = 1 << 20;
// A record names a few thousand files at most (one per photo).
constexpr qint64 recordLimit = 64 << 20;

QString stem(const QString& path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? path.left(dot) : path;
}

// Tabs and line ends cannot stand in a field of the record.
bool writable(const QString& field)
{
    return !field.contains(QLatin1Char('\t')) && !field.contains(QLatin1Char('\n')) &&
           !field.contains(QLatin1Char('\r'));
}

} // namespace

QString ProductRecord::fileOf(const QString& folder, const QString& stage)
{
    return QDir(folder).filePath(QStringLiteral("records/") + stage + QStringLiteral(".txt"));
}

QByteArray ProductRecord::fingerprint(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    const qint64 size = file.size();
    QCryptographicHash hash(QCryptographicHash::Sha1);
    if (size <= wholeLimit) {
        hash.addData(&file);
    } else {
        hash.addData(file.read(endLength));
        file.seek(size - endLength);
        hash.addData(file.read(endLength));
    }
    return QByteArray::number(size) + ':' + hash.result().toHex();
}

QString ProductRecord::relative(const QString& folder, const QString& path)
{
    const QString base = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const QString full = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (full.startsWith(base + QLatin1Char('/')))
        return full.mid(base.size() + 1);
    return full;
}

ProductRecord ProductRecord::make(const QString& folder, const QString& stage, const QStringList& inputs,
                                  const QStringList& outputs, const QString& method)
{
    ProductRecord record;
    record.stage = stage;
    record.method = method;
    record.made = QDateTime::currentDateTimeUtc();
    const QDir dir(folder);
    for (const QString& input : inputs) {
        const QString path = relative(folder, dir.filePath(input));
        record.inputs.append({path, fingerprint(dir.filePath(path))});
    }
    for (const QString& output : outputs) {
        const QString path = relative(folder, dir.filePath(output));
        record.outputs.append({path, fingerprint(dir.filePath(path))});
    }
    return record;
}

bool ProductRecord::write(const QString& folder, QString* error) const
{
    QByteArray text = "# What this stage's results were made from: files relative to the folder above, "
                      "each with its size and content hash\n";
    text += "stage\t" + stage.toUtf8() + '\n';
    if (!method.isEmpty())
        text += "method\t" + method.toUtf8() + '\n';
    text += "made\t" + made.toString(Qt::ISODate).toUtf8() + '\n';
    for (const auto& [kind, files] : {std::make_pair("input", &inputs), std::make_pair("output", &outputs)})
        for (const File& f : *files) {
            if (!writable(f.path)) {
                if (error)
                    *error =
                        QStringLiteral("%1: a name with a tab or line break cannot be recorded").arg(f.path);
                return false;
            }
            text += QByteArray(kind) + '\t' + f.path.toUtf8() + '\t' + f.fingerprint + '\n';
        }
    const QString name = fileOf(folder, stage);
    if (!QDir().mkpath(QFileInfo(name).path())) {
        if (error)
            *error = QStringLiteral("cannot make the folder %1").arg(QFileInfo(name).path());
        return false;
    }
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(name, file.errorString());
        return false;
    }
    file.write(text);
    return SaveFileCommit::commit(file, error);
}

bool ProductRecord::read(const QString& folder, const QString& stage, ProductRecord* out)
{
    QFile file(fileOf(folder, stage));
    if (!file.open(QIODevice::ReadOnly) || file.size() > recordLimit)
        return false;
    ProductRecord record;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QByteArray line = raw.endsWith('\r') ? raw.left(raw.size() - 1) : raw;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.split('\t');
        const QByteArray key = fields.first();
        if (key == "stage" && fields.size() == 2)
            record.stage = QString::fromUtf8(fields[1]);
        else if (key == "method" && fields.size() == 2)
            record.method = QString::fromUtf8(fields[1]);
        else if (key == "made" && fields.size() == 2)
            record.made = QDateTime::fromString(QString::fromUtf8(fields[1]), Qt::ISODate);
        else if ((key == "input" || key == "output") && fields.size() == 3 && !fields[1].isEmpty())
            (key == "input" ? record.inputs : record.outputs)
                .append({QString::fromUtf8(fields[1]), fields[2]});
        else
            return false; // not a record this program wrote
    }
    if (record.stage != stage)
        return false;
    *out = record;
    return true;
}

QStringList ProductRecord::changedInputs(const QString& folder) const
{
    QStringList changed;
    const QDir dir(folder);
    for (const File& f : inputs)
        if (fingerprint(dir.filePath(f.path)) != f.fingerprint)
            changed << f.path;
    return changed;
}

QByteArray ProductRecord::inputFingerprint(const QString& path) const
{
    for (const File& f : inputs)
        if (f.path == path)
            return f.fingerprint;
    return QByteArray();
}

bool ProductRecord::madeFile(const QString& relativePath) const
{
    const QString wanted = stem(relativePath);
    for (const File& f : outputs)
        if (stem(f.path) == wanted)
            return true;
    return false;
}
