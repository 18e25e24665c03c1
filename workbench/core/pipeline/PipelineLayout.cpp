#include "core/pipeline/PipelineLayout.h"

#include <QThread>

#include <algorithm>

namespace
{

// The text without its last n characters (empty when it is shorter).
QString withoutLast(const QString& text, int n)
{
    return text.left(std::max(0, int(text.size()) - n));
}

} // namespace

PipelineLayout::PipelineLayout(const QString& appDir, const QString& firstImage)
    : m_appFolder(appDir), m_folder(firstImage.left(firstImage.lastIndexOf(QLatin1Char('/')) + 1)),
      m_logicalProcessors(QThread::idealThreadCount()),
      m_processCount(defaultProcessCount(m_logicalProcessors))
{
}

void PipelineLayout::setImages(const QStringList& fullPaths, const QStringList& itemTexts)
{
    m_images = fullPaths;
    m_features.clear();
    const QString native = nativeFolder();
    for (const QString& text : itemTexts)
        m_features << native + withoutLast(text, 3) + QStringLiteral("keyb");
}

int PipelineLayout::defaultProcessCount(int logicalProcessors)
{
    return std::max(2, logicalProcessors / 2);
}

QString PipelineLayout::toNative(QString path)
{
    return path.replace(QLatin1Char('/'), QLatin1Char('\\'));
}

QString PipelineLayout::toLocal(QString path)
{
    return path.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

QString PipelineLayout::jpgName(const QString& path)
{
    return withoutLast(path, 3) + QStringLiteral("JPG");
}

QStringList PipelineLayout::imageFolders(const QStringList& fullPaths)
{
    QStringList folders;
    for (const QString& path : fullPaths) {
        const QString folder = path.left(std::max(0, int(path.lastIndexOf(QLatin1Char('/')))));
        if (!folders.contains(folder))
            folders << folder;
    }
    return folders;
}
