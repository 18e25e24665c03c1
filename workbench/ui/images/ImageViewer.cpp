#include "ui/images/ImageViewer.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QToolBar>
#include <QTransform>
#include <QVBoxLayout>

#include <cmath>
#include <iostream>

#include "core/images/ExifScript.h"
#include "core/images/ExifXmlReader.h"
#include "ui/images/FeatureOverlay.h"
#include "ui/images/ImageLabel.h"
#include "scene/images/ImageMatchScene.h"
#include "ui/images/MyListWidget.h"
#include "scene/view/OsgWidget.h"
#include "core/platform/PlatformPaths.h"

namespace
{

enum class Kind { Toggled, Checkable, Plain, Triggered, CheckableTriggered };

struct ActionSpec {
    const char* text;
    const char* shortcut;
    const char* icon;
    const char* statusTip;
    Kind kind;
    const char* slot; // SLOT() encoding without its leading digit
};

// The viewer's actions in creation order.
const ActionSpec actionSpecs[] = {
    {"&Display Exif", "d", ":/images/exifExtract.png", "Display the Exif", Kind::Toggled, "toggleOverlay()"},
    {"&Display Feature Data", "f", ":/images/displayFeature.png", "Display the feature data", Kind::Toggled,
     "toggleSparseOverlay()"},
    {"&Display Normal Size", "Ctrl+S", ":images/zoomactual.png", "", Kind::Toggled,
     "normalSizetoToggle(bool)"},
    {"Full Screen", "", ":images/fullScreen.png", "", Kind::Toggled, "fullScreenToggle()"},
    {"&Rotate Left", "Ctrl+L", ":/images/rotateleft.png", "rotate left", Kind::Toggled,
     "rotateLeftClicked()"},
    {"&Rotate Right", "Ctrl+R", ":/images/rotateright.png", "rotate right", Kind::Toggled,
     "rotateRightClicked()"},
    {"&Rotate All Option", "Ctrl+A", ":/images/rotateCheck.jpg", "rotate All Option", Kind::Checkable,
     nullptr},
    {"&Draw Polyhedron", "", ":images/drawPolyhedron.jpg", "draw polyhedron", Kind::Plain, nullptr},
    // The two pick modes: checkable, so that the tool bar shows which is on.
    {"&Draw 2D feature", "", ":images/draw2Dfeature.png", "draw 2D feature", Kind::Checkable, nullptr},
    {"&Draw Line", "", ":images/drawLine.png", "draw line", Kind::Plain, nullptr},
    {"&Match Pixels", "", ":images/matchPixels.jpg", "draw line", Kind::Checkable, nullptr},
    {"&Find Sphere", "", ":images/findSphere.png", "draw line", Kind::Plain, nullptr},
    {"&Zoom in 25%", "Ctrl++", ":images/zoomin.png", "&Zoom In (25%)", Kind::Toggled, "zoomIn()"},
    {"&Zoom Out 25%", "Ctrl+-", ":images/zoomout.png", "& Zoom Out (25%)", Kind::Toggled, "zoomOut()"},
    {"&delete the image", "X", ":images/delete.png", "", Kind::Toggled, "deleteImage()"},
    {"&previous image", ",", ":/images/previous.png", "", Kind::Toggled, "previousActClicked()"},
    {"&next image", ".", ":/images/next.png", "", Kind::Toggled, "nextActClicked()"},
    {"&Exit", "Escape", nullptr, "", Kind::Triggered, "close()"},
    {"&Fit to Window", "Ctrl+F", nullptr, "", Kind::CheckableTriggered, "fitToWindow()"},
    {"&About", "", nullptr, "", Kind::Triggered, "about()"},
    {"Extract Shape", "E", nullptr, "", Kind::Triggered, "triggerExtractShape()"},
    {"Undo Selected Point", "Ctrl+U", nullptr, "", Kind::Triggered, "undoUserSelectFeature()"},
    {"&Print...", "", nullptr, "", Kind::Triggered, "print()"},
};

constexpr double zoomInLimit = 3.0;
constexpr double zoomOutLimit = 0.333;
constexpr int loupeMagnification = 3;
constexpr double featureSearchRadius = 100.0;

QString fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

} // namespace

ImageViewer::ImageViewer(const QString& fileName, MyListWidget* imageList, OsgWidget* sceneView,
                         QWidget* mainWindow, const QString& appDir)
    : QMainWindow(mainWindow, Qt::Window), m_fileName(fileName), m_displayName(fileNameOf(fileName)),
      m_appDir(appDir.isEmpty() ? QCoreApplication::applicationDirPath() : appDir), m_imageList(imageList),
      m_scene(sceneView)
{
    setAttribute(Qt::WA_DeleteOnClose);
    m_pens = {QPen(Qt::red, 4),
              QPen(Qt::blue, 3),
              QPen(Qt::white, 2),
              QPen(Qt::yellow, 1),
              QPen(Qt::yellow, 8),
              QPen(Qt::yellow, 1),
              QPen(Qt::green, 1),
              QPen(Qt::blue, 4),
              QPen(Qt::black, 4),
              QPen(),
              QPen()};
    createWidgets();
    createActions();
    createToolBars();
    m_actions.value("&Fit to Window")->setChecked(false);
    m_scaleFactor = 1.0;
    setWindowTitle(m_displayName);
    loadFile();
    showMaximized();
}

