#pragma once

#include <QWidget>

class OsgWidget;
class QDoubleSpinBox;
class QPushButton;

// The "Select Tools" panel: places, sizes and turns the selection box and
// starts the extraction of the points inside it. Its box controls drive the
// 3D view's box (steer); the main window takes its two buttons.
class SelectionToolWidget : public QWidget
{
    Q_OBJECT
public:
    explicit SelectionToolWidget(QWidget* parent = nullptr);

    QPushButton* activateButton() const { return m_activate; }
    QPushButton* currentPosButton() const { return m_currentPos; }
    QPushButton* extractButton() const { return m_extract; }
    QDoubleSpinBox* xBox() const { return m_x; }
    QDoubleSpinBox* yBox() const { return m_y; }
    QDoubleSpinBox* zBox() const { return m_z; }
    QDoubleSpinBox* rotateBox() const { return m_rotate; }
    QDoubleSpinBox* widthBox() const { return m_width; }
    QDoubleSpinBox* depthBox() const { return m_depth; }
    QDoubleSpinBox* heightBox() const { return m_height; }

    // Every value and the on/off button drive the view's selection box.
    void steer(OsgWidget* view);
    // Shows a box position; each changed value is sent on like a typed one.
    void setBoxPosition(double x, double y, double z, double rotation);

private:
    QDoubleSpinBox* m_x;
    QDoubleSpinBox* m_y;
    QDoubleSpinBox* m_z;
    QDoubleSpinBox* m_rotate;
    QDoubleSpinBox* m_width;
    QDoubleSpinBox* m_depth;
    QDoubleSpinBox* m_height;
    QPushButton* m_activate;
    QPushButton* m_currentPos;
    QPushButton* m_extract;
};
