#pragma once

#include <QMainWindow>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
struct ScanSettings;

// The "Scan Settings" window: edits the program-wide scan settings record.
// Built once; closing only hides it.
class ConfigWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit ConfigWindow(QWidget* parent = nullptr);

    QPushButton* saveButton() const { return m_okButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }

    // True from construction until the window's first close.
    static bool isOpenFlagSet();

    // Fills the widgets from the record.
    void showSettings(const ScanSettings& s);
    // Copies every widget into the record and closes the window.
    void apply(ScanSettings& s);
    // The "Image Folder" edit, written by the image set operations too.
    void setImageFolder(const QString& folder);

    QLineEdit* numberEdit(const QString& label) const;
    QComboBox* choiceBox(const QString& label) const;
    QCheckBox* displayOutputBox() const { return m_displayOutput; }
    QLineEdit* imageFolderEdit() const { return m_imageFolder; }
    QLineEdit* syncFolderEdit() const { return m_syncFolder; }

public slots:
    void browseSyncFolder();
    void browseImageFolder();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLineEdit* m_numbers[9];
    QComboBox* m_choices[5];
    QCheckBox* m_displayOutput;
    QLineEdit* m_imageFolder;
    QLineEdit* m_syncFolder;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
};