ImageViewer::~ImageViewer()
{
    if (m_label && !m_label->parent())
        delete m_label; // still out in full-screen mode
    if (m_exifProcess && m_exifProcess->state() != QProcess::NotRunning) {
        // Let a running extraction finish its XML file rather than cut it off.
        m_exifProcess->setParent(QCoreApplication::instance());
        connect(m_exifProcess, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), m_exifProcess,
                &QObject::deleteLater);
    }
}

void ImageViewer::createWidgets()
{
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    m_scroll = new QScrollArea;
    m_scroll->setBackgroundRole(QPalette::Base);
    m_scroll->setAlignment(Qt::AlignHCenter);
    m_scroll->setWidgetResizable(false);

    m_label = new ImageLabel;
    m_label->setBackgroundRole(QPalette::Base);
    m_label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    m_label->setScaledContents(true);
    m_label->setImageList(m_imageList);
    auto* overlay = new QHBoxLayout(m_label);
    overlay->setSizeConstraint(QLayout::SetNoConstraint); // the EXIF text must not hold the picture's size
    m_exifLabel = new QLabel;
    m_exifLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
    m_exifLabel->setTextFormat(Qt::RichText);
    m_exifLabel->setEnabled(false);
    overlay->addWidget(m_exifLabel);

    m_scroll->setWidget(m_label);
    m_scroll->viewport()->installEventFilter(this);
    layout->addWidget(m_scroll);
    setCentralWidget(central);

    connect(m_label, SIGNAL(mousePosition(QPointF, int)), this, SLOT(receiveMouseClick(QPointF, int)));
    connect(m_label, SIGNAL(mouseZoomPosition(QPointF, int)), this, SLOT(receiveMouseZoom(QPointF, int)));
    connect(m_label, &ImageLabel::fullScreenLeft, this, &ImageViewer::leaveLabelFullScreen);
    connect(m_label, &ImageLabel::listExhausted, this, [this] {
        m_label->setFileName(m_fileName);
        leaveLabelFullScreen();
        m_image.reset();
        close();
    });

    m_confirm = new QMessageBox(this);
    m_modeLabel = new QLabel;
    statusBar()->addPermanentWidget(m_modeLabel);
    updateModeText();
}

void ImageViewer::createActions()
{
    for (const ActionSpec& spec : actionSpecs) {
        auto* action = new QAction(tr(spec.text), this);
        if (spec.icon)
            action->setIcon(QIcon(QString::fromLatin1(spec.icon)));
        if (*spec.shortcut)
            action->setShortcut(QKeySequence(tr(spec.shortcut)));
        if (*spec.statusTip)
            action->setStatusTip(tr(spec.statusTip));
        action->setCheckable(spec.kind == Kind::Toggled || spec.kind == Kind::Checkable ||
                             spec.kind == Kind::CheckableTriggered);
        if (spec.slot) {
            const QByteArray slot = QByteArray("1") + spec.slot;
            const char* signal = spec.kind == Kind::Toggled ? SIGNAL(toggled(bool)) : SIGNAL(triggered());
            connect(action, signal, this, slot.constData());
        }
        m_actions.insert(QString::fromLatin1(spec.text), action);
    }
    m_actions.value("&Fit to Window")->setEnabled(false);
    connect(m_actions.value("&Match Pixels"), &QAction::toggled, this, [this](bool on) {
        setPickMode(on                                    ? PickMode::MatchPixels
                    : m_pickMode == PickMode::MatchPixels ? PickMode::None
                                                          : m_pickMode);
    });
    connect(m_actions.value("&Draw 2D feature"), &QAction::toggled, this, [this](bool on) {
        setPickMode(on                                    ? PickMode::FeatureInfo
                    : m_pickMode == PickMode::FeatureInfo ? PickMode::None
                                                          : m_pickMode);
    });
}

