#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Runs one of our SfM tools from the build's application folder as the
// workbench's scripts do, and keeps what it said.
struct ToolProcess {
    int exitCode = -1;
    QString out;
    QString err;

    // relative: the tool's place under the application folder, e.g.
    // "SfM/DenseReconstruction/PMVS2/cmvs".
    static ToolProcess run(const QString& relative, const QStringList& arguments, int timeoutMs = 600000)
    {
        ToolProcess result;
        QProcess process;
        process.start(QStringLiteral(ORVALIS_APP_DIR "/") + relative, arguments);
        if (!process.waitForStarted(10000)) {
            result.err = process.errorString();
            return result;
        }
        process.waitForFinished(timeoutMs);
        result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
        result.err = QString::fromLocal8Bit(process.readAllStandardError());
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return result;
    }

    // A path as the workbench writes it into scripts.
    static QString windows(QString path) { return path.replace('/', '\\'); }
};
