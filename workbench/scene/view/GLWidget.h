#pragma once

#include <QOpenGLWidget>

#include <osg/observer_ptr>
#include <osgGA/GUIEventAdapter>

#include <functional>

class GraphicsWindowQt;
class QInputEvent;

// The Qt side of the OSG graphics-window adapter: a QOpenGLWidget that turns
// Qt input into osgGA events on its graphics window's event queue and hands
// every paintGL to a render callback (the viewer's frame).
class GLWidget : public QOpenGLWidget
{
    Q_OBJECT
public:
    explicit GLWidget(GraphicsWindowQt* window, QWidget* parent = nullptr);

    // Called inside paintGL with the context current and the widget's
    // framebuffer object bound.
    void setRenderCallback(std::function<void()> callback) { m_render = std::move(callback); }

    // Qt -> osgGA translations, kept public so handlers and tests agree on them.
    static int osgButton(Qt::MouseButton button);
    static int osgModKeyMask(Qt::KeyboardModifiers modifiers);
    // Returns {key, unmodified key} as osgGA key symbols.
    static std::pair<int, int> osgKey(int qtKey, const QString& text, Qt::KeyboardModifiers modifiers);

    // Number of frames rendered through paintGL; lets callers see whether GL works.
    quint64 renderedFrames() const { return m_frames; }

protected:
    void initializeGL() override;
    void paintGL() override;
    void resizeEvent(QResizeEvent* event) override;

    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void setModifiers(QInputEvent* event);
    void sendResize();
    qreal scale() const;

    osg::observer_ptr<GraphicsWindowQt> m_window;
    std::function<void()> m_render;
    quint64 m_frames = 0;
};
