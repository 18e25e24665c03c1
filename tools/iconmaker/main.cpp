// Draws the workbench's icons into a folder and writes the resource file that
// compiles them in. Run at build time: iconmaker <icons.txt> <outdir>
// For reviewing the set: iconmaker --sheet <icons.txt> <sheet.png>
// Find-code markers of a value list: iconmaker --codes <d_code.txt> <outdir>
// The sensor display's smoke texture: iconmaker --smoke <smoke.rgb>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QTextStream>

#include "ContactSheet.h"
#include "FindCodeIcon.h"
#include "IconPainter.h"
#include "SgiImageWriter.h"
#include "SmokeTexture.h"

namespace {

bool readNames(const QString& path, QStringList* names)
{
    QFile list(path);
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream(stderr) << "iconmaker: cannot read " << path << "\n";
        return false;
    }
    QTextStream in(&list);
    while (!in.atEnd()) {
        const QString name = in.readLine().trimmed();
        if (!name.isEmpty() && !name.startsWith('#'))
            names->append(name);
    }
    return true;
}

int writeSheet(const QStringList& names, const QString& path)
{
    if (!ContactSheet::compose(names).save(path, "PNG")) {
        QTextStream(stderr) << "iconmaker: cannot write " << path << "\n";
        return 1;
    }
    QTextStream(stdout) << "iconmaker: sheet of " << names.size() << " icons\n";
    return 0;
}

int writeIcons(const QStringList& names, const QString& outDir)
{
    if (!QDir().mkpath(outDir + "/images")) {
        QTextStream(stderr) << "iconmaker: cannot create " << outDir << "/images\n";
        return 1;
    }
    QString qrc = "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    for (const QString& name : names) {
        // An undrawn name still gets a placeholder so the program finds a file,
        // but the build log says so.
        if (!IconPainter::knows(name))
            QTextStream(stderr) << "iconmaker: warning: no drawing for " << name << ", using a placeholder\n";
        const QImage img = IconPainter::draw(name, 32);
        const QString path = outDir + "/images/" + name;
        const bool jpeg = name.endsWith(".jpg", Qt::CaseInsensitive);
        if (!img.save(path, jpeg ? "JPG" : "PNG", jpeg ? 95 : -1)) {
            QTextStream(stderr) << "iconmaker: cannot write " << path << "\n";
            return 1;
        }
        qrc += "  <file>images/" + name.toHtmlEscaped() + "</file>\n";
    }
    qrc += "</qresource>\n</RCC>\n";
    QFile out(outDir + "/images.qrc");
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text) || out.write(qrc.toUtf8()) < 0) {
        QTextStream(stderr) << "iconmaker: cannot write " << out.fileName() << "\n";
        return 1;
    }
    QTextStream(stdout) << "iconmaker: " << names.size() << " icons\n";
    return 0;
}

// One "<code>.png" per code of the list, and "generic.png" for the others.
int writeCodeIcons(const QString& listPath, const QString& outDir)
{
    QFile list(listPath);
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream(stderr) << "iconmaker: cannot read " << listPath << "\n";
        return 1;
    }
    if (!QDir().mkpath(outDir)) {
        QTextStream(stderr) << "iconmaker: cannot create " << outDir << "\n";
        return 1;
    }
    const QStringList codes = FindCodeIcon::codesOf(QString::fromUtf8(list.readAll()));
    QStringList names = codes;
    names << QString();
    for (const QString& code : names) {
        const QString path = outDir + "/" + (code.isEmpty() ? QStringLiteral("generic") : code) + ".png";
        if (!FindCodeIcon::draw(code, 32).save(path, "PNG")) {
            QTextStream(stderr) << "iconmaker: cannot write " << path << "\n";
            return 1;
        }
    }
    QTextStream(stdout) << "iconmaker: " << codes.size() << " find-code icons and generic\n";
    return 0;
}

int writeSmoke(const QString& path)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()) || !SgiImageWriter::write(SmokeTexture::draw(128), path)) {
        QTextStream(stderr) << "iconmaker: cannot write " << path << "\n";
        return 1;
    }
    QTextStream(stdout) << "iconmaker: smoke texture\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool sheet = args.size() == 4 && args[1] == "--sheet";
    const bool codes = args.size() == 4 && args[1] == "--codes";
    if (args.size() == 3 && args[1] == "--smoke")
        return writeSmoke(args[2]);
    if (args.size() != 3 && !sheet && !codes) {
        QTextStream(stderr) << "usage: iconmaker <icons.txt> <outdir>\n"
                               "       iconmaker --sheet <icons.txt> <sheet.png>\n"
                               "       iconmaker --codes <d_code.txt> <outdir>\n"
                               "       iconmaker --smoke <smoke.rgb>\n";
        return 2;
    }
    if (codes)
        return writeCodeIcons(args[2], args[3]);
    QStringList names;
    if (!readNames(args[sheet ? 2 : 1], &names))
        return 1;
    return sheet ? writeSheet(names, args[3]) : writeIcons(names, args[2]);
}