void ImageViewer::createToolBars()
{
    const QStringList bars[] = {
        {"Display", "&Display Exif", "&Display Feature Data", "&Display Normal Size", "Full Screen"},
        {"Rotate", "&Rotate Left", "&Rotate Right", "&Rotate All Option"},
        // The pick modes and what acts on their picks.
        {"Toggle", "&Draw Polyhedron", "&Draw 2D feature", "&Draw Line", "&Match Pixels", "&Find Sphere",
         "Undo Selected Point", "Extract Shape"},
        {"operation", "&Zoom in 25%", "&Zoom Out 25%", "&delete the image", "&previous image", "&next image"},
    };
    for (const QStringList& bar : bars) {
        QToolBar* toolBar = addToolBar(tr(qPrintable(bar.first())));
        toolBar->setObjectName(bar.first());
        for (const QString& text : bar.mid(1))
            toolBar->addAction(m_actions.value(text));
    }
    // Printing, the fit and the About box would otherwise be out of reach.
    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(m_actions.value("&Print..."));
    file->addSeparator();
    file->addAction(m_actions.value("&Exit"));
    menuBar()->addMenu(tr("&View"))->addAction(m_actions.value("&Fit to Window"));
    menuBar()->addMenu(tr("&Help"))->addAction(m_actions.value("&About"));
}

void ImageViewer::setDisplayName(const QString& name)
{
    m_displayName = name;
    setWindowTitle(name);
}

// ------------------------------------------------------------------ loading

bool ImageViewer::loadFile()
{
    QImageReader reader(m_fileName);
    QImage image = reader.read();
    const QStringList pictureActions = {"&Display Normal Size", "&Zoom in 25%",  "&Zoom Out 25%",
                                        "&Rotate Left",         "&Rotate Right", "&Display Feature Data",
                                        "&Fit to Window"};
    if (image.isNull()) {
        // Say so in the window rather than show an empty one.
        m_image.reset();
        m_base = QPixmap();
        m_marks.clear();
        const QString message = tr("Cannot show %1: %2").arg(m_fileName, reader.errorString());
        m_label->setScaledContents(false);
        m_label->setWordWrap(true);
        m_label->setText(message);
        m_label->resize(m_scroll->viewport()->size().expandedTo(QSize(400, 100)));
        for (const QString& text : pictureActions)
            m_actions.value(text)->setEnabled(false);
        statusBar()->showMessage(message);
        std::cout << message.toStdString() << std::endl;
        return false;
    }
    m_image = std::make_unique<QImage>(std::move(image));
    // A picture of its own, not one sharing the image's pixels: the overlays
    // paint on it in place.
    m_base = QPixmap::fromImage(m_image->copy());
    m_marks.clear();
    m_label->setWordWrap(false);
    m_label->setScaledContents(true);
    m_label->setPixmap(m_base);
    for (const char* text : {"&Rotate Left", "&Rotate Right", "&Display Feature Data", "&Fit to Window"})
        m_actions.value(text)->setEnabled(true);
    if (!m_actions.value("&Fit to Window")->isChecked())
        for (const char* text : {"&Zoom in 25%", "&Zoom Out 25%", "&Display Normal Size"})
            m_actions.value(text)->setEnabled(true);
    m_label->adjustSize();
    fitWindowSize();
    m_fitPending = !isVisible(); // fitted again once the window has its size
    ensureExifFile();
    return true;
}

void ImageViewer::ensureExifFile()
{
    if (ExifScript::hasXml(m_fileName))
        return;
    const QString script = QFileInfo(m_fileName).absolutePath() + QLatin1Char('/') + ExifScript::fileName();
    QString error;
    if (!ExifScript::write(script, ExifScript::script(m_appDir, {m_fileName}), &error)) {
        std::cout << "Cannot write " << script.toStdString() << ": " << error.toStdString() << std::endl;
        return;
    }
    if (!m_exifProcess)
        m_exifProcess = new QProcess(this);
    if (m_exifProcess->state() != QProcess::NotRunning)
        return;
    m_exifProcess->setProcessChannelMode(QProcess::SeparateChannels);
    m_exifProcess->start(PlatformPaths::commandInterpreter(m_appDir),
                         PlatformPaths::commandInterpreterArguments() << QDir::toNativeSeparators(script),
                         QIODevice::ReadWrite);
}

// --------------------------------------------------------------------- EXIF

bool ImageViewer::readExif()
{
    QFile file(ExifScript::xmlPath(m_fileName));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        // Told without stopping the viewer: the extraction may still be running.
        auto* box = new QMessageBox(QMessageBox::Critical, tr("Load XML File Problem"),
                                    tr("Couldn't open xmlfile.xml to load settings for download"),
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return false;
    }
    QString error;
    if (!ExifXmlReader::read(file, m_exif, &error)) {
        std::cout << error.toStdString() << std::endl;
        return false;
    }
    return true;
}

void ImageViewer::showExif()
{
    const QString width = m_image ? QString::number(m_image->width()) : QString();
    const QString height = m_image ? QString::number(m_image->height()) : QString();
    m_exifLabel->setText(
        QStringLiteral(
            "<html><style type='text/css'> p {color:red; font-size:20px; float:left; }</style><p>Name: ") +
        m_displayName + QStringLiteral("</p><p>Make: ") + m_exif.make + QStringLiteral("</p><p>Model: ") +
        m_exif.model + QStringLiteral("</p><p>Width: ") + width + QStringLiteral("</p><p>Height: ") + height +
        QStringLiteral("</p><p>FocalLength: ") + m_exif.focalLength + QStringLiteral("</p><p>fstop: ") +
        m_exif.exposureTime + QStringLiteral("</p><p>Aperture: ") + m_exif.fNumber +
        QStringLiteral("</p><p>TimeStamp: ") + m_exif.fileCreateDate + QStringLiteral("</p>"));
}

