#pragma once

#include <QDir>
#include <QString>
#include <QtTest>

// Reference files written by other tools (real NVM, Bundler, PLY, PTS, KML,
// EXIF XML, SIFT keys, photographs) lie in one folder beside the repository,
// given to the tests by CMake. A plain clone has no such folder: the cases
// that need it skip with a message naming it, everything else runs. The
// environment variable ORVALIS_SHARED_DATA, when set, names the folder
// instead, so that one build can be run with the files and without them.
namespace SharedData
{

inline QString root()
{
    const QString overridden = qEnvironmentVariable("ORVALIS_SHARED_DATA");
    return overridden.isEmpty() ? QStringLiteral(ORVALIS_SHARED_DATA) : overridden;
}

// root() + "/" + relative
inline QString path(const QString& relative)
{
    return root() + QLatin1Char('/') + relative;
}

inline bool present()
{
    return QDir(root()).exists();
}

inline QByteArray skipMessage()
{
    return QByteArray("reference files not found in ") + QDir::cleanPath(root()).toLocal8Bit() +
           " (they lie beside the repository on our machines and in CI)";
}

} // namespace SharedData

// First line of a test function that reads reference files.
#define REQUIRE_SHARED_DATA()                                                                                \
    do {                                                                                                     \
        if (!SharedData::present())                                                                          \
            QSKIP(SharedData::skipMessage().constData());                                                    \
    } while (false)

// For data-driven tests whose rows mix reference files and generated input:
// skips only the rows whose path lies in the reference folder. A relative
// path is one below the reference folder (the rows that pass it on to
// SharedData::path()).
#define REQUIRE_SHARED_DATA_FOR(filePath)                                                                    \
    do {                                                                                                     \
        const QString requiredFile_(filePath);                                                               \
        if ((requiredFile_.startsWith(SharedData::root()) || QDir::isRelativePath(requiredFile_)) &&         \
            !SharedData::present())                                                                          \
            QSKIP(SharedData::skipMessage().constData());                                                    \
    } while (false)
