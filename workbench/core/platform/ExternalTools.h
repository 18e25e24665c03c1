#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// Every external program the workbench starts, and where it expects it: under
// the application folder's "SfM" tree, or beside the program. Whatever starts
// a tool asks here for its path, so the places are written down once.
class ExternalTools
{
public:
    enum class Tool {
        ExifTool,
        Points2Archive,
        OrthoDsm,
        TriangulationUndistort,
        Undistorter,
        SiftGpu,
        Pairolo,
        Bundler,
        Bundle2Pmvs,
        Bundle2Vis,
        BundlerRadialUndistort,
        Bundle2CmpmvsUpper, // the tool set ships both spellings
        Bundle2CmpmvsLower,
        RadialUndistortCmp,
        VisualSfM,
        PbaDriver,
        Cmvs,
        GenOption,
        Pmvs,
        Cmpmvs,
    };

    struct Entry {
        Tool tool;
        const char* name;         // what the user and the log call it
        const char* relativePath; // from the application folder, "/"-separated; empty when
                                  // the tool is only started by a script of another tool
    };

    static const std::vector<Entry>& table();
    static const Entry& entry(Tool tool);

    // "SfM/Undistort/exiftool.exe", or "" for tools without a place of their own.
    static QString relativePath(Tool tool);

    // appDir + "/" + the relative path, for QProcess and file checks.
    static QString path(Tool tool, const QString& appDir);

    // The same with every "/" turned into "\", as batch scripts and command
    // lines run through the command interpreter spell it.
    static QString scriptPath(Tool tool, const QString& appDir);

    // The folders of the SfM tree, relative to the application folder, parents first.
    static QStringList folders();
};