void ImageViewer::setExifOverlay(bool on)
{
    m_exifOn = on;
    QAction* action = m_actions.value("&Display Exif");
    if (action->isChecked() != on) {
        const QSignalBlocker blocker(action);
        action->setChecked(on);
    }
    if (on) {
        readExif();
        showExif();
    } else {
        m_exifLabel->clear();
    }
}

void ImageViewer::toggleOverlay()
{
    setExifOverlay(!m_exifOn);
}

void ImageViewer::refreshExifOverlay()
{
    if (m_exifOn)
        setExifOverlay(true);
}

// -------------------------------------------------------------------- scale

void ImageViewer::scaleImage(double factor)
{
    m_scaleFactor *= factor;
    const QPixmap shown = m_label->pixmap(Qt::ReturnByValue);
    if (!shown.isNull())
        m_label->resize(qRound(shown.width() * m_scaleFactor), qRound(shown.height() * m_scaleFactor));
    updateZoomActions();
}

void ImageViewer::updateZoomActions()
{
    m_actions.value("&Zoom in 25%")->setEnabled(m_image && m_scaleFactor < zoomInLimit);
    m_actions.value("&Zoom Out 25%")->setEnabled(m_image && m_scaleFactor > zoomOutLimit);
}

void ImageViewer::zoomIn()
{
    scaleImage(1.25);
}

void ImageViewer::zoomOut()
{
    scaleImage(0.8);
}

void ImageViewer::fitWindowSize()
{
    const QPixmap shown = m_label->pixmap(Qt::ReturnByValue);
    if (!m_image || shown.isNull())
        return;
    const QSize viewport = m_scroll->viewport()->size();
    if (viewport.width() > 640) {
        double fit = double(viewport.width()) / shown.width();
        const double heightFit = double(viewport.height()) / shown.height();
        if (!(heightFit > fit))
            fit = heightFit;
        std::cout << "Scales " << viewport.width() << " " << viewport.height() << " " << shown.width() << " "
                  << shown.height() << " Factor:" << double(viewport.width()) / shown.width() << std::endl;
        m_scaleFactor = fit;
    }
    m_label->resize(qRound(shown.width() * m_scaleFactor), qRound(shown.height() * m_scaleFactor));
    updateZoomActions();
}

void ImageViewer::normalSize()
{
    m_label->adjustSize();
    m_scaleFactor = 1.0;
    updateZoomActions();
}

void ImageViewer::normalSizetoToggle(bool checked)
{
    QAction* action = m_actions.value("&Display Normal Size");
    const QSignalBlocker blocker(action);
    action->setChecked(checked);
    if (checked)
        normalSize();
    else
        fitWindowSize();
}

void ImageViewer::fitToWindow()
{
    const bool fit = m_actions.value("&Fit to Window")->isChecked();
    m_scroll->setWidgetResizable(fit);
    if (!fit)
        normalSize();
    for (const char* text : {"&Zoom in 25%", "&Zoom Out 25%", "&Display Normal Size"})
        m_actions.value(text)->setEnabled(!fit && m_image);
}

void ImageViewer::fullScreenToggle()
{
    if (isFullScreen())
        showMaximized();
    else
        showFullScreen();
}

// ----------------------------------------------------------------- rotation

QPixmap ImageViewer::rotatedBase() const
{
    if (m_rotation % 360 == 0)
        return m_base;
    return m_base.transformed(QTransform().rotate(m_rotation));
}

void ImageViewer::rotateShown(int degrees)
{
    const QPixmap shown = m_label->pixmap(Qt::ReturnByValue);
    if (shown.isNull())
        return;
    m_label->setPixmap(shown.transformed(QTransform().rotate(degrees)));
    fitWindowSize();
}

void ImageViewer::rotateLeftClicked()
{
    if (!m_image)
        return;
    m_rotation -= 90;
    rotateShown(-90);
}

void ImageViewer::rotateRightClicked()
{
    if (!m_image)
        return;
    m_rotation += 90;
    rotateShown(90);
}

QPointF ImageViewer::unrotate(const QPointF& p, const QSize& shown, int rotation)
{
    switch (((rotation % 360) + 360) % 360) {
    case 90:
        return QPointF(p.y(), shown.width() - p.x());
    case 180:
        return QPointF(shown.width() - p.x(), shown.height() - p.y());
    case 270:
        return QPointF(shown.height() - p.y(), p.x());
    default:
        return p;
    }
}

// ----------------------------------------------------------- list stepping

