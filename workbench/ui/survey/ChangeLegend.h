#pragma once

#include <QString>
#include <QWidget>

// The legend of a change between surveys as the 3D view drapes it: the
// diverging ramp from -limit to +limit metres with its ticks, ground taken
// away below, ground added above, and the two surveys it compares.
class ChangeLegend : public QWidget
{
    Q_OBJECT
public:
    explicit ChangeLegend(QWidget* parent = nullptr);

    void setChange(double limit, const QString& earlier, const QString& later);
    double limit() const { return m_limit; }
    QString title() const;
    QSize sizeHint() const override { return QSize(220, 260); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_limit = 0;
    QString m_earlier, m_later;
};
