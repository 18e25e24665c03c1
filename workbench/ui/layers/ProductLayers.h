#pragma once

#include <QObject>
#include <QString>

class LayerTree;

// Keeps the layers that show the tool chain's results in step with their
// files. When a stage has written its results into a pipeline folder, the
// layers of those files are read again, and so are the ones its new
// georeference places (the reconstruction and its dense clouds); then every
// layer whose file was made from inputs that have changed since is marked
// stale in the tree, and each newly stale one is said in the log and the
// status bar with what to run.
class ProductLayers : public QObject
{
    Q_OBJECT
public:
    ProductLayers(LayerTree* layers, QObject* parent = nullptr);

    // stage: ProductRecord's name of the stage that wrote ("sparse",
    // "georeference", "dense", "orthophoto"); folder: the pipeline folder.
    void stageWritten(const QString& stage, const QString& folder);
    // Marks every layer stale or current as its file now is.
    void refresh();

signals:
    void statusMessage(const QString& text, int timeout);
    void logLine(const QString& line);

private:
    LayerTree* m_layers;
};