void ImageViewer::showImage(const QString& path, const QString& name)
{
    m_fileName = path;
    setDisplayName(name);
    m_image.reset();
    if (!loadFile())
        return;
    if (m_actions.value("&Rotate All Option")->isChecked()) {
        if (m_rotation % 360 != 0) {
            m_label->setPixmap(rotatedBase());
            fitWindowSize();
        }
    } else {
        m_rotation = 0;
    }
    if (m_featureOn) {
        readOverlayData();
        drawOverlay();
    }
}

void ImageViewer::stepThroughList(bool forward)
{
    if (m_zoomed || !m_imageList)
        return;
    if (m_exifOn)
        setExifOverlay(false);
    const auto entry =
        forward ? m_imageList->nextEntry(m_displayName) : m_imageList->previousEntry(m_displayName);
    if (entry)
        showImage(entry->path, entry->name);
}

void ImageViewer::nextActClicked()
{
    stepThroughList(true);
}

void ImageViewer::previousActClicked()
{
    stepThroughList(false);
}

bool ImageViewer::confirmDelete(QMessageBox& box, const QString& displayName)
{
    box.setText(tr("Delete Image"));
    box.setIcon(QMessageBox::Critical);
    box.setInformativeText(tr("Are you sure you want to delete ") + displayName + QStringLiteral("?"));
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
}

void ImageViewer::deleteImage()
{
    if (!m_imageList || !confirmDelete(*m_confirm, m_displayName))
        return;
    const auto next = m_imageList->nextEntry(m_displayName);
    m_imageList->deleteImage(m_fileName);
    if (!next) {
        m_image.reset();
        close();
        return;
    }
    showImage(next->path, next->name);
}

// -------------------------------------------------------------------- loupe

void ImageViewer::showLoupe(int magnification, const QPoint& around)
{
    const QSize base = m_base.size();
    m_origin = QPoint(int(around.x() - base.width() / (2.0 * magnification)),
                      int(around.y() - base.height() / (2.0 * magnification)));
    QPixmap region = m_base.copy(QRect(m_origin, base / magnification));
    if (m_rotation % 360 != 0)
        region = region.transformed(QTransform().rotate(m_rotation));
    m_label->setPixmap(region);
    m_label->resize(region.size() * magnification);
    m_magnification = magnification;
    const QSize viewport = m_scroll->viewport()->size();
    m_scroll->horizontalScrollBar()->setValue(region.width() * magnification / 2 - viewport.width() / 2);
    m_scroll->verticalScrollBar()->setValue(region.height() * magnification / 2 - viewport.height() / 2);
}

void ImageViewer::receiveMouseZoom(QPointF pos, int type)
{
    Q_UNUSED(type);
    if (!m_image || m_zoomed)
        return;
    if (m_following) {
        // This viewer shows another viewer's pick: back to its own view first.
        alignWithSelection();
        return;
    }
    m_savedH = m_scroll->horizontalScrollBar()->value();
    m_savedV = m_scroll->verticalScrollBar()->value();
    m_savedScale = m_scaleFactor;
    m_zoomed = true;
    m_mouseLoupe = true;
    m_lastDrag = m_label->pressGlobalPosition();
    emit zoomAllViewers(1);
    const QSize shown = m_label->pixmap(Qt::ReturnByValue).size();
    scaleImage(1.0 / m_scaleFactor);
    const QPointF scaled = pos / m_savedScale;
    std::cout << "PointA: " << pos.x() << "," << pos.y() << " PointScaled: " << scaled.x() << ","
              << scaled.y() << std::endl;
    const QPointF inImage = unrotate(scaled, shown, m_rotation);
    showLoupe(loupeMagnification, QPoint(int(inImage.x()), int(inImage.y())));
    m_label->setCursor(Qt::CrossCursor);
}

void ImageViewer::receiveMouseClick(QPointF pos, int type)
{
    if (!m_mouseLoupe)
        return;
    m_mouseLoupe = false;
    const QSize shown = m_label->pixmap(Qt::ReturnByValue).size();
    const QPointF inRegion =
        unrotate(QPointF(std::trunc(pos.x() / loupeMagnification), std::trunc(pos.y() / loupeMagnification)),
                 shown, m_rotation);
    const QPoint imagePoint(m_origin.x() + int(std::floor(inRegion.x())),
                            m_origin.y() + int(std::floor(inRegion.y())));
    m_magnification = 0;
    m_label->setPixmap(rotatedBase());
    m_scaleFactor = 1.0;
    scaleImage(m_savedScale);
    m_scroll->horizontalScrollBar()->setValue(m_savedH);
    m_scroll->verticalScrollBar()->setValue(m_savedV);
    m_label->setCursor(Qt::ArrowCursor);
    emit zoomAllViewers(m_savedScale);
    m_zoomed = false;
    if (m_pickMode != PickMode::None)
        pickAt(imagePoint, type);
}

