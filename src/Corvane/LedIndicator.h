#pragma once

#include <QBrush>
#include <QWidget>

// A round status lamp: green when on, red when off.
class LedIndicator : public QWidget
{
    Q_OBJECT
public:
    explicit LedIndicator(QWidget* parent = nullptr);

    bool isOn() const { return m_on; }

public slots:
    void switchToggle();
    void switchOn();
    void switchOff();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setState(bool on);

    bool m_on = false;
    QBrush m_onBrush;
    QBrush m_offBrush;
};
