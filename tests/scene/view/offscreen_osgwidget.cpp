#include <QtTest>

#include "scene/view/GLWidget.h"
#include "scene/view/GraphicsWindowQt.h"
#include "scene/view/OsgWidget.h"

// The main window's widget tests run on Qt's offscreen platform, where an
// OpenGL context may or may not be available. The view must live there.
class TestOsgWidgetOffscreen : public QObject
{
    Q_OBJECT
private slots:
    void constructShowAndDestroy()
    {
        QTemporaryDir home;
        qputenv("HOME", home.path().toLocal8Bit());
        auto* w = new OsgWidget(osgViewer::ViewerBase::SingleThreaded, nullptr);
        w->resize(320, 240);
        w->show();
        // Let the 1 ms frame timer and the paint events run for a while.
        QTest::qWait(100);
        w->showTop();
        w->createBookmark();
        w->goToBookmark(0);
        w->selectManipulator(1);
        const bool captured = w->captureScreen();
        // Without a context nothing is written and nothing is claimed.
        QCOMPARE(captured, w->graphicsWindow()->hasContext());
        QCOMPARE(QFile::exists(OsgWidget::screenshotPath()), captured);
        delete w;
    }

    void destroyWithoutShowing()
    {
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        QCOMPARE(w.glWidget()->renderedFrames(), quint64(0));
        QVERIFY(!w.loadBundle("/nonexistent/none.nvm", true));
        QCOMPARE(w.getRoot()->getNumChildren(), 0u);
    }
};

QTEST_MAIN(TestOsgWidgetOffscreen)
#include "offscreen_osgwidget.moc"
