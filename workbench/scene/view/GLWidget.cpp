#include "scene/view/GLWidget.h"

#include "scene/view/GraphicsWindowQt.h"

#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSurfaceFormat>
#include <QWheelEvent>

#include <osgGA/EventQueue>

using osgGA::GUIEventAdapter;

namespace
{

const QHash<int, int>& specialKeys()
{
    static const QHash<int, int> map = {
        {Qt::Key_Escape, GUIEventAdapter::KEY_Escape},
        {Qt::Key_Delete, GUIEventAdapter::KEY_Delete},
        {Qt::Key_Home, GUIEventAdapter::KEY_Home},
        {Qt::Key_Enter, GUIEventAdapter::KEY_KP_Enter},
        {Qt::Key_End, GUIEventAdapter::KEY_End},
        {Qt::Key_Return, GUIEventAdapter::KEY_Return},
        {Qt::Key_PageUp, GUIEventAdapter::KEY_Page_Up},
        {Qt::Key_PageDown, GUIEventAdapter::KEY_Page_Down},
        {Qt::Key_Left, GUIEventAdapter::KEY_Left},
        {Qt::Key_Right, GUIEventAdapter::KEY_Right},
        {Qt::Key_Up, GUIEventAdapter::KEY_Up},
        {Qt::Key_Down, GUIEventAdapter::KEY_Down},
        {Qt::Key_Backspace, GUIEventAdapter::KEY_BackSpace},
        {Qt::Key_Tab, GUIEventAdapter::KEY_Tab},
        {Qt::Key_Backtab, GUIEventAdapter::KEY_Tab},
        {Qt::Key_Space, GUIEventAdapter::KEY_Space},
        {Qt::Key_Alt, GUIEventAdapter::KEY_Alt_L},
        {Qt::Key_Shift, GUIEventAdapter::KEY_Shift_L},
        {Qt::Key_Control, GUIEventAdapter::KEY_Control_L},
        {Qt::Key_Meta, GUIEventAdapter::KEY_Meta_L},
        {Qt::Key_Super_L, GUIEventAdapter::KEY_Super_L},
        {Qt::Key_Super_R, GUIEventAdapter::KEY_Super_R},
        {Qt::Key_CapsLock, GUIEventAdapter::KEY_Caps_Lock},
        {Qt::Key_NumLock, GUIEventAdapter::KEY_Num_Lock},
        {Qt::Key_ScrollLock, GUIEventAdapter::KEY_Scroll_Lock},
        {Qt::Key_Pause, GUIEventAdapter::KEY_Pause},
        {Qt::Key_Print, GUIEventAdapter::KEY_Print},
        {Qt::Key_Insert, GUIEventAdapter::KEY_Insert},
        {Qt::Key_Menu, GUIEventAdapter::KEY_Menu},
        {Qt::Key_F1, GUIEventAdapter::KEY_F1},
        {Qt::Key_F2, GUIEventAdapter::KEY_F2},
        {Qt::Key_F3, GUIEventAdapter::KEY_F3},
        {Qt::Key_F4, GUIEventAdapter::KEY_F4},
        {Qt::Key_F5, GUIEventAdapter::KEY_F5},
        {Qt::Key_F6, GUIEventAdapter::KEY_F6},
        {Qt::Key_F7, GUIEventAdapter::KEY_F7},
        {Qt::Key_F8, GUIEventAdapter::KEY_F8},
        {Qt::Key_F9, GUIEventAdapter::KEY_F9},
        {Qt::Key_F10, GUIEventAdapter::KEY_F10},
        {Qt::Key_F11, GUIEventAdapter::KEY_F11},
        {Qt::Key_F12, GUIEventAdapter::KEY_F12},
    };
    return map;
}

} // namespace

GLWidget::GLWidget(GraphicsWindowQt* window, QWidget* parent) : QOpenGLWidget(parent), m_window(window)
{
    const osg::GraphicsContext::Traits* traits = window ? window->getTraits() : nullptr;
    if (traits) {
        QSurfaceFormat format = QSurfaceFormat::defaultFormat();
        format.setDepthBufferSize(int(traits->depth));
        format.setAlphaBufferSize(int(traits->alpha));
        format.setStencilBufferSize(int(traits->stencil));
        format.setSamples(traits->sampleBuffers ? int(traits->samples) : 0);
        format.setSwapBehavior(traits->doubleBuffer ? QSurfaceFormat::DoubleBuffer
                                                    : QSurfaceFormat::SingleBuffer);
        setFormat(format);
    }
    setFocusPolicy(Qt::WheelFocus);
    // Passive motion reaches handlers too (hover pickers, popups).
    setMouseTracking(true);
    setMinimumSize(1, 1);
}

int GLWidget::osgButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::MiddleButton:
        return 2;
    case Qt::RightButton:
        return 3;
    default:
        return 0;
    }
}

int GLWidget::osgModKeyMask(Qt::KeyboardModifiers modifiers)
{
    int mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= GUIEventAdapter::MODKEY_SHIFT;
    if (modifiers & Qt::ControlModifier)
        mask |= GUIEventAdapter::MODKEY_CTRL;
    if (modifiers & Qt::AltModifier)
        mask |= GUIEventAdapter::MODKEY_ALT;
    if (modifiers & Qt::MetaModifier)
        mask |= GUIEventAdapter::MODKEY_META;
    if (modifiers & Qt::KeypadModifier)
        mask |= GUIEventAdapter::MODKEY_NUM_LOCK;
    return mask;
}

