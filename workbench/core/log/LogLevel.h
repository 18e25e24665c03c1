#pragma once

#include <QMetaType>

// How much a log line matters: Debug lines are traces for developers that go
// to standard output only; the others reach the "Log View" as well.
enum class LogLevel { Debug, Info, Warning, Error };

Q_DECLARE_METATYPE(LogLevel)
