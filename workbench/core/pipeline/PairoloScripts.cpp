#include "core/pipeline/PairoloScripts.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "core/platform/ExternalTools.h"
#include "core/pipeline/MatchPlan.h"
#include "core/pipeline/PipelineLayout.h"

QString PairoloScripts::scriptName(int i)
{
    return QStringLiteral("runPairolo_%1.bat").arg(i);
}

QString PairoloScripts::matchFile(const PipelineLayout& layout, int i)
{
    const QString table = layout.nativeFile(QStringLiteral("matches.init.txt"));
    return table.left(table.lastIndexOf(QLatin1Char('.'))) + QStringLiteral("_%1.txt").arg(i);
}

QString PairoloScripts::gpuMatchFile(const PipelineLayout& layout, int i)
{
    const QString m = matchFile(layout, i);
    const int cut = m.lastIndexOf(QLatin1Char('\\'));
    return m.left(cut) + QStringLiteral("\\gpu_") + m.mid(cut + 1);
}

QByteArray PairoloScripts::text(const PipelineLayout& layout, int i)
{
    const QString m = matchFile(layout, i);
    const QString g = gpuMatchFile(layout, i);
    QString out;
    if (!QFileInfo::exists(PipelineLayout::toLocal(g)))
        out += QStringLiteral("if exist ") + m + QStringLiteral(" rm ") + m + QLatin1Char('\n') +
               QStringLiteral("if exist ") + g + QStringLiteral(" rm ") + g + QLatin1Char('\n');
    out += ExternalTools::scriptPath(ExternalTools::Tool::Pairolo, layout.appFolder()) + QLatin1Char(' ') +
           layout.nativeFile(MatchPlan::listName(i)) + QLatin1Char(' ') + m;
    return out.toLocal8Bit();
}

bool PairoloScripts::joinTables(const QStringList& batchFiles, const QString& target, QString* error)
{
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1: %2").arg(target, out.errorString());
        return false;
    }
    for (const QString& batch : batchFiles) {
        QFile in(PipelineLayout::toLocal(batch));
        if (!in.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1: %2").arg(batch, in.errorString());
            out.cancelWriting();
            return false;
        }
        // Chunks, so that the tables of a large site need not fit in memory.
        while (!in.atEnd()) {
            const QByteArray chunk = in.read(1 << 20);
            if (out.write(chunk) != chunk.size()) {
                *error = QStringLiteral("cannot write %1: %2").arg(target, out.errorString());
                out.cancelWriting();
                return false;
            }
        }
    }
    if (!out.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(target, out.errorString());
        return false;
    }
    return true;
}
