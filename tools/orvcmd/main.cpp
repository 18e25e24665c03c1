// The workbench's command interpreter where there is no cmd.exe:
//   orvcmd /c <script.bat>
//   orvcmd /c <command line...>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <csignal>
#include <cstdio>

#include "core/platform/BatchInterpreter.h"

namespace
{

void stopOnSignal(int signal)
{
    BatchInterpreter::requestStop(signal);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // Ended by the workbench (it quits, or a run is aborted): the tool
    // running now is told, so that it removes its pieces, and nothing after
    // it runs. orvcmd itself ends when the tool has.
#ifndef Q_OS_WIN
    struct sigaction action = {};
    action.sa_handler = stopOnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
#endif
    QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args.first().toLower() == QLatin1String("/c"))
        args.removeFirst();
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (args.isEmpty()) {
        err << "usage: orvcmd /c <script.bat | command line>\n";
        return 1;
    }
    BatchInterpreter interpreter(out, err);
    // Exit codes are one byte here: a missing command reads as the shells' 127.
    auto code = [](int rc) { return rc == BatchInterpreter::notFound ? 127 : rc; };
    const QString first = QString(args.first()).replace('\\', '/');
    if (args.size() == 1 && (first.endsWith(QLatin1String(".bat"), Qt::CaseInsensitive)
                             || first.endsWith(QLatin1String(".cmd"), Qt::CaseInsensitive))
        && QFileInfo(first).isFile())
        return code(interpreter.runScript(first));
    return code(interpreter.runLine(args.join(' ')));
}
