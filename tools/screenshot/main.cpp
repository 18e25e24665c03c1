// Starts the main window in the given edition, lets it render, and writes a
// PNG of the whole screen. Run under Xvfb by tools/screenshot.sh.
#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>
#include <QTimer>

#include "ui/main/MainWindow.h"
#include "scene/view/OsgWidget.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(images);
    if (argc < 3) {
        QTextStream(stderr) << "usage: orvalis-screenshot tessary|orvalis <out.png> [--raise <dock>] "
                               "[--sensors] [file to add...]\n";
        return 2;
    }
    const bool orvalis = QString::fromLocal8Bit(argv[1]).toLower() == "orvalis";
    const QString out = QString::fromLocal8Bit(argv[2]);
    MainWindow window(orvalis ? MainWindow::Edition::Orvalis : MainWindow::Edition::Tessary);
    // Xvfb has no window manager to maximise the window: size it to the screen.
    window.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
    window.show();
    QStringList files;
    bool sensors = false;
    for (int i = 3; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == "--raise" && i + 1 < argc) {
            // Brings a dock's tab to the front, e.g. --raise Points
            if (QDockWidget* dock = window.dock(QString::fromLocal8Bit(argv[++i])))
                dock->raise();
        } else if (arg == "--sensors") {
            // Switches the sensor display on (a gateway on /dev/COM33, or sensorsim).
            sensors = true;
        } else {
            files << arg;
        }
    }
    window.addDataFiles(files);
    if (sensors) {
        window.action("&Sensors")->setChecked(true);
        QTimer::singleShot(1500, [&] { window.sceneView()->showTop(); });
    }
    int status = 1;
    QTimer::singleShot(2500, [&] {
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
        status = shot.save(out) ? 0 : 1;
        if (status)
            QTextStream(stderr) << "cannot write " << out << "\n";
        app.quit();
    });
    app.exec();
    return status;
}