void ImageViewer::enterActualPixels()
{
    if (!m_image || m_zoomed)
        return;
    m_savedH = m_scroll->horizontalScrollBar()->value();
    m_savedV = m_scroll->verticalScrollBar()->value();
    m_savedScale = m_scaleFactor;
    m_zoomed = true;
    // Actual pixels around what was the middle of the view.
    const QSize viewport = m_scroll->viewport()->size();
    const QPointF middle((m_savedH + viewport.width() / 2.0) / m_savedScale,
                         (m_savedV + viewport.height() / 2.0) / m_savedScale);
    scaleImage(1.0 / m_scaleFactor);
    const QSize shown = m_label->size();
    const QPointF inside(std::min(middle.x(), double(shown.width())),
                         std::min(middle.y(), double(shown.height())));
    m_scroll->horizontalScrollBar()->setValue(int(inside.x() - viewport.width() / 2.0));
    m_scroll->verticalScrollBar()->setValue(int(inside.y() - viewport.height() / 2.0));
}

void ImageViewer::leaveActualPixels()
{
    if (!m_zoomed)
        return;
    m_zoomed = false;
    m_actions.value("&Fit to Window")->setChecked(true);
    m_label->setPixmap(rotatedBase());
    m_scaleFactor = 1.0;
    scaleImage(m_savedScale);
    m_scroll->horizontalScrollBar()->setValue(m_savedH);
    m_scroll->verticalScrollBar()->setValue(m_savedV);
    m_label->setCursor(Qt::ArrowCursor);
    emit zoomAllViewers(m_savedScale);
}

void ImageViewer::keyPressEvent(QKeyEvent* event)
{
    if (event->isAutoRepeat()) {
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Z:
        enterActualPixels();
        break;
    case Qt::Key_Q:
        if (++m_keyCounter == 1) {
            enterActualPixels();
        } else {
            leaveActualPixels();
            m_keyCounter = 0;
        }
        break;
    case Qt::Key_F11:
        enterLabelFullScreen();
        break;
    default:
        QMainWindow::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ImageViewer::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Z && !event->isAutoRepeat()) {
        if (!m_mouseLoupe)
            leaveActualPixels();
        event->accept();
        return;
    }
    QMainWindow::keyReleaseEvent(event);
}

void ImageViewer::mouseMoveEvent(QMouseEvent* event)
{
    const QPixmap shown = m_label->pixmap(Qt::ReturnByValue);
    if (!(event->buttons() & Qt::LeftButton) || shown.isNull()) {
        QMainWindow::mouseMoveEvent(event);
        return;
    }
    const QPoint global = event->globalPos();
    const QPoint delta = global - m_lastDrag;
    m_lastDrag = global;
    const double scalar = double(shown.width()) / std::max(1, m_scroll->viewport()->width());
    QScrollBar* h = m_scroll->horizontalScrollBar();
    QScrollBar* v = m_scroll->verticalScrollBar();
    h->setValue(h->value() + int(2 * delta.x() * scalar));
    v->setValue(v->value() + int(2 * delta.y() * scalar));
    std::cout << "Scalar=" << scalar << " Scroll h=" << h->value() << " v=" << v->value() << std::endl;
}

void ImageViewer::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // The viewport has its new size only once the layout has run: the fit
    // waits for it (see eventFilter).
    if (event->type() == QEvent::WindowStateChange && m_image && !m_zoomed) {
        m_fitPending = true;
        QMetaObject::invokeMethod(this, "fitWindowSize", Qt::QueuedConnection);
    }
}

bool ImageViewer::eventFilter(QObject* watched, QEvent* event)
{
    // Only a viewport wider than 640 pixels fits; until then the fit waits.
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize && m_fitPending && m_image &&
        !m_zoomed && m_magnification == 0 && m_scroll->viewport()->width() > 640) {
        m_fitPending = false;
        fitWindowSize();
    }
    return QMainWindow::eventFilter(watched, event);
}

// ------------------------------------------------------------- full screen

void ImageViewer::enterLabelFullScreen()
{
    if (!m_image || m_label->isFullScreenMode() || m_zoomed)
        return;
    m_scroll->takeWidget();
    m_label->setParent(nullptr);
    m_label->setFileName(m_fileName);
    m_label->setDisplayName(m_displayName);
    m_label->showFullScreenImage(m_base.toImage());
}

void ImageViewer::leaveLabelFullScreen()
{
    m_label->endFullScreenMode();
    if (m_scroll->widget() == m_label)
        return;
    m_label->hide();
    m_label->setWindowState(Qt::WindowNoState);
    m_scroll->setWidget(m_label);
    m_label->setScaledContents(true);
    m_label->show();
    if (m_label->fileName() != m_fileName && !m_label->fileName().isEmpty())
        showImage(m_label->fileName(), m_label->displayName());
    else if (m_image)
        showCurrentPicture();
    fitWindowSize();
    activateWindow();
}

// ---------------------------------------------------------- feature overlay

