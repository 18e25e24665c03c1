#include "scene/view/ScreenCapture.h"

#include "core/log/LogSink.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <osg/Image>
#include <osgDB/WriteFile>

#include <cstdio>
#include <cstring>

#include "core/platform/PlatformPaths.h"
#include "scene/view/GLWidget.h"
#include "scene/view/GraphicsWindowQt.h"

QString ScreenCapture::screenshotPath()
{
    return PlatformPaths::fromWindowsPath(QStringLiteral("C:/Orvalis/screenshot.bmp"));
}

bool ScreenCapture::capture(GLWidget* widget, GraphicsWindowQt* window, osg::Image& image)
{
    if (!window->hasContext() && !widget->isVisible()) {
        LogSink::printf(LogLevel::Error, "No rendered frame to capture\n");
        return false;
    }
    // Renders a fresh frame and reads it back from the widget's framebuffer.
    const QImage frame = widget->grabFramebuffer().convertToFormat(QImage::Format_RGB888);
    if (frame.isNull() || !window->hasContext()) {
        LogSink::printf(LogLevel::Error, "No rendered frame to capture\n");
        return false;
    }
    const int width = frame.width();
    const int height = frame.height();
    if (image.s() != width || image.t() != height)
        image.allocateImage(width, height, 1, GL_RGB, GL_UNSIGNED_BYTE);
    // OSG images start at the bottom row.
    for (int row = 0; row < height; ++row)
        std::memcpy(image.data(0, height - 1 - row), frame.constScanLine(row), size_t(width) * 3);
    image.dirty();

    const QString path = screenshotPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        LogSink::printf(LogLevel::Error, "Cannot create the folder of %s\n", path.toLocal8Bit().constData());
        return false;
    }
    if (!osgDB::writeImageFile(image, QFile::encodeName(path).toStdString()))
        return false;
    LogSink::printf(LogLevel::Debug, "passed\n");
    return true;
}
