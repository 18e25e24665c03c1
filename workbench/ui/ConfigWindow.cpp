#include "ConfigWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleValidator>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ScanSettings.h"

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

    auto* validator = new QDoubleValidator(-99999.99999, 99999.99999, 5, this);
    validator->setNotation(QDoubleValidator::StandardNotation);
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

    m_okButton = new QPushButton(tr("OK"), central);
    m_okButton->setFixedSize(100, 25);
    m_cancelButton = new QPushButton(tr("Cancel"), central);
    m_cancelButton->setFixedSize(100, 25);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);
    grid->addLayout(buttons, row, 0, 1, 3);

    connect(browseImage, SIGNAL(clicked()), this, SLOT(browseImageFolder()));
    connect(browseSync, SIGNAL(clicked()), this, SLOT(browseSyncFolder()));
    connect(m_cancelButton, &QPushButton::clicked, this, &QWidget::close);

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
}

void ConfigWindow::apply(ScanSettings& s)
{
    for (int i = 0; i < 9; ++i)
        *numberField(s, i) = m_numbers[i]->text().toDouble(); // not a number gives 0
    for (int i = 0; i < 5; ++i)
        *choiceField(s, i) = m_choices[i]->currentText();
    s.displayOutput = m_displayOutput->isChecked();
    s.imageFolder = m_imageFolder->text();
    s.syncFolder = m_syncFolder->text();
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

void ConfigWindow::browseSyncFolder()
{
    m_syncFolder->setText(QFileDialog::getExistingDirectory(this, tr("Set Sync Folder"), QDir::currentPath(),
                                                            QFileDialog::ShowDirsOnly));
}

void ConfigWindow::browseImageFolder()
{
    m_imageFolder->setText(QFileDialog::getExistingDirectory(this, tr("Set Image Folder"), QDir::currentPath(),
                                                             QFileDialog::ShowDirsOnly));
}

void ConfigWindow::closeEvent(QCloseEvent* event)
{
    g_openFlag = false;
    QMainWindow::closeEvent(event);
}
