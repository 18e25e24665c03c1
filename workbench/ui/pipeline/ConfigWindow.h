#pragma once

#include <QMainWindow>

class QCheckBox;
class QComboBox;
class QLabel;
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
    // Copies every widget into the record and closes the window. A number
    // field that holds no number is refused: the record stays as it was, the
    // window stays open and says which field, and so does error.
    bool apply(ScanSettings& s, QString* error = nullptr);
    // The number a field's text stands for. The decimal separator may be a
    // point or, as a German desktop types it, a comma; the value is the same
    // on every desktop. False for anything else (empty, "-", "1.000,5").
    static bool numberFromText(const QString& text, double* value);
    // The "Image Folder" edit, written by the image set operations too.
    void setImageFolder(const QString& folder);

    QLineEdit* numberEdit(const QString& label) const;
    QComboBox* choiceBox(const QString& label) const;
    QCheckBox* displayOutputBox() const { return m_displayOutput; }
    QLineEdit* imageFolderEdit() const { return m_imageFolder; }
    QLineEdit* syncFolderEdit() const { return m_syncFolder; }
    // Where a refused field is named.
    QLabel* problemLabel() const { return m_problem; }

public slots:
    void browseSyncFolder();
    void browseImageFolder();
    // Puts the window back to the record's values and closes it.
    void cancel();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLineEdit* m_numbers[9];
    QComboBox* m_choices[5];
    QCheckBox* m_displayOutput;
    QLineEdit* m_imageFolder;
    QLineEdit* m_syncFolder;
    QLabel* m_problem;
    bool m_applying = false;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
};