void ImageViewer::readOverlayData()
{
    m_overlay = ImageFeatures::read(m_fileName, m_scene);
    if (!m_overlay.error.isEmpty()) {
        std::cout << m_overlay.error.toStdString() << std::endl;
        statusBar()->showMessage(m_overlay.error, 5000);
    }
}

void ImageViewer::drawOverlay()
{
    paintBase(true);
}

void ImageViewer::paintBase(bool withOverlay)
{
    if (!m_image)
        return;
    // The label lets go of the picture first, so that painting works on the
    // base pixmap itself instead of a copy of all its megapixels; the marks
    // of the last drawing are undone from the image, not the whole picture.
    m_label->setPixmap(QPixmap());
    {
        QPainter painter(&m_base);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        for (const QRect& mark : qAsConst(m_marks))
            painter.drawImage(mark.topLeft(), *m_image, mark);
        m_marks.clear();
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        if (withOverlay) {
            const FeatureOverlay::Pens pens{m_pens[0], m_pens[2], m_pens[7], m_pens[6], m_pens[3], m_pens[8]};
            static const ImageSelection none;
            FeatureOverlay::draw(painter, m_overlay.features, m_overlay.usedFeatures,
                                 m_scene ? m_scene->imageMatches()->selection() : none,
                                 fileNameOf(m_fileName), pens, false, &m_marks);
        }
    }
    showCurrentPicture();
}

void ImageViewer::showCurrentPicture()
{
    if (m_magnification > 0) {
        // Keep the loupe where it is, with the new picture in it.
        const QPoint origin = m_origin;
        const int m = m_magnification;
        const QSize base = m_base.size();
        showLoupe(m, QPoint(int(origin.x() + base.width() / (2.0 * m)),
                            int(origin.y() + base.height() / (2.0 * m))));
        return;
    }
    m_label->setPixmap(rotatedBase());
}

void ImageViewer::toggleSparseOverlay()
{
    m_featureOn = !m_featureOn;
    QAction* action = m_actions.value("&Display Feature Data");
    if (action->isChecked() != m_featureOn) {
        const QSignalBlocker blocker(action);
        action->setChecked(m_featureOn);
    }
    if (!m_image)
        return;
    if (m_featureOn) {
        if (!m_exifOn)
            setExifOverlay(true);
        readOverlayData();
        drawOverlay();
    } else {
        paintBase(false);
    }
}

void ImageViewer::redrawFeatureOverlay()
{
    if (m_featureOn)
        drawOverlay();
}

void ImageViewer::alignWithSelection()
{
    if (m_following) {
        std::cout << "Toggle is on " << std::endl;
        m_magnification = 0;
        m_label->setPixmap(rotatedBase());
        m_scaleFactor = 1.0;
        scaleImage(m_savedScale);
        m_scroll->horizontalScrollBar()->setValue(m_savedH);
        m_scroll->verticalScrollBar()->setValue(m_savedV);
        m_following = false;
        return;
    }
    if (m_zoomed || !m_image || !m_scene)
        return;
    const ImagePick* open = m_scene->imageMatches()->selection().openPick();
    if (!open || open->imageName.compare(fileNameOf(m_fileName), Qt::CaseInsensitive) != 0)
        return;
    std::cout << open->imageName.toStdString() << " found " << std::endl;
    m_savedH = m_scroll->horizontalScrollBar()->value();
    m_savedV = m_scroll->verticalScrollBar()->value();
    m_savedScale = m_scaleFactor;
    scaleImage(1.0 / m_scaleFactor);
    std::cout << "PrevSelect: " << open->x << "," << open->y << std::endl;
    showLoupe(loupeMagnification, QPoint(open->x, open->y));
    m_following = true;
}

// -------------------------------------------------------------------- picks

void ImageViewer::setPickMode(PickMode mode)
{
    m_pickMode = mode;
    for (const auto& [text, own] :
         {std::pair<const char*, PickMode>{"&Match Pixels", PickMode::MatchPixels},
          std::pair<const char*, PickMode>{"&Draw 2D feature", PickMode::FeatureInfo}}) {
        QAction* action = m_actions.value(text);
        const QSignalBlocker blocker(action);
        action->setChecked(mode == own);
    }
    updateModeText();
}

void ImageViewer::updateModeText()
{
    switch (m_pickMode) {
    case PickMode::None:
        m_modeLabel->setText(tr("Picking off"));
        break;
    case PickMode::MatchPixels:
        m_modeLabel->setText(
            tr("Match Pixels: click the same spot in two images (right button: outer ring)"));
        break;
    case PickMode::FeatureInfo:
        m_modeLabel->setText(tr("2D feature: click near a feature to mark it and see its matches"));
        break;
    }
}

