#include "core/pipeline/FocalList.h"

#include <QFile>
#include <QRegularExpression>

#include "core/pipeline/PipelineLayout.h"
#include "core/project/ScanSettings.h"
#include "core/pipeline/ScriptFile.h"

QByteArray FocalList::text(const PipelineLayout& layout, const ScanSettings& settings)
{
    const QString focal =
        settings.usesBundler() ? QStringLiteral(" 0 ") + ScriptFile::number(settings.fx) : QString();
    QStringList lines;
    for (const QString& image : layout.imagePaths())
        lines << PipelineLayout::jpgName(PipelineLayout::toNative(image)) + focal;
    return ScriptFile::join(lines, false);
}

bool FocalList::write(const PipelineLayout& layout, const ScanSettings& settings)
{
    return ScriptFile::write(layout.file(QLatin1String(fileName)), text(layout, settings));
}

bool FocalList::recordMatched(const PipelineLayout& layout)
{
    QFile list(layout.file(QLatin1String(fileName)));
    if (!list.open(QIODevice::ReadOnly))
        return false;
    return ScriptFile::write(layout.file(QLatin1String(oldFileName)), list.readAll());
}

QString FocalList::imageOfLine(const QString& line)
{
    static const QRegularExpression bundlerLine(QStringLiteral("^(.*) 0 \\S+$"));
    const QRegularExpressionMatch m = bundlerLine.match(line);
    return m.hasMatch() ? m.captured(1) : line;
}
