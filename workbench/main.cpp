#include <QApplication>

#include "MainWindow.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setAttribute(Qt::AA_SynthesizeMouseForUnhandledTouchEvents, true);
    Q_INIT_RESOURCE(images);
    int result = 0;
    {
        MainWindow window;
        window.show();
        result = app.exec();
    }
    return result;
}
