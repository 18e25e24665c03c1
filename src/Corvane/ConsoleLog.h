#pragma once

#include <QString>

// The ground station's log: whole lines on the console. Called on the GUI
// thread only; connection threads hand their lines over as signals.
class ConsoleLog
{
public:
    static void write(const QString& line);
    // Sends info lines to standard output, the rest to standard error.
    static void installHandler();
};
