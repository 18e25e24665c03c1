#include "core/images/ImageCopy.h"

#include <QFile>
#include <QFileInfo>

namespace
{

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

} // namespace

bool ImageCopy::sameFile(const QString& a, const QString& b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

bool ImageCopy::sameContent(const QString& a, const QString& b)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    constexpr qint64 chunk = 1 << 20;
    while (!fa.atEnd()) {
        const QByteArray ba = fa.read(chunk);
        if (ba.isEmpty() || ba != fb.read(chunk))
            return false;
    }
    return true;
}

ImageCopy::Outcome ImageCopy::copy(const QString& source, const QString& target, QString* error)
{
    const QFileInfo src(source);
    if (!src.isFile()) {
        setError(error, QStringLiteral("the source file is missing"));
        return Outcome::Failed;
    }
    if (QFileInfo::exists(target)) {
        if (sameFile(source, target) || sameContent(source, target))
            return Outcome::AlreadyThere;
        setError(error, QStringLiteral("a different file of that name is already there"));
        return Outcome::Failed;
    }
    QFile in(source);
    // QFile::copy writes through a temporary file and removes it when the
    // copy fails, so a full disk leaves nothing half-written under the name.
    if (!in.copy(target)) {
        setError(error, in.errorString());
        return Outcome::Failed;
    }
    return Outcome::Copied;
}
