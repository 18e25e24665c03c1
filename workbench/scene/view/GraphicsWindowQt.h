#pragma once

#include <QPointer>

#include <osgViewer/GraphicsWindow>

class GLWidget;
class QWidget;

// An embedded OSG graphics window whose pixels and input come from a Qt
// QOpenGLWidget (GLWidget). OSG renders only from inside the widget's paintGL,
// where Qt has already made the context current and bound the widget's
// framebuffer object, so making current and swapping are forwarded or no-ops.
class GraphicsWindowQt : public osgViewer::GraphicsWindowEmbedded
{
public:
    // The widget is created here and owned by the Qt parent.
    explicit GraphicsWindowQt(osg::GraphicsContext::Traits* traits, QWidget* parent = nullptr);

    // Traits of the main view: x 0, y 0, 800 x 600, no decoration, double
    // buffered, alpha/stencil/multisampling taken from osg::DisplaySettings.
    static osg::ref_ptr<osg::GraphicsContext::Traits> defaultTraits();

    GLWidget* getGLWidget() const { return m_widget.data(); }

    // True once Qt has managed to create an OpenGL context for the widget.
    bool hasContext() const;

    bool valid() const override;
    bool makeCurrentImplementation() override;
    bool releaseContextImplementation() override;
    void swapBuffersImplementation() override;
    void grabFocus() override;
    void grabFocusIfPointerInWindow() override;
    void raiseWindow() override;
    void requestRedraw() override;
    void requestContinuousUpdate(bool) override {}

    const char* className() const override { return "GraphicsWindowQt"; }

protected:
    ~GraphicsWindowQt() override;

private:
    QPointer<GLWidget> m_widget;
};
