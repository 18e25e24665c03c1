#include "scene/view/GraphicsWindowQt.h"

#include "scene/view/GLWidget.h"

#include <QOpenGLContext>

#include <osg/DisplaySettings>

GraphicsWindowQt::GraphicsWindowQt(osg::GraphicsContext::Traits* traits, QWidget* parent)
    : osgViewer::GraphicsWindowEmbedded(traits)
{
    m_widget = new GLWidget(this, parent);
}

GraphicsWindowQt::~GraphicsWindowQt() = default;

osg::ref_ptr<osg::GraphicsContext::Traits> GraphicsWindowQt::defaultTraits()
{
    osg::DisplaySettings* ds = osg::DisplaySettings::instance().get();
    osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits(ds);
    traits->windowName = "";
    traits->windowDecoration = false;
    traits->x = 0;
    traits->y = 0;
    traits->width = 800;
    traits->height = 600;
    traits->doubleBuffer = true;
    traits->alpha = ds->getMinimumNumAlphaBits();
    traits->stencil = ds->getMinimumNumStencilBits();
    traits->sampleBuffers = ds->getMultiSamples() ? 1 : 0;
    traits->samples = ds->getNumMultiSamples();
    return traits;
}

bool GraphicsWindowQt::hasContext() const
{
    return m_widget && m_widget->context() && m_widget->context()->isValid();
}

bool GraphicsWindowQt::valid() const
{
    return !m_widget.isNull();
}

bool GraphicsWindowQt::makeCurrentImplementation()
{
    // Without a context (no display, offscreen platform) OSG must not issue
    // GL calls at all: reporting failure makes it skip its GL clean-up too.
    if (!hasContext())
        return false;
    // Also re-binds the widget's framebuffer object, which render-to-texture
    // cameras may have unbound.
    m_widget->makeCurrent();
    return true;
}

bool GraphicsWindowQt::releaseContextImplementation()
{
    // Qt still needs the context after paintGL to compose the widget.
    return true;
}

void GraphicsWindowQt::swapBuffersImplementation()
{
    // QOpenGLWidget composes its framebuffer object itself.
}

void GraphicsWindowQt::grabFocus()
{
    if (m_widget)
        m_widget->setFocus(Qt::ActiveWindowFocusReason);
}

void GraphicsWindowQt::grabFocusIfPointerInWindow()
{
    if (m_widget && m_widget->underMouse())
        m_widget->setFocus(Qt::ActiveWindowFocusReason);
}

void GraphicsWindowQt::raiseWindow()
{
    if (m_widget)
        m_widget->raise();
}

void GraphicsWindowQt::requestRedraw()
{
    if (m_widget)
        m_widget->update();
}
