#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QVector>

#include <atomic>
#include <memory>

// Makes the thumbnails of the image list away from the GUI thread: a cached
// thumbnail file is read when there is one, otherwise the photograph is
// decoded at thumbnail size and the result cached for the next time. Results
// arrive on the GUI thread tagged with their job's index, so the caller keeps
// its own order of rows whatever order the decoding finishes in.
class ThumbnailLoader : public QObject
{
    Q_OBJECT
public:
    struct Job {
        QString imagePath;
        QString thumbnailPath; // the cache file, in a "thumbnail" folder beside the image
    };

    struct Result {
        QImage image; // null when neither the cache nor the image could be read
        bool fromCache = false;
        bool saved = false; // a new cache file was written
    };

    explicit ThumbnailLoader(QObject* parent = nullptr);
    ~ThumbnailLoader() override;

    // Photographs larger than this get no thumbnail (an empty icon).
    static constexpr qint64 maxPixels = 250'000'000;

    // The cache file of an image shown under displayName.
    static QString thumbnailPath(const QString& imagePath, const QString& displayName);
    // The work of one job, on any thread.
    static Result make(const Job& job, int size);

    // Starts a batch; the results of a batch still under way are dropped.
    void start(const QVector<Job>& jobs, int size);
    void cancel();
    bool isRunning() const { return m_pending > 0; }
    int savedCount() const { return m_saved; }
    int cachedCount() const { return m_cached; }

signals:
    void thumbnailReady(int index, const QImage& image);
    void finished();

private:
    void deliver(int generation, int index, const Result& result);

    QThreadPool m_pool;
    std::shared_ptr<std::atomic<int>> m_current; // the generation whose results are wanted
    int m_generation = 0;
    int m_pending = 0;
    int m_saved = 0;
    int m_cached = 0;
};
