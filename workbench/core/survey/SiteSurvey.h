#pragma once

#include <QString>
#include <QVector>

// One survey of the site: a georeferenced reconstruction's pipeline folder
// with the elevation model and orthophoto OrthoDsm made there, and the day
// its photos were taken (from their EXIF). Several of them in one survey
// frame are what the site's changes are measured between.
class SiteSurvey
{
public:
    QString folder;     // the pipeline folder
    QString dsm, ortho; // ortho empty when there is none
    QString date;       // "2026-06-12"; empty when no photo says
    int epsg = 0;
    double dsmCell = 0;      // metres
    double groundSample = 0; // the orthophoto's cell (the photos' ground sample), else the DSM's

    // The survey an elevation model belongs to: its folder is the one above
    // "ortho/", or the model's own. False with a reason when the file is no
    // elevation model.
    static bool of(const QString& dsmPath, SiteSurvey& out, QString* error);
    // The day most of the photos in folder were taken (EXIF
    // DateTimeOriginal of the JPEG and TIFF files there, at most the first
    // maxPhotos), "yyyy-MM-dd"; empty when none says.
    static QString photoDate(const QString& folder, int maxPhotos = 400);

    // "Survey 2026-06-12", or the folder's name when the photos give no date.
    QString label() const;
    // Earliest first; undated ones last, by folder.
    static void sortByDate(QVector<SiteSurvey>& surveys);
};
