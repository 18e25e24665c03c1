#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include "ImageLabel.h"
#include "LedIndicator.h"
#include "LoopbackPeer.h"
#include "MainWindow.h"
#include "TCPClient.h"
#include "TCPServer.h"
#include "WireCodec.h"

namespace {

void mouse(QWidget* widget, QEvent::Type type, QPoint pos)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

QPixmap gradientFrame()
{
    QImage image(320, 240, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 255 / 319, y * 255 / 239, 200));
    return QPixmap::fromImage(image);
}

// Columns of the shown image where something darker than the background
// was drawn, within rows top..bottom.
QPair<int, int> inkColumns(const QImage& shown, int top, int bottom)
{
    int first = -1;
    int last = -1;
    for (int x = 0; x < shown.width(); ++x) {
        for (int y = qMax(0, top); y <= bottom && y < shown.height(); ++y) {
            if (qGray(shown.pixel(x, y)) < 128) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
        }
    }
    return {first, last};
}

}  // namespace

class TestCorvaneWindow : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        // The window reads config.txt from the working directory.
        m_dir.reset(new QTemporaryDir);
        QVERIFY(QDir::setCurrent(m_dir->path()));
    }
    void cleanup() { QDir::setCurrent(QDir::tempPath()); }

    void readsConfigFromWorkingDirectory()
    {
        {
            QTest::ignoreMessage(QtInfoMsg, "Unable to read config file.");
            MainWindow window;
            QCOMPARE(window.config().svmC, 1.0);
        }
        QFile file("config.txt");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("svmC = 5\nfeature = haar gaussian 0.2\n");
        file.close();
        // The log says which file was read.
        QTest::ignoreMessage(QtInfoMsg, qPrintable("Read config file " + QDir::currentPath() + "/config.txt"));
        MainWindow window;
        QCOMPARE(window.config().svmC, 5.0);
        QCOMPARE(window.config().features.size(), 1);
    }

    void serverActionSwitchesPanelAndActions()
    {
        MainWindow window;
        window.server()->setPort(0);
        auto* server = window.findChild<QAction*>("startServerAction");
        auto* device = window.findChild<QAction*>("connectDeviceAction");
        auto* panel = window.findChild<QWidget*>("statusPanel");
        QVERIFY(server && device && panel);
        QVERIFY(!device->isEnabled());
        QVERIFY(panel->isHidden());

        server->trigger();
        QCOMPARE(server->text(), QString("&StopServer"));
        QVERIFY(device->isEnabled());
        QVERIFY(!panel->isHidden());
        QVERIFY(window.server()->isListening());

        server->trigger();
        QCOMPARE(server->text(), QString("StartServer"));
        QVERIFY(!device->isEnabled());
        QVERIFY(panel->isHidden());
        QVERIFY(!window.server()->isListening());
    }

    // A taken port left the window showing a running server.
    void serverThatCannotListenShowsItIsNotRunning()
    {
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::Any));
        MainWindow window;
        window.server()->setPort(other.serverPort());
        auto* server = window.findChild<QAction*>("startServerAction");
        auto* lamp = window.findChild<LedIndicator*>("serverLamp");
        QVERIFY(lamp);
        server->trigger();
        QVERIFY(!window.server()->isListening());
        QVERIFY(!server->isChecked());
        QCOMPARE(server->text(), QString("StartServer"));
        QVERIFY(!lamp->isOn());
        QVERIFY(window.findChild<QWidget*>("statusPanel")->isHidden());
        QVERIFY(!window.findChild<QAction*>("connectDeviceAction")->isEnabled());
        const QString said = window.statusBar()->currentMessage();
        QVERIFY2(said.contains(QString::number(other.serverPort())) && said.size() > 40, qPrintable(said));

        other.close();
        server->trigger();
        QVERIFY(window.server()->isListening());
        QVERIFY(server->isChecked());
        QVERIFY(lamp->isOn());
        QVERIFY(window.statusBar()->currentMessage().isEmpty());
    }

    void trackerActionsSendAndRename_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QByteArray>("firstSend");
        QTest::addColumn<QString>("checkedText");
        QTest::addColumn<QByteArray>("secondSend");
        QTest::addColumn<QString>("uncheckedText");
        QTest::newRow("capture") << "startCaptureAction" << hex("0d") << "&StopCapture" << hex("0e") << "StartCapture";
        QTest::newRow("tracker") << "startLiveTrackerAction" << hex("0a") << "&StopLiveTracker" << hex("0b")
                                 << "StartLiveTracker";
        QTest::newRow("frame") << "rqstFrameAction" << hex("1c") << "&RqstFrame" << hex("1c") << "&RqstFrame";
        QTest::newRow("object patch") << "rqstObjPatchAction" << hex("0c") << "&RqstObjPatch" << hex("0c")
                                      << "&RqstObjPatch";
    }
    void trackerActionsSendAndRename()
    {
        QFETCH(QString, action);
        QFETCH(QByteArray, firstSend);
        QFETCH(QString, checkedText);
        QFETCH(QByteArray, secondSend);
        QFETCH(QString, uncheckedText);
        MessageCollector peer;
        MainWindow window;
        window.client()->setPort(peer.port());
        auto* act = window.findChild<QAction*>(action);
        QVERIFY(act);
        act->trigger();
        QCOMPARE(act->text(), checkedText);
        QTRY_COMPARE(peer.closed.size(), 1);
        QCOMPARE(peer.closed.at(0), firstSend);
        act->trigger();
        QCOMPARE(act->text(), uncheckedText);
        QTRY_COMPARE(peer.closed.size(), 2);
        QCOMPARE(peer.closed.at(1), secondSend);
    }

    void sendButtonSendsPosition()
    {
        MessageCollector peer;
        MainWindow window;
        window.client()->setPort(peer.port());
        window.findChild<QLineEdit*>("xEdit")->setText("1");
        window.findChild<QLineEdit*>("yEdit")->setText("2");
        window.findChild<QLineEdit*>("zEdit")->setText("3");
        QTest::mouseClick(window.findChild<QPushButton*>("sendButton"), Qt::LeftButton);
        QTRY_COMPARE(peer.closed.size(), 1);
        QCOMPARE(peer.closed.first().toHex(), hex("1f000000050000000a0031002c0032002c0033").toHex());
    }

    void modeIndexSelectsFlightMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("id");
        QTest::newRow("Stabilize") << 0 << 17;
        QTest::newRow("Loiter") << 1 << 18;
        QTest::newRow("Guided") << 2 << 19;
        QTest::newRow("RTL") << 3 << 20;
        QTest::newRow("Land") << 4 << 21;
        QTest::newRow("unexpected 7") << 7 << 18;
        QTest::newRow("unexpected -1") << -1 << 18;
    }
    void modeIndexSelectsFlightMode()
    {
        QFETCH(int, mode);
        QFETCH(int, id);
        MessageCollector peer;
        MainWindow window;
        window.client()->setPort(peer.port());
        window.setModeApm(mode);
        QTRY_COMPARE(peer.closed.size(), 1);
        QCOMPARE(peer.closed.first(), QByteArray(1, char(id)));
    }

    void trackerStatusReachesLampsAndAltitude()
    {
        MainWindow window;
        window.server()->setPort(0);
        window.findChild<QAction*>("startServerAction")->trigger();
        const quint16 port = window.server()->serverPort();
        auto* capture = window.findChild<LedIndicator*>("captureLamp");
        auto* tracking = window.findChild<LedIndicator*>("trackingLamp");
        auto* altitude = window.findChild<QLineEdit*>("altitudeEdit");

        sendPieces(port, {hex("7101")});
        QTRY_VERIFY(capture->isOn());
        // A refusal leaves the lamp as it was.
        QTest::ignoreMessage(QtInfoMsg, "Error: SetStartCap.");
        sendPieces(port, {hex("7100")});
        QTRY_COMPARE(window.server()->connectionCount(), 0);
        QVERIFY(capture->isOn());
        sendPieces(port, {hex("7201")});
        QTRY_VERIFY(!capture->isOn());
        QVERIFY(!tracking->isOn());
        sendPieces(port, {hex("6e01")});
        QTRY_VERIFY(tracking->isOn());
        sendPieces(port, {hex("7d25")});
        QTRY_COMPARE(altitude->text(), QString("37 m"));
    }

    void dragCutsPatchAndOkSendsIt()
    {
        MessageCollector peer;
        MainWindow window;
        window.client()->setPort(peer.port());
        const QPixmap frame = gradientFrame();
        window.updateCurFrame(frame);
        auto* frameWindow = window.findChild<QWidget*>("frameWindow");
        auto* label = window.findChild<ImageLabel*>("frameLabel");
        QVERIFY(!frameWindow->isHidden());

        mouse(label, QEvent::MouseButtonPress, QPoint(50, 40));
        mouse(label, QEvent::MouseMove, QPoint(30, 20));
        // The rubber band is drawn on a copy; the frame itself stays clean.
        QCOMPARE(label->pixmap(Qt::ReturnByValue).toImage().pixel(40, 19), qRgb(150, 150, 150));
        QCOMPARE(frame.toImage().pixel(40, 19) == qRgb(150, 150, 150), false);
        mouse(label, QEvent::MouseButtonRelease, QPoint(10, 10));

        QCOMPARE(window.currentPatch().size(), QSize(40, 30));
        QCOMPARE(window.currentPatch().toImage(), frame.copy(10, 10, 40, 30).toImage());
        QCOMPARE(label->pixmap(Qt::ReturnByValue).size(), QSize(40, 30));

        QTest::mouseClick(frameWindow->findChild<QPushButton*>("okButton"), Qt::LeftButton);
        QVERIFY(frameWindow->isHidden());
        QTRY_COMPARE(peer.closed.size(), 1);
        WireParser parser(&WireCodec::requestForm);
        parser.append(peer.closed.first());
        WireMessage message;
        QCOMPARE(parser.next(message), WireParser::Result::Message);
        QCOMPARE(message.id, quint8(29));
        QCOMPARE(QImage::fromData(message.data, "JPG").size(), QSize(40, 30));
    }

    void cancelRestoresFrame()
    {
        MainWindow window;
        window.updateCurFrame(gradientFrame());
        auto* label = window.findChild<ImageLabel*>("frameLabel");
        mouse(label, QEvent::MouseButtonPress, QPoint(100, 100));
        mouse(label, QEvent::MouseButtonRelease, QPoint(150, 120));
        QCOMPARE(label->pixmap(Qt::ReturnByValue).size(), QSize(50, 20));
        QTest::mouseClick(window.findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
        QCOMPARE(label->pixmap(Qt::ReturnByValue).size(), QSize(320, 240));
    }

    // A click without a drag selects nothing; OK must not send the whole
    // frame (an empty rectangle copies everything) or an empty image.
    void clickWithoutDragSendsNothing()
    {
        MessageCollector peer;
        MainWindow window;
        window.client()->setPort(peer.port());
        window.updateCurFrame(gradientFrame());
        auto* label = window.findChild<ImageLabel*>("frameLabel");
        mouse(label, QEvent::MouseButtonPress, QPoint(60, 60));
        mouse(label, QEvent::MouseButtonRelease, QPoint(60, 60));
        QVERIFY(window.currentPatch().isNull());
        QTest::ignoreMessage(QtInfoMsg, "No patch selected.");
        window.onOkFrameWidget();
        QVERIFY(!window.findChild<QWidget*>("frameWindow")->isHidden());
        // The next message is the only one the peer sees.
        window.client()->onRqstFrame();
        QTRY_COMPARE(peer.closed.size(), 1);
        QCOMPARE(peer.closed.first(), hex("1c"));
    }

    void dragBeyondFrameIsClipped()
    {
        MainWindow window;
        window.updateCurFrame(gradientFrame());
        auto* label = window.findChild<ImageLabel*>("frameLabel");
        mouse(label, QEvent::MouseButtonPress, QPoint(300, 220));
        mouse(label, QEvent::MouseButtonRelease, QPoint(400, 300));
        QCOMPARE(window.currentPatch().size(), QSize(20, 20));
    }

    void hintStaysBesideThePointer_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("right");
        QTest::newRow("left half: hint to the right") << 50 << 50 << 169;
        QTest::newRow("right half: hint to the left") << 200 << 80 << 199;
        QTest::newRow("just past the middle") << 161 << 41 << 160;
    }
    void hintStaysBesideThePointer()
    {
        QFETCH(int, x);
        QFETCH(int, left);
        QFETCH(int, right);
        MainWindow window;
        QPixmap white(320, 240);
        white.fill(Qt::white);
        window.updateCurFrame(white);
        auto* label = window.findChild<ImageLabel*>("frameLabel");
        mouse(label, QEvent::MouseButtonPress, QPoint(x, 100));
        const QImage shown = label->pixmap(Qt::ReturnByValue).toImage();
        const QPair<int, int> ink = inkColumns(shown, 80, 99);
        QVERIFY2(ink.first >= left && ink.second <= right && ink.first >= 0,
                 qPrintable(QString("ink in columns %1..%2").arg(ink.first).arg(ink.second)));
        // Nothing outside the box's rows.
        QCOMPARE(inkColumns(shown, 100, 239).first, -1);
        QCOMPARE(inkColumns(shown, 0, 79).first, -1);
    }

    void newFrameReplacesSelection()
    {
        MainWindow window;
        window.updateCurFrame(gradientFrame());
        auto* label = window.findChild<ImageLabel*>("frameLabel");
        mouse(label, QEvent::MouseButtonPress, QPoint(10, 10));
        mouse(label, QEvent::MouseButtonRelease, QPoint(30, 30));
        QVERIFY(!window.currentPatch().isNull());
        QPixmap next(160, 120);
        next.fill(Qt::black);
        window.updateCurFrame(next);
        QCOMPARE(label->pixmap(Qt::ReturnByValue).size(), QSize(160, 120));
        QVERIFY(window.currentPatch().isNull());
    }

private:
    QScopedPointer<QTemporaryDir> m_dir;
};

QTEST_MAIN(TestCorvaneWindow)
#include "tst_corvanewindow.moc"
