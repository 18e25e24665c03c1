#include <QApplication>

#include "ui/main/MainWindow.h"

// orvalis builds the field edition, orvalis-survey the survey edition with
// the image, scan, connection and mission menus.
#ifdef ORVALIS_SURVEY_EDITION
constexpr MainWindow::Edition edition = MainWindow::Edition::Orvalis;
#else
constexpr MainWindow::Edition edition = MainWindow::Edition::Tessary;
#endif

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setAttribute(Qt::AA_SynthesizeMouseForUnhandledTouchEvents, true);
    Q_INIT_RESOURCE(images);
    int result = 0;
    {
        MainWindow window(edition);
        window.show();
        result = app.exec();
    }
    return result;
}
