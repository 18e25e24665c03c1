#pragma once

#include <QImage>
#include <QRectF>
#include <QString>
#include <QStringList>

class AccuracyReport;

// The accuracy report as a page to read: the figures drawn with QtCharts and
// QPainter into PNGs, embedded in one self-contained report/accuracy.html
// beside the accuracy.json whose numbers its tables show.
class AccuracyReportHtml
{
public:
    static constexpr int figureWidth = 900;
    static constexpr int figureHeight = 600;

    // The camera positions over the site with their GPS residuals (drawn
    // enlarged, by the factor the caption gives).
    static QImage cameraFigure(const AccuracyReport& report, double* enlarged = nullptr);
    static QImage reprojectionFigure(const AccuracyReport& report);
    // Photos per ground cell; cells seen by fewer than three are marked.
    static QImage overlapFigure(const AccuracyReport& report);
    // Where a cell of the overlap map lies in its figure (north up).
    static QRectF overlapCell(const AccuracyReport& report, int column, int row);

    // The newest report/accuracy.html of these pipeline folders; empty when none has one.
    static QString newest(const QStringList& pipelineFolders);

    // The page's text.
    static QByteArray html(const AccuracyReport& report);
    // Writes report/accuracy.json and report/accuracy.html in the pipeline
    // folder atomically; false with the reason (and nothing written when the
    // JSON cannot be).
    static bool write(const AccuracyReport& report, const QString& pipelineFolder, QString* error);
};
