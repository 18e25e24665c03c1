// Draws the workbench's icons into a folder and writes the resource file that
// compiles them in. Run at build time: iconmaker <icons.txt> <outdir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTextStream>
#include <QDir>

#include "IconPainter.h"

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        QTextStream(stderr) << "usage: iconmaker <icons.txt> <outdir>\n";
        return 2;
    }
    QFile list(QString::fromLocal8Bit(argv[1]));
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream(stderr) << "iconmaker: cannot read " << list.fileName() << "\n";
        return 1;
    }
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(outDir + "/images");

    QString qrc = "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    QTextStream in(&list);
    int count = 0;
    while (!in.atEnd()) {
        const QString name = in.readLine().trimmed();
        if (name.isEmpty() || name.startsWith('#'))
            continue;
        const QImage img = IconPainter::draw(name, 32);
        const QString path = outDir + "/images/" + name;
        if (!img.save(path, name.endsWith(".jpg") ? "JPG" : "PNG", 95)) {
            QTextStream(stderr) << "iconmaker: cannot write " << path << "\n";
            return 1;
        }
        qrc += "  <file>images/" + name.toHtmlEscaped() + "</file>\n";
        ++count;
    }
    qrc += "</qresource>\n</RCC>\n";
    QFile out(outDir + "/images.qrc");
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text) || out.write(qrc.toUtf8()) < 0) {
        QTextStream(stderr) << "iconmaker: cannot write " << out.fileName() << "\n";
        return 1;
    }
    QTextStream(stdout) << "iconmaker: " << count << " icons\n";
    return 0;
}
