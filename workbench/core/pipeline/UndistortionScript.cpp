#include "core/pipeline/UndistortionScript.h"

#include <QFileInfo>

#include "core/platform/ExternalTools.h"
#include "core/pipeline/PipelineLayout.h"
#include "core/project/ScanSettings.h"
#include "core/pipeline/ScriptFile.h"

bool UndistortionScript::calibrationSet(const ScanSettings& s)
{
    return s.fx != 0 && s.fy != 0 && s.cx != 0 && s.cy != 0;
}

QString UndistortionScript::keptCopy(const QString& image)
{
    const QString native = PipelineLayout::toNative(image);
    const int cut = native.lastIndexOf(QLatin1Char('\\'));
    return native.left(cut) + QStringLiteral("\\uncalibrated\\") + native.mid(cut + 1);
}

QByteArray UndistortionScript::text(const PipelineLayout& layout, const ScanSettings& s)
{
    const QString tool = ExternalTools::scriptPath(ExternalTools::Tool::Undistorter, layout.appFolder());
    QStringList numbers;
    for (double v : {s.fx, s.fy, s.cx, s.cy, s.r1, s.r2, s.t1, s.t2, s.r3})
        numbers << ScriptFile::number(v, 10);
    const QString calibration = numbers.join(QLatin1Char(' '));

    QByteArray out;
    for (const QString& image : layout.imagePaths()) {
        const QString native = PipelineLayout::toNative(image);
        if (QFileInfo::exists(PipelineLayout::toLocal(keptCopy(image))))
            continue;
        out += (ScriptFile::quoted(tool) + QLatin1Char(' ') + ScriptFile::quoted(native) + QLatin1Char(' ') +
                calibration + QLatin1Char('\n'))
                   .toLocal8Bit();
    }
    return out;
}
