#include "ConsoleLog.h"

#include <QDebug>
#include <QtGlobal>

#include <cstdio>

void ConsoleLog::write(const QString& line)
{
    qInfo().noquote() << line;
}

void ConsoleLog::installHandler()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        FILE* out = type == QtInfoMsg ? stdout : stderr;
        std::fprintf(out, "%s\n", qPrintable(message));
        std::fflush(out);
        if (type == QtFatalMsg)
            std::abort();
    });
}
