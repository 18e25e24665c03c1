#pragma once

#include <QString>

class GDALDataset;

// GDAL's error state kept quiet for the length of a scope, so a hostile or
// broken file does not fill the terminal; its reason goes into our messages
// instead. Also the one place that closes datasets and vector files of the
// survey computations and writes them under a temporary name.
class GdalScope
{
public:
    GdalScope();
    ~GdalScope();
    GdalScope(const GdalScope&) = delete;
    GdalScope& operator=(const GdalScope&) = delete;

    // GDAL's last error message, or a plain note that it gave none.
    static QString reason();
    // Closes the dataset (it may be null); false when GDAL failed to flush it.
    static bool close(GDALDataset* dataset);
    // The temporary name a result is written under before it is renamed
    // into place (common/files/AtomicFile): beside it, with the same
    // extension (drivers go by it).
    static QString partName(const QString& path);
    // Flushes the temporary file and renames it over path; false with the
    // reason, the temporary gone and path as it was.
    static bool commit(const QString& part, const QString& path, QString* error);
};
