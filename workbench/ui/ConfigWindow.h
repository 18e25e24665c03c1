#pragma once

#include <QMainWindow>

class QPushButton;

// The "Scan Settings" window.
class ConfigWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit ConfigWindow(QWidget* parent = nullptr);

    QPushButton* saveButton() const { return m_okButton; }

private:
    QPushButton* m_okButton;
};
