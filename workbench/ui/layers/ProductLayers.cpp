#include "ui/layers/ProductLayers.h"

#include <QDir>
#include <QFileInfo>

#include "core/products/ProductRecord.h"
#include "core/products/ProductStatus.h"
#include "ui/layers/LayerTree.h"

namespace
{

QString canonicalFolder(const QString& folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(folder) : canonical;
}

// Whether a result of `stage` in the pipeline folder shows in a layer of
// this file: the stage's own results, and for a new georeference (or a
// reconstruction that brings one) whatever it places.
bool shows(const QString& stage, const QString& fileStage)
{
    if (stage == fileStage)
        return true;
    const bool placing =
        stage == QLatin1String(ProductRecord::sparse) || stage == QLatin1String(ProductRecord::georeference);
    return placing && (fileStage == QLatin1String(ProductRecord::georeference) ||
                       fileStage == QLatin1String(ProductRecord::dense));
}

} // namespace

ProductLayers::ProductLayers(LayerTree* layers, QObject* parent) : QObject(parent), m_layers(layers) {}

void ProductLayers::stageWritten(const QString& stage, const QString& folder)
{
    const QString written = canonicalFolder(folder);
    QStringList reread;
    for (const LayerTree::Layer& layer : m_layers->layers()) {
        const QString file = QString::fromUtf8(layer.file);
        QString fileFolder, fileStage;
        if (!ProductStatus::locate(file, &fileFolder, &fileStage) || canonicalFolder(fileFolder) != written ||
            !shows(stage, fileStage))
            continue;
        QString error;
        if (m_layers->reloadLayer(layer.id, &error))
            reread << QFileInfo(file).fileName();
        else
            emit logLine(tr("Layer %1 could not be read again: %2").arg(QFileInfo(file).fileName(), error));
    }
    if (!reread.isEmpty())
        emit logLine(tr("Read again with the new results: %1").arg(reread.join(QStringLiteral(", "))));
    refresh();
}

void ProductLayers::refresh()
{
    QStringList newlyStale;
    for (const LayerTree::Layer& layer : m_layers->layers()) {
        const ProductStatus status = ProductStatus::of(QString::fromUtf8(layer.file));
        const QString reason = status.stale ? status.reason : QString();
        if (m_layers->setStale(layer.id, reason) && status.stale)
            newlyStale << reason;
    }
    for (const QString& reason : newlyStale)
        emit logLine(reason);
    if (!newlyStale.isEmpty())
        emit statusMessage(newlyStale.size() == 1
                               ? newlyStale.first()
                               : tr("%1 layers are stale (see the Log View)").arg(newlyStale.size()),
                           8000);
}