void ImageViewer::pickAt(const QPoint& point, int type)
{
    if (!m_scene)
        return;
    ImageMatchScene* matches = m_scene->imageMatches();
    ImageSelection& selection = matches->selection();
    const QString name = fileNameOf(m_fileName);
    std::cout << "Mouse: " << point.x() << "," << point.y() << std::endl;
    if (m_pickMode == PickMode::MatchPixels) {
        if (!m_featureOn)
            readOverlayData(); // the camera of the image
        std::cout << "CamID = " << m_overlay.cameraIndex << std::endl;
        ImagePick pick;
        pick.imageName = name;
        pick.cameraIndex = m_overlay.cameraIndex;
        pick.type = type;
        pick.x = point.x();
        pick.y = point.y();
        switch (selection.pick(pick, m_exifOn)) {
        case ImageSelection::PickOutcome::Added: {
            const ImageSelection::Match& match = selection.matches()[selection.matches().size() - 1];
            statusBar()->showMessage(match.size() == 2
                                         ? tr("Match %1 complete").arg(selection.matches().size())
                                         : tr("Pick the same spot in another image"),
                                     4000);
            break;
        }
        case ImageSelection::PickOutcome::Removed:
            statusBar()->showMessage(tr("Pick removed"), 4000);
            break;
        case ImageSelection::PickOutcome::SameImage:
            statusBar()->showMessage(tr("Same Image for Feature, use a different image"), 4000);
            return;
        }
        if (m_overlay.cameraIndex < 0)
            statusBar()->showMessage(tr("%1 has no camera in the loaded reconstruction: its picks cannot be "
                                        "triangulated")
                                         .arg(name),
                                     6000);
        repaint();
        return;
    }

    if (!m_featureOn)
        readOverlayData();
    double best = 0;
    const FeatureRecord* nearest = m_overlay.nearest(point, featureSearchRadius, &best);
    if (!nearest) {
        statusBar()->showMessage(tr("No feature within 100 pixels"), 4000);
        return;
    }
    std::cout << "Distance is " << best << " Feature is " << nearest->index << std::endl;
    QStringList matchedTo;
    for (const MatchSets::Match& m : matches->matchSets().matchesOf(name, nearest->index)) {
        std::cout << "Matched to: " << m.otherImage.toStdString() << " Feature: " << m.otherFeature
                  << std::endl;
        matchedTo << tr("%1 feature %2").arg(m.otherImage).arg(m.otherFeature);
    }
    ImagePick feature;
    feature.imageName = name;
    feature.cameraIndex = m_overlay.cameraIndex;
    feature.type = type;
    feature.x = int(nearest->x);
    feature.y = int(nearest->y);
    const bool added = selection.toggleFeature(feature);
    statusBar()->showMessage(
        added ? tr("Feature %1 at (%2, %3), scale %4: %5")
                    .arg(nearest->index)
                    .arg(nearest->x)
                    .arg(nearest->y)
                    .arg(nearest->scale)
                    .arg(matchedTo.isEmpty() ? tr("no matches") : tr("matched to ") + matchedTo.join(", "))
              : tr("Feature %1 unmarked").arg(nearest->index),
        8000);
    repaint();
}

void ImageViewer::undoUserSelectFeature()
{
    if (!m_scene || !m_scene->imageMatches()->selection().undo())
        return;
    repaint();
}

// -------------------------------------------------------------------- misc

void ImageViewer::repaint()
{
    std::cout << "Emitting\n" << std::flush;
    emit repaintImageViewers();
}

void ImageViewer::zoomAll(double factor)
{
    emit zoomAllViewers(factor);
}

void ImageViewer::triggerExtractShape()
{
    emit sendExtractCommand();
}

void ImageViewer::print()
{
    const QPixmap shown = m_label->pixmap(Qt::ReturnByValue);
    if (shown.isNull())
        return;
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>();
    QPrintDialog dialog(m_printer.get(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QPainter painter(m_printer.get());
    const QRect rect = painter.viewport();
    QSize size = shown.size();
    size.scale(rect.size(), Qt::KeepAspectRatio);
    painter.setViewport(rect.x(), rect.y(), size.width(), size.height());
    painter.setWindow(shown.rect());
    painter.drawPixmap(0, 0, shown);
}

void ImageViewer::about()
{
    QMessageBox::about(
        this, tr("About Image Viewer"),
        tr("<p>The <b>Image Viewer</b> shows a photograph of the project with its EXIF data, "
           "the features the tool chain found in it and the matches you pick.</p>"
           "<p>Hold <b>Z</b> (or press <b>Q</b>) for actual pixels, press the mouse for the loupe, "
           "<b>F11</b> for the picture alone on the screen.</p>"));
}

void ImageViewer::closeDelete()
{
    std::cout << "Deleting!\n" << std::flush;
    close();
}

void ImageViewer::closeEvent(QCloseEvent* event)
{
    std::cout << "closing\n" << std::flush;
    if (m_label->isFullScreenMode())
        leaveLabelFullScreen();
    m_image.reset();
    event->accept();
    emit imageViewerClosed(m_fileName);
}
