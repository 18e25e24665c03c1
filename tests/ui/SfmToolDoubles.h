#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <signal.h>

#include "core/platform/ExternalTools.h"

// A temporary application folder for pipeline tests: the command interpreter
// of the build beside small stand-ins for the tool chain in its SfM tree.
// Each stand-in writes what the chain looks for afterwards (feature files,
// match tables, sparse.nvm, bundle.out, pmvs/pmvs_all.bat whose PMVS run
// leaves patch files, CMPMVS's input and cloud); a test replaces one to fail
// or hang.
class SfmToolDoubles
{
public:
    using Tool = ExternalTools::Tool;

    SfmToolDoubles()
    {
        QFile::link(QStringLiteral(ORVALIS_APP_DIR "/orvcmd"), appDir() + QStringLiteral("/orvcmd"));
        for (auto it = defaults().cbegin(); it != defaults().cend(); ++it)
            install(it.key(), it.value());
    }

    QString appDir() const { return m_app.path(); }
    // Where hanging stand-ins note their process ids, one per line.
    QString pidFile() const { return m_app.filePath(QStringLiteral("hanging.pids")); }

    void install(Tool tool, const QByteArray& body)
    {
        const QString path = ExternalTools::path(tool, appDir());
        QDir().mkpath(QFileInfo(path).path());
        // Written beside and renamed over: a stand-in a killed run was still
        // starting cannot be opened for writing (ETXTBSY), but it can be replaced.
        const QString next = path + QStringLiteral(".next");
        QFile f(next);
        QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(f.errorString()));
        f.write("#!/bin/sh\n" + body + "\n");
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        QVERIFY2(::rename(QFile::encodeName(next).constData(), QFile::encodeName(path).constData()) == 0,
                 qPrintable(path + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(errno))));
    }
    void restore(Tool tool) { install(tool, defaults().value(tool)); }

    // A body that notes its pid and then waits far longer than any test.
    QByteArray hang(const QByteArray& before = QByteArray()) const
    {
        return before + "\necho $$ >> '" + pidFile().toUtf8() + "'\nexec sleep 60";
    }
    QList<qint64> hangingPids() const
    {
        QList<qint64> pids;
        QFile f(pidFile());
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                if (!line.trimmed().isEmpty())
                    pids << line.trimmed().toLongLong();
        return pids;
    }
    // Gone, or a zombie nobody has collected yet.
    static bool gone(qint64 pid)
    {
        if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            return true;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return true;
        const QByteArray text = stat.readAll();
        const int close = text.lastIndexOf(')');
        return close > 0 && text.mid(close + 2, 1) == "Z";
    }

    static const QMap<Tool, QByteArray>& defaults()
    {
        static const QMap<Tool, QByteArray> tools = {
            {Tool::Undistorter, "exit 0"},
            // Each listed image (native path, "JPG" name) gets its feature file.
            {Tool::SiftGpu, "while IFS= read -r line || [ -n \"$line\" ]; do\n"
                            "  f=$(printf '%s' \"$line\" | tr '\\\\' '/')\n"
                            "  printf 'keys\\n' > \"${f%JPG}keyb\"\n"
                            "done < \"$1\""},
            // The batch's pair list becomes both its tables.
            {Tool::Pairolo, "cp \"$1\" \"$2\" && cp \"$1\" \"$(dirname \"$2\")/gpu_$(basename \"$2\")\""},
            {Tool::VisualSfM, "for a; do case \"$a\" in *.nvm) printf 'NVM_V3\\n' > \"$a\";; esac; done"},
            {Tool::Bundler, "out=$(sed -n 's/^--output_dir //p' \"$3\" | tr '\\\\' '/')\n"
                            "printf '# Bundle file v0.3\\n' > \"$out/bundle.out\""},
            {Tool::PbaDriver,
             "d=$(dirname \"$1\"); : > \"$d/sparse-converted.out\"; : > \"$d/sparse-converted-list.txt\""},
            {Tool::Bundle2Pmvs, "exit 0"},
            {Tool::Bundle2Vis, "exit 0"},
            {Tool::BundlerRadialUndistort, "exit 0"},
            // The cameras and images CMPMVS reads, from 00001 on.
            {Tool::Bundle2CmpmvsUpper,
             "mkdir -p \"$3/data\" && printf 'CONTOUR\\n' > \"$3/data/00001_P.txt\""},
            {Tool::Bundle2CmpmvsLower,
             "mkdir -p \"$3/data\" && printf 'CONTOUR\\n' > \"$3/data/00001_P.txt\""},
            {Tool::RadialUndistortCmp, "mkdir -p \"$3/data\" && printf 'jpeg' > \"$3/data/00001.jpg\""},
            {Tool::Cmvs, "exit 0"},
            // Leaves the script that runs PMVS; its run writes two patch files and a mesh.
            {Tool::GenOption,
             "printf 'ECHO p > %smodels/option-0000.patch\\nECHO p > %smodels/option-0001.patch\\n"
             "ECHO m > %smodels/option-0000.ply' \"$1\" \"$1\" \"$1\" > \"$1pmvs_all.bat\""},
            {Tool::Cmpmvs, "d=$(dirname \"$1\")/models; mkdir -p \"$d\" && printf 'ply\\n' > \"$d/mvs.ply\""},
        };
        return tools;
    }

private:
    QTemporaryDir m_app;
};
