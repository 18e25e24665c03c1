#include "core/pipeline/DensePrepareScript.h"

#include "core/log/LogLine.h"

#include <QStringList>

#include <iostream>

#include "core/platform/ExternalTools.h"
#include "core/pipeline/FocalList.h"
#include "core/pipeline/PipelineLayout.h"
#include "core/project/ScanSettings.h"
#include "core/pipeline/ScriptFile.h"

using Tool = ExternalTools::Tool;

namespace
{

const QString separator = QStringLiteral("ECHO *******************************");

QStringList setUp(const QString& f, const QString& target, const QStringList& folders)
{
    QStringList lines{QStringLiteral("@ECHO off"), separator, QStringLiteral("ECHO Setting up Directories")};
    for (const QString& folder : folders)
        lines << QStringLiteral("mkdir ") + ScriptFile::quoted(f + target + QLatin1Char('\\') + folder);
    return lines;
}

} // namespace

QString DensePrepareScript::fileName(const ScanSettings& s)
{
    if (s.usesPmvs())
        return s.usesBundler() ? QStringLiteral("prepare_pmvs2.bat") : QStringLiteral("prepare_pmvs2pba.bat");
    return s.usesBundler() ? QStringLiteral("prepare_cmpmvs.bat") : QStringLiteral("prepare_pba2cmpmvs.bat");
}

QByteArray DensePrepareScript::text(const PipelineLayout& layout, const ScanSettings& s)
{
    const QString a = layout.appFolder();
    const auto q = &ScriptFile::quoted;
    auto tool = [&a, q](Tool t) { return q(ExternalTools::scriptPath(t, a)) + QLatin1Char(' '); };
    const QString f = layout.nativeFolder();
    const QString target = s.usesPmvs() ? QStringLiteral("pmvs") : QStringLiteral("cmpmvs");
    const QString out = f + target + QLatin1Char('\\');

    // What the conversion reads: Bundler's own result, or VisualSfM's
    // converted to Bundler's form first.
    QString list = layout.nativeFile(QLatin1String(FocalList::fileName));
    QString bundle = f + QStringLiteral("bundle\\bundle.out");
    QStringList convert;
    if (!s.usesBundler()) {
        list = f + QStringLiteral("sparse-converted-list.txt");
        bundle = f + QStringLiteral("sparse-converted.out");
        convert << tool(Tool::PbaDriver) + q(f + QStringLiteral("sparse.nvm")) +
                       QStringLiteral(" --convert_to_bout");
    }
    const QString sources = q(list) + QLatin1Char(' ') + q(bundle) + QLatin1Char(' ') + q(out);

    QStringList lines;
    if (s.usesPmvs()) {
        const QString c = QString::number(layout.logicalProcessors());
        if (!s.usesBundler())
            LogLine() << "Number of Cores is: " << c.toStdString() << std::endl;
        lines = setUp(f, target,
                      {QStringLiteral("txt\\"), QStringLiteral("visualize\\"), QStringLiteral("models\\")});
        lines << separator << QStringLiteral("ECHO Preparing Files For PMVS....") << convert
              << tool(Tool::Bundle2Pmvs) + sources << separator
              << QStringLiteral("ECHO Undistorting Images for PMVS....")
              << tool(Tool::BundlerRadialUndistort) + sources << separator
              << QStringLiteral("ECHO Creating Vis.dat....")
              << tool(Tool::Bundle2Vis) + q(out + QStringLiteral("bundle.rd.out")) + QLatin1Char(' ') +
                     q(out + QStringLiteral("vis.dat"))
              << separator << QStringLiteral("ECHO Setting PMVS Clusters and Options....")
              << tool(Tool::Cmvs) + q(out) +
                     (s.usesBundler() ? QStringLiteral(" 10 ") : QStringLiteral(" 50 ")) + c
              << tool(Tool::GenOption) + q(out) + QStringLiteral(" 1 2 0.7 7 3 ") + c << separator
              << QStringLiteral("ECHO Cleaning Up....")
              << QStringLiteral("rm ") + q(out + QStringLiteral("prep_pmvs.sh"))
              << QStringLiteral("rm ") + q(out + QStringLiteral("pmvs_options.txt"))
              << QStringLiteral("rm ") + q(out + QStringLiteral("pmvs.bat"));
    } else {
        lines = setUp(f, target, {QString(), QStringLiteral("_tmp\\"), QStringLiteral("data\\")});
        lines << separator << QStringLiteral("ECHO Preparing Files For CMPMVS....") << convert
              << tool(s.usesBundler() ? Tool::Bundle2CmpmvsUpper : Tool::Bundle2CmpmvsLower) + sources
              << separator << QStringLiteral("ECHO Undistorting Images for CMPMVS....")
              << tool(Tool::RadialUndistortCmp) + sources << separator
              << QStringLiteral("ECHO Cleaning Up.....")
              << QStringLiteral("rm ") + q(out + QStringLiteral("prep_pmvs.sh"))
              << QStringLiteral("rm ") + q(out + QStringLiteral("pmvs_options.txt"));
    }
    lines << separator << QStringLiteral("ECHO Completed Tasks");
    return ScriptFile::join(lines, false);
}
