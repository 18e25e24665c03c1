#pragma once

#include <QString>
#include <QStringList>

// Where the program's Windows-born paths and the command interpreter live on
// this platform. Every place that needs one of them asks here.
class PlatformPaths
{
public:
    // Maps a drive-letter path such as "C:/Orvalis/screenshot.bmp" to a place
    // the user owns: on Windows unchanged, elsewhere "<home>/Orvalis/screenshot.bmp".
    static QString fromWindowsPath(const QString& path);

    // Program and leading arguments that run a batch file or command line:
    // "cmd.exe" "/c" on Windows, our own interpreter "orvcmd" beside the
    // program elsewhere. The caller appends the batch file or command line.
    static QString commandInterpreter(const QString& appDir);
    static QStringList commandInterpreterArguments();

    // A serial port by its Windows name: "COM33" on Windows, the device
    // "/dev/COM33" elsewhere (a link the user points at the real device). A
    // name holding a path is used as it is.
    static QString serialPort(const QString& name);
};
