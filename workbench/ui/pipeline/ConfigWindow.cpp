#include "ui/pipeline/ConfigWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "core/project/ScanSettings.h"

#include <cmath>

namespace {
bool g_openFlag = false;

const char* const numberLabels[9] = {"Fx", "Fy", "Cx", "Cy", "R1", "R2", "R3", "T1", "T2"};
const char* const choiceLabels[5] = {"Undistort Method", "Feature Detector", "Feature Matcher",
                                     "Bundle Adjustment", "Dense Reconstruction"};

double* numberField(ScanSettings& s, int i)
{
    double* fields[9] = {&s.fx, &s.fy, &s.cx, &s.cy, &s.r1, &s.r2, &s.r3, &s.t1, &s.t2};
    return fields[i];
}
QString* choiceField(ScanSettings& s, int i)
{
    QString* fields[5] = {&s.undistortMethod, &s.featureDetector, &s.featureMatcher, &s.bundleAdjustment,
                          &s.denseReconstruction};
    return fields[i];
}
const QStringList& choicesOf(int i)
{
    switch (i) {
    case 0: return ScanSettings::undistortChoices();
    case 1: return ScanSettings::detectorChoices();
    case 2: return ScanSettings::matcherChoices();
    case 3: return ScanSettings::bundleAdjustmentChoices();
    default: return ScanSettings::denseChoices();
    }
}
} // namespace

ConfigWindow::ConfigWindow(QWidget* parent) : QMainWindow(parent)
{
    auto* central = new QWidget(this);
    auto* grid = new QGridLayout(central);
    int row = 0;
    auto addRow = [&](const char* label, QWidget* editor, QWidget* extra = nullptr) {
        grid->addWidget(new QLabel(tr(label), central), row, 0);
        grid->addWidget(editor, row, 1);
        if (extra)
            grid->addWidget(extra, row, 2);
        ++row;
    };

    for (int i = 0; i < 5; ++i) {
        m_choices[i] = new QComboBox(central);
        m_choices[i]->setFixedSize(100, 25);
        m_choices[i]->addItems(choicesOf(i));
        addRow(choiceLabels[i], m_choices[i]);
    }
    m_displayOutput = new QCheckBox(central);
    m_displayOutput->setFixedSize(100, 25);
    addRow("Display Output", m_displayOutput);

    // Digits, a sign, points and commas and an exponent, the same on every
    // desktop (a locale's validator took "-0,25" on a German one and the
    // conversion then read it as 0). What is no number ("1.000,5") is
    // refused on apply, where the user is told.
    auto* validator = new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[+-]?[0-9.,]*([eE][+-]?[0-9]*)?")), this);
    for (int i = 0; i < 9; ++i) {
        m_numbers[i] = new QLineEdit(central);
        m_numbers[i]->setFixedSize(100, 25);
        m_numbers[i]->setValidator(validator);
        addRow(numberLabels[i], m_numbers[i]);
    }

    m_imageFolder = new QLineEdit(central);
    m_imageFolder->setFixedSize(200, 25);
    auto* browseImage = new QPushButton(tr("Browse"), central);
    browseImage->setFixedSize(100, 25);
    addRow("Image Folder", m_imageFolder, browseImage);
    m_syncFolder = new QLineEdit(central);
    m_syncFolder->setFixedSize(200, 25);
    auto* browseSync = new QPushButton(tr("Browse"), central);
    browseSync->setFixedSize(100, 25);
    addRow("Sync Folder", m_syncFolder, browseSync);

    m_problem = new QLabel(central);
    m_problem->setStyleSheet(QStringLiteral("color: #b00000"));
    m_problem->setWordWrap(true);
    grid->addWidget(m_problem, row++, 0, 1, 3);

    m_okButton = new QPushButton(tr("OK"), central);
    m_okButton->setFixedSize(100, 25);
    m_cancelButton = new QPushButton(tr("Cancel"), central);
    m_cancelButton->setFixedSize(100, 25);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);
    grid->addLayout(buttons, row, 0, 1, 3);

    connect(browseImage, &QPushButton::clicked, this, &ConfigWindow::browseImageFolder);
    connect(browseSync, &QPushButton::clicked, this, &ConfigWindow::browseSyncFolder);
    connect(m_cancelButton, &QPushButton::clicked, this, &ConfigWindow::cancel);

    setCentralWidget(central);
    showSettings(ScanSettings::global());
    setWindowTitle(tr("Scan Settings"));
    setFixedSize(500, 500);
    g_openFlag = true;
}