std::pair<int, int> GLWidget::osgKey(int qtKey, const QString& text, Qt::KeyboardModifiers modifiers)
{
    const auto special = specialKeys().constFind(qtKey);
    if (special != specialKeys().constEnd())
        return {special.value(), special.value()};

    // With Control held Qt's text is a control character ("\x01" for A);
    // handlers expect the letter, as X11 windows deliver it.
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
        const int lower = 'a' + (qtKey - Qt::Key_A);
        const bool upper = (modifiers & Qt::ShiftModifier) != 0;
        return {upper ? lower - 'a' + 'A' : lower, lower};
    }
    if (!text.isEmpty()) {
        const ushort c = text.at(0).unicode();
        if (c >= 0x20 && c != 0x7f)
            return {int(c), qtKey >= 0x20 && qtKey < 0x7f ? qtKey : int(c)};
    }
    return {qtKey, qtKey};
}

qreal GLWidget::scale() const
{
    return devicePixelRatioF();
}

void GLWidget::setModifiers(QInputEvent* event)
{
    if (!m_window.valid())
        return;
    m_window->getEventQueue()->getCurrentEventState()->setModKeyMask(osgModKeyMask(event->modifiers()));
}

void GLWidget::initializeGL()
{
    // The first resize may have come before the context existed.
    sendResize();
}

void GLWidget::paintGL()
{
    if (!m_window.valid() || !m_render)
        return;
    // OSG returns to this framebuffer after drawing into its own ones.
    m_window->setDefaultFboId(defaultFramebufferObject());
    m_render();
    // Qt composes this widget's framebuffer as premultiplied colour; blended
    // geometry (the half-transparent frustums) leaves alpha below the colour
    // values there, which composes into wrong colours. The view is opaque.
    QOpenGLFunctions* gl = context()->functions();
    gl->glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    gl->glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    gl->glClear(GL_COLOR_BUFFER_BIT);
    gl->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    ++m_frames;
}

void GLWidget::sendResize()
{
    if (!m_window.valid())
        return;
    const int w = qRound(width() * scale());
    const int h = qRound(height() * scale());
    // A zero size would turn the projection's aspect ratio into inf/NaN.
    if (w < 1 || h < 1)
        return;
    const osg::GraphicsContext::Traits* traits = m_window->getTraits();
    if (traits && traits->width == w && traits->height == h)
        return;
    m_window->resized(0, 0, w, h);
    m_window->getEventQueue()->windowResize(0, 0, w, h);
}

void GLWidget::resizeEvent(QResizeEvent* event)
{
    QOpenGLWidget::resizeEvent(event);
    sendResize();
}

void GLWidget::keyPressEvent(QKeyEvent* event)
{
    if (!m_window.valid())
        return;
    setModifiers(event);
    const auto key = osgKey(event->key(), event->text(), event->modifiers());
    m_window->getEventQueue()->keyPress(key.first, key.second);
}

void GLWidget::keyReleaseEvent(QKeyEvent* event)
{
    if (!m_window.valid())
        return;
    if (event->isAutoRepeat()) {
        event->ignore();
        return;
    }
    setModifiers(event);
    const auto key = osgKey(event->key(), event->text(), event->modifiers());
    m_window->getEventQueue()->keyRelease(key.first, key.second);
}

void GLWidget::mousePressEvent(QMouseEvent* event)
{
    if (!m_window.valid())
        return;
    setModifiers(event);
    const qreal s = scale();
    m_window->getEventQueue()->mouseButtonPress(float(event->x() * s), float(event->y() * s),
                                                osgButton(event->button()));
}

void GLWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_window.valid())
        return;
    setModifiers(event);
    const qreal s = scale();
    m_window->getEventQueue()->mouseButtonRelease(float(event->x() * s), float(event->y() * s),
                                                  osgButton(event->button()));
}

void GLWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (!m_window.valid())
        return;
    setModifiers(event);
    const qreal s = scale();
    m_window->getEventQueue()->mouseDoubleButtonPress(float(event->x() * s), float(event->y() * s),
                                                      osgButton(event->button()));
}

void GLWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_window.valid())
        return;
    setModifiers(event);
    const qreal s = scale();
    m_window->getEventQueue()->mouseMotion(float(event->x() * s), float(event->y() * s));
}

void GLWidget::wheelEvent(QWheelEvent* event)
{
    if (!m_window.valid())
        return;
    setModifiers(event);
    const QPoint delta = event->angleDelta();
    GUIEventAdapter::ScrollingMotion motion;
    if (delta.y() != 0)
        motion = delta.y() > 0 ? GUIEventAdapter::SCROLL_UP : GUIEventAdapter::SCROLL_DOWN;
    else if (delta.x() != 0)
        motion = delta.x() > 0 ? GUIEventAdapter::SCROLL_LEFT : GUIEventAdapter::SCROLL_RIGHT;
    else
        return;
    m_window->getEventQueue()->mouseScroll(motion);
}
