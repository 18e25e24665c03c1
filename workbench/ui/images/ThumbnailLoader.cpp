#include "ui/images/ThumbnailLoader.h"

#include "core/log/LogLine.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <iostream>

ThumbnailLoader::ThumbnailLoader(QObject* parent)
    : QObject(parent), m_current(std::make_shared<std::atomic<int>>(0))
{
    m_pool.setMaxThreadCount(qMax(1, QThread::idealThreadCount()));
}

ThumbnailLoader::~ThumbnailLoader()
{
    cancel();
    m_pool.waitForDone();
}

QString ThumbnailLoader::thumbnailPath(const QString& imagePath, const QString& displayName)
{
    return imagePath.left(imagePath.lastIndexOf(QLatin1Char('/'))) + QStringLiteral("/thumbnail/") +
           displayName;
}

ThumbnailLoader::Result ThumbnailLoader::make(const Job& job, int size)
{
    Result result;
    const QSize box(size, size);
    QDir().mkpath(QFileInfo(job.thumbnailPath).path());
    if (QFileInfo::exists(job.thumbnailPath)) {
        LogLine() << job.thumbnailPath.toStdString() << std::endl;
        QImage cached(job.thumbnailPath);
        if (!cached.isNull()) {
            result.image = cached.size() == box ? cached : cached.scaled(box, Qt::IgnoreAspectRatio);
            result.fromCache = true;
            return result;
        }
        // An unreadable cache file is made again from the photograph.
    }
    QImageReader reader(job.imagePath);
    // JPEG decodes straight at 1/2, 1/4 or 1/8 scale: a 12 MP photograph
    // then costs a fraction of its full decode. The last step to thumbnail
    // size is the fast one below.
    const QSize full = reader.size();
    // A header claiming a gigapixel picture is not decoded into memory for a thumbnail.
    if (full.isValid() && qint64(full.width()) * full.height() > maxPixels)
        return result;
    if (full.isValid() && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        QSize reduced = full;
        for (int k = 0; k < 3 && reduced.width() >= 2 * size && reduced.height() >= 2 * size; ++k)
            reduced /= 2;
        if (reduced != full)
            reader.setScaledSize(reduced);
    }
    result.image = reader.read();
    if (result.image.isNull())
        return result;
    if (result.image.size() != box)
        result.image = result.image.scaled(box, Qt::IgnoreAspectRatio, Qt::FastTransformation);

    QByteArray format = QFileInfo(job.thumbnailPath).suffix().toLower().toLatin1();
    if (!QImageWriter::supportedImageFormats().contains(format))
        format = "png"; // a renamed entry may have lost its suffix; readers go by content
    QSaveFile file(job.thumbnailPath);
    if (file.open(QIODevice::WriteOnly)) {
        QImageWriter writer(&file, format);
        result.saved = writer.write(result.image) && file.commit();
    }
    return result;
}

void ThumbnailLoader::start(const QVector<Job>& jobs, int size)
{
    cancel();
    const int generation = ++m_generation;
    m_current->store(generation);
    m_pending = jobs.size();
    m_saved = m_cached = 0;
    if (jobs.isEmpty()) {
        emit finished();
        return;
    }
    const std::shared_ptr<std::atomic<int>> current = m_current;
    for (int i = 0; i < jobs.size(); ++i) {
        const Job job = jobs[i];
        m_pool.start(QRunnable::create([this, current, generation, i, job, size] {
            if (current->load() != generation)
                return; // a newer batch replaced this one before it began
            const Result result = make(job, size);
            // Queued to this object on the GUI thread; the destructor waits
            // for the pool, so the object outlives every call posted here.
            QMetaObject::invokeMethod(
                this, [this, generation, i, result] { deliver(generation, i, result); },
                Qt::QueuedConnection);
        }));
    }
}

void ThumbnailLoader::cancel()
{
    m_current->store(-1);
    m_pool.clear();
    m_pending = 0;
}

void ThumbnailLoader::deliver(int generation, int index, const Result& result)
{
    if (generation != m_generation || m_current->load() != generation)
        return;
    m_saved += result.saved ? 1 : 0;
    m_cached += result.fromCache ? 1 : 0;
    emit thumbnailReady(index, result.image);
    if (--m_pending == 0)
        emit finished();
}
