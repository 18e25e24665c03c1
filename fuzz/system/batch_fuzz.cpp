// The command interpreter on arbitrary script lines, in a sandbox: every
// path a line names lands inside a scratch folder (drive letters, leading
// slashes and ".." dropped), no program is started, files stay small
// (RLIMIT_FSIZE) and the folder is emptied after each input. Batch files
// the script writes may call each other; the nesting bound ends it.
#include "core/platform/BatchInterpreter.h"

#include "FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>

namespace
{

QString root;

class Sandbox : public BatchInterpreter
{
public:
    using BatchInterpreter::BatchInterpreter;
    int started = 0;

protected:
    QString local(const QString& path) const override
    {
        QString p = path;
        p.replace('\\', '/');
        if (p.startsWith(root + '/'))
            return p;
        QStringList kept;
        for (const QString& part : p.split('/', Qt::SkipEmptyParts)) {
            if (part == QLatin1String("..") || part == QLatin1String(".") || part.endsWith(':'))
                continue;
            kept << part;
        }
        return root + '/' + kept.join('/');
    }
    int startProcess(const QString& program, const QStringList&, const QString&, bool) override
    {
        fuzz::check(program.startsWith(root + '/'));
        ++started;
        return 0;
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const QString base = QDir::tempPath() + QStringLiteral("/batch_fuzz_%1").arg(::getpid());
    QDir().mkpath(base);
    root = QDir(base).canonicalPath();
    // A script may copy files into each other without end: writes past 1 MB fail.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1 << 20, 1 << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QDir::setCurrent(root);
    QFile sink(QStringLiteral("/dev/null"));
    sink.open(QIODevice::WriteOnly);
    QTextStream out(&sink), err(&sink);
    {
        Sandbox interpreter(out, err);
        const QStringList lines =
            QString::fromLocal8Bit(reinterpret_cast<const char*>(data), int(size)).split('\n');
        interpreter.runLines(lines);
    }
    fuzz::check(QDir::setCurrent(root));
    QDir folder(root);
    for (const QString& entry : folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        QFileInfo info(folder.filePath(entry));
        if (info.isDir())
            QDir(info.filePath()).removeRecursively();
        else
            QFile::remove(info.filePath());
    }
    return 0;
}