bool ConfigWindow::isOpenFlagSet()
{
    return g_openFlag;
}

void ConfigWindow::showSettings(const ScanSettings& constSettings)
{
    ScanSettings s = constSettings;
    for (int i = 0; i < 9; ++i)
        m_numbers[i]->setText(QString::number(*numberField(s, i), i < 4 ? 'f' : 'g', i < 4 ? 5 : 6));
    for (int i = 0; i < 5; ++i) {
        m_choices[i]->setCurrentIndex(0);
        m_choices[i]->setCurrentText(*choiceField(s, i));
    }
    m_displayOutput->setChecked(s.displayOutput);
    m_imageFolder->setText(s.imageFolder);
    m_syncFolder->setText(s.syncFolder);
    m_problem->clear();
}

bool ConfigWindow::numberFromText(const QString& text, double* value)
{
    QString t = text.trimmed();
    if (t.count(QLatin1Char(',')) == 1 && !t.contains(QLatin1Char('.')))
        t.replace(QLatin1Char(','), QLatin1Char('.'));
    if (t.contains(QLatin1Char(',')))
        return false;
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool ConfigWindow::apply(ScanSettings& s, QString* error)
{
    double numbers[9];
    for (int i = 0; i < 9; ++i) {
        if (numberFromText(m_numbers[i]->text(), &numbers[i]))
            continue;
        const QString problem =
            tr("%1: \"%2\" is not a number. Nothing applied.").arg(tr(numberLabels[i]), m_numbers[i]->text());
        m_problem->setText(problem);
        m_numbers[i]->setFocus(Qt::OtherFocusReason);
        m_numbers[i]->selectAll();
        if (error)
            *error = problem;
        return false;
    }
    m_problem->clear();
    for (int i = 0; i < 9; ++i)
        *numberField(s, i) = numbers[i];
    for (int i = 0; i < 5; ++i)
        *choiceField(s, i) = m_choices[i]->currentText();
    s.displayOutput = m_displayOutput->isChecked();
    s.imageFolder = m_imageFolder->text();
    s.syncFolder = m_syncFolder->text();
    m_applying = true;
    close();
    m_applying = false;
    return true;
}

void ConfigWindow::cancel()
{
    showSettings(ScanSettings::global());
    close();
}

void ConfigWindow::setImageFolder(const QString& folder)
{
    m_imageFolder->setText(folder);
}

QLineEdit* ConfigWindow::numberEdit(const QString& label) const
{
    for (int i = 0; i < 9; ++i)
        if (label == QLatin1String(numberLabels[i]))
            return m_numbers[i];
    return nullptr;
}

QComboBox* ConfigWindow::choiceBox(const QString& label) const
{
    for (int i = 0; i < 5; ++i)
        if (label == QLatin1String(choiceLabels[i]))
            return m_choices[i];
    return nullptr;
}

namespace
{

// A cancelled dialog gives an empty name: the folder that was there stays.
void browseInto(QWidget* parent, QLineEdit* edit, const QString& caption)
{
    const QString start =
        QDir(edit->text()).exists() && !edit->text().isEmpty() ? edit->text() : QDir::currentPath();
    const QString chosen =
        QFileDialog::getExistingDirectory(parent, caption, start, QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty())
        edit->setText(chosen);
}

} // namespace

void ConfigWindow::browseSyncFolder()
{
    browseInto(this, m_syncFolder, tr("Set Sync Folder"));
}

void ConfigWindow::browseImageFolder()
{
    browseInto(this, m_imageFolder, tr("Set Image Folder"));
}

void ConfigWindow::closeEvent(QCloseEvent* event)
{
    // Closed without "OK": what was typed is dropped, as with "Cancel".
    if (!m_applying)
        showSettings(ScanSettings::global());
    g_openFlag = false;
    QMainWindow::closeEvent(event);
}
