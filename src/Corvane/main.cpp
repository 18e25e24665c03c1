#include <QApplication>

#include "ConsoleLog.h"
#include "MainWindow.h"

int main(int argc, char* argv[])
{
    ConsoleLog::installHandler();
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
