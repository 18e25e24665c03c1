// A ground station without its window: sends positions through TCPClient, the
// same routine the "Send" button uses, so the workbench's tests can face the
// real sender in a process of its own.
//
//   corvane_sender [--port P] [--count N] TEXT
//
// TEXT may hold %1, replaced by the message's index. Without --port the
// client's own default port is used. Exits 0 once every connection has
// closed, 2 on bad arguments, 3 if connections are still open after 30 s.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include "TCPClient.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    TCPClient client;
    int count = 1;
    QString text;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        bool ok = true;
        if (arg == "--port" && !args.isEmpty())
            client.setPort(static_cast<unsigned short>(args.takeFirst().toUInt(&ok)));
        else if (arg == "--count" && !args.isEmpty())
            count = args.takeFirst().toInt(&ok);
        else
            text = arg;
        if (!ok)
            return 2;
    }
    if (text.isEmpty() || count < 1)
        return 2;

    for (int i = 0; i < count; ++i)
        client.onRqstClientPos(text.contains("%1") ? text.arg(i) : text);

    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (clientSendsInFlight() == 0)
            app.exit(0);
        else if (clock.elapsed() > 30000)
            app.exit(3);
    });
    poll.start(5);
    return app.exec();
}
