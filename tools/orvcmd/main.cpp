// The workbench's command interpreter where there is no cmd.exe:
//   orvcmd /c <script.bat>
//   orvcmd /c "<command line>"
//   orvcmd /c <program> <argument>...
#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

#include "core/platform/BatchInterpreter.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
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
    // One argument is a whole command line, as cmd.exe takes what follows
    // "/c" (the workbench passes it so), unless it names a program as a whole.
    // Several arguments are one word each: one that holds a blank
    // ("Grabung Sud 2\a.jpg") is quoted again.
    if (args.size() == 1 && BatchInterpreter::resolveProgram(args.first()).isEmpty())
        return code(interpreter.runLine(args.first()));
    return code(interpreter.runLine(BatchInterpreter::join(args)));
}
