#include "ui/images/ImageViewer.h"

#include "core/log/LogLine.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollArea>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include <cmath>
#include <iostream>

#include "scene/images/ImageMatchScene.h"
#include "scene/view/OsgWidget.h"
#include "ui/images/ExifOverlay.h"
#include "ui/images/ImageLabel.h"
#include "ui/images/ImageNavigator.h"
#include "ui/images/MyListWidget.h"

namespace
{

enum class Kind { Toggled, Checkable, Plain, Triggered, CheckableTriggered };

struct ActionSpec {
    const char* text;
    const char* shortcut;
    const char* icon;
    const char* statusTip;
    Kind kind;
    // The slot of toggled() for a Toggled action, of triggered() otherwise;
    // one of them or neither.
    void (ImageViewer::*slot)();
    void (ImageViewer::*checkedSlot)(bool);
};

using V = ImageViewer;

// The viewer's actions in creation order. "&Exit" closes the window (QWidget::close).
const ActionSpec actionSpecs[] = {
    {"&Display Exif", "d", ":/images/exifExtract.png", "Display the Exif", Kind::Toggled, &V::toggleOverlay, nullptr},
    {"&Display Feature Data", "f", ":/images/displayFeature.png", "Display the feature data", Kind::Toggled,
     &V::toggleSparseOverlay, nullptr},
    {"&Display Normal Size", "Ctrl+S", ":images/zoomactual.png", "", Kind::Toggled, nullptr,
     &V::normalSizetoToggle},
    {"Full Screen", "", ":images/fullScreen.png", "", Kind::Toggled, &V::fullScreenToggle, nullptr},
    {"&Rotate Left", "Ctrl+L", ":/images/rotateleft.png", "rotate left", Kind::Toggled, &V::rotateLeftClicked,
     nullptr},
    {"&Rotate Right", "Ctrl+R", ":/images/rotateright.png", "rotate right", Kind::Toggled, &V::rotateRightClicked,
     nullptr},
    {"&Rotate All Option", "Ctrl+A", ":/images/rotateCheck.jpg", "rotate All Option", Kind::Checkable, nullptr,
     nullptr},
    {"&Draw Polyhedron", "", ":images/drawPolyhedron.jpg", "draw polyhedron", Kind::Plain, nullptr, nullptr},
    // The two pick modes: checkable, so that the tool bar shows which is on.
    {"&Draw 2D feature", "", ":images/draw2Dfeature.png", "draw 2D feature", Kind::Checkable, nullptr, nullptr},
    {"&Draw Line", "", ":images/drawLine.png", "draw line", Kind::Plain, nullptr, nullptr},
    {"&Match Pixels", "", ":images/matchPixels.jpg", "draw line", Kind::Checkable, nullptr, nullptr},
    {"&Find Sphere", "", ":images/findSphere.png", "draw line", Kind::Plain, nullptr, nullptr},
    {"&Zoom in 25%", "Ctrl++", ":images/zoomin.png", "&Zoom In (25%)", Kind::Toggled, &V::zoomIn, nullptr},
    {"&Zoom Out 25%", "Ctrl+-", ":images/zoomout.png", "& Zoom Out (25%)", Kind::Toggled, &V::zoomOut, nullptr},
    {"&delete the image", "X", ":images/delete.png", "", Kind::Toggled, &V::deleteImage, nullptr},
    {"&previous image", ",", ":/images/previous.png", "", Kind::Toggled, &V::previousActClicked, nullptr},
    {"&next image", ".", ":/images/next.png", "", Kind::Toggled, &V::nextActClicked, nullptr},
    {"&Exit", "Escape", nullptr, "", Kind::Triggered, nullptr, nullptr},
    {"&Fit to Window", "Ctrl+F", nullptr, "", Kind::CheckableTriggered, &V::fitToWindow, nullptr},
    {"&About", "", nullptr, "", Kind::Triggered, &V::about, nullptr},
    {"Extract Shape", "E", nullptr, "", Kind::Triggered, &V::triggerExtractShape, nullptr},
    {"Undo Selected Point", "Ctrl+U", nullptr, "", Kind::Triggered, &V::undoUserSelectFeature, nullptr},
    {"&Print...", "", nullptr, "", Kind::Triggered, &V::print, nullptr},
};

constexpr double zoomInLimit = 3.0;
constexpr double zoomOutLimit = 0.333;
constexpr int loupeMagnification = 3;

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
    createWidgets();
    createActions();
    createToolBars();
    m_actions.value("&Fit to Window")->setChecked(false);
    setWindowTitle(m_displayName);
    loadFile();
    showMaximized();
}

ImageViewer::~ImageViewer()
{
    if (m_label && !m_label->parent())
        delete m_label; // still out in full-screen mode
}

double ImageViewer::scaleFactor() const
{
    return m_view->scaleFactor();
}

int ImageViewer::rotation() const
{
    return m_view->rotation();
}

QPoint ImageViewer::loupeOrigin() const
{
    return m_view->loupeOrigin();
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

    connect(m_label, &ImageLabel::mousePosition, this, &ImageViewer::receiveMouseClick);
    connect(m_label, &ImageLabel::mouseZoomPosition, this, &ImageViewer::receiveMouseZoom);
    connect(m_label, &ImageLabel::fullScreenLeft, this, &ImageViewer::leaveLabelFullScreen);
    connect(m_label, &ImageLabel::listExhausted, this, [this] {
        m_label->setFileName(m_fileName);
        leaveLabelFullScreen();
        m_picture.clear();
        close();
    });

    m_view = new ImageNavigator(m_scroll, m_label, &m_picture, this);
    connect(m_view, &ImageNavigator::scaleChanged, this, &ImageViewer::updateZoomActions);
    m_exif = new ExifOverlay(m_exifLabel, this);
    m_picker = new ImagePicker(m_scene, this);
    connect(m_picker, &ImagePicker::statusMessage, statusBar(), &QStatusBar::showMessage);

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
        if (spec.slot && spec.kind == Kind::Toggled)
            connect(action, &QAction::toggled, this, spec.slot);
        else if (spec.slot)
            connect(action, &QAction::triggered, this, spec.slot);
        if (spec.checkedSlot)
            connect(action, &QAction::toggled, this, spec.checkedSlot);
        m_actions.insert(QString::fromLatin1(spec.text), action);
    }
    connect(m_actions.value("&Exit"), &QAction::triggered, this, &QWidget::close);
    m_actions.value("&Fit to Window")->setEnabled(false);
    connect(m_actions.value("&Match Pixels"), &QAction::toggled, this, [this](bool on) {
        setPickMode(on                                    ? PickMode::MatchPixels
                    : pickMode() == PickMode::MatchPixels ? PickMode::None
                                                          : pickMode());
    });
    connect(m_actions.value("&Draw 2D feature"), &QAction::toggled, this, [this](bool on) {
        setPickMode(on                                    ? PickMode::FeatureInfo
                    : pickMode() == PickMode::FeatureInfo ? PickMode::None
                                                          : pickMode());
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
    const QStringList pictureActions = {"&Display Normal Size", "&Zoom in 25%",  "&Zoom Out 25%",
                                        "&Rotate Left",         "&Rotate Right", "&Display Feature Data",
                                        "&Fit to Window"};
    QString error;
    if (!m_picture.load(m_fileName, &error)) {
        // Say so in the window rather than show an empty one.
        const QString message = tr("Cannot show %1: %2").arg(m_fileName, error);
        m_label->setScaledContents(false);
        m_label->setWordWrap(true);
        m_label->setText(message);
        m_label->resize(m_scroll->viewport()->size().expandedTo(QSize(400, 100)));
        for (const QString& text : pictureActions)
            m_actions.value(text)->setEnabled(false);
        statusBar()->showMessage(message);
        m_failureMessage = message;
        LogLine() << message.toStdString() << std::endl;
        return false;
    }
    // What was said about a photo that could not be shown is not this one's.
    if (!m_failureMessage.isEmpty() && statusBar()->currentMessage() == m_failureMessage)
        statusBar()->clearMessage();
    m_failureMessage.clear();
    m_label->setWordWrap(false);
    m_label->setScaledContents(true);
    m_label->setPixmap(m_picture.base());
    for (const char* text : {"&Rotate Left", "&Rotate Right", "&Display Feature Data", "&Fit to Window"})
        m_actions.value(text)->setEnabled(true);
    if (!m_actions.value("&Fit to Window")->isChecked())
        for (const char* text : {"&Zoom in 25%", "&Zoom Out 25%", "&Display Normal Size"})
            m_actions.value(text)->setEnabled(true);
    m_label->adjustSize();
    fitWindowSize();
    m_fitFollows = true;
    m_exif->ensureFile(m_fileName, m_appDir);
    return true;
}

// --------------------------------------------------------------------- EXIF

void ImageViewer::setExifOverlay(bool on)
{
    m_exifOn = on;
    QAction* action = m_actions.value("&Display Exif");
    if (action->isChecked() != on) {
        const QSignalBlocker blocker(action);
        action->setChecked(on);
    }
    if (on) {
        m_exif->read(m_fileName);
        m_exif->show(m_displayName, hasImage() ? m_picture.image()->size() : QSize());
    } else {
        m_exif->clear();
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

void ImageViewer::updateZoomActions()
{
    m_actions.value("&Zoom in 25%")->setEnabled(hasImage() && m_view->scaleFactor() < zoomInLimit);
    m_actions.value("&Zoom Out 25%")->setEnabled(hasImage() && m_view->scaleFactor() > zoomOutLimit);
}

void ImageViewer::zoomIn()
{
    m_fitFollows = false;
    m_view->scaleImage(1.25);
}

void ImageViewer::zoomOut()
{
    m_fitFollows = false;
    m_view->scaleImage(0.8);
}

void ImageViewer::fitWindowSize()
{
    m_view->fit();
}

void ImageViewer::normalSize()
{
    m_fitFollows = false;
    m_view->normalSize();
}

void ImageViewer::normalSizetoToggle(bool checked)
{
    QAction* action = m_actions.value("&Display Normal Size");
    const QSignalBlocker blocker(action);
    action->setChecked(checked);
    if (checked) {
        normalSize();
    } else {
        m_fitFollows = true;
        fitWindowSize();
    }
}

void ImageViewer::fitToWindow()
{
    const bool fit = m_actions.value("&Fit to Window")->isChecked();
    m_scroll->setWidgetResizable(fit);
    if (!fit)
        normalSize();
    for (const char* text : {"&Zoom in 25%", "&Zoom Out 25%", "&Display Normal Size"})
        m_actions.value(text)->setEnabled(!fit && hasImage());
}

void ImageViewer::fullScreenToggle()
{
    if (isFullScreen())
        showMaximized();
    else
        showFullScreen();
}

// ----------------------------------------------------------------- rotation

void ImageViewer::rotateLeftClicked()
{
    if (hasImage())
        m_view->rotate(-90);
}

void ImageViewer::rotateRightClicked()
{
    if (hasImage())
        m_view->rotate(90);
}

QPointF ImageViewer::unrotate(const QPointF& p, const QSize& shown, int rotation)
{
    return ImageNavigator::unrotate(p, shown, rotation);
}

// ----------------------------------------------------------- list stepping

void ImageViewer::showImage(const QString& path, const QString& name)
{
    m_fileName = path;
    setDisplayName(name);
    m_picture.clear();
    updateMarks();
    if (!loadFile())
        return;
    if (m_actions.value("&Rotate All Option")->isChecked()) {
        if (m_view->rotation() % 360 != 0) {
            m_label->setPixmap(m_view->rotatedBase());
            fitWindowSize();
        }
    } else {
        m_view->resetRotation();
    }
    if (m_featureOn) {
        readOverlayData();
        paintBase(true);
    }
    refreshExifOverlay();
}

void ImageViewer::stepThroughList(bool forward)
{
    if (m_zoomed || !m_imageList)
        return;
    if (m_exifOn)
        setExifOverlay(false);
    const auto entry = forward ? m_imageList->nextEntry(m_fileName) : m_imageList->previousEntry(m_fileName);
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
    const auto next = m_imageList->nextEntry(m_fileName);
    m_imageList->deleteImage(m_fileName);
    if (!next) {
        m_picture.clear();
        close();
        return;
    }
    showImage(next->path, next->name);
}

// -------------------------------------------------------------------- loupe

void ImageViewer::receiveMouseZoom(QPointF pos, int type)
{
    Q_UNUSED(type);
    if (!hasImage() || m_zoomed)
        return;
    if (m_following) {
        // This viewer shows another viewer's pick: back to its own view first.
        alignWithSelection();
        return;
    }
    m_view->saveView();
    m_zoomed = true;
    m_mouseLoupe = true;
    m_lastDrag = m_label->pressGlobalPosition();
    emit zoomAllViewers(1);
    m_view->showLoupeAtPress(pos, loupeMagnification);
    m_label->setCursor(Qt::CrossCursor);
}

void ImageViewer::receiveMouseClick(QPointF pos, int type)
{
    if (!m_mouseLoupe)
        return;
    m_mouseLoupe = false;
    const QPoint imagePoint = m_view->imagePointInLoupe(pos, loupeMagnification);
    // A mouse position names the screen pixel the cursor is on: its centre
    // is where the cursor points (a fractional position is taken as it is).
    const QPointF cursor(pos.x() == std::floor(pos.x()) ? pos.x() + 0.5 : pos.x(),
                         pos.y() == std::floor(pos.y()) ? pos.y() + 0.5 : pos.y());
    const QPointF position = m_view->imagePositionInLoupe(cursor, loupeMagnification);
    m_view->restoreView();
    m_label->setCursor(Qt::ArrowCursor);
    emit zoomAllViewers(m_view->savedScale());
    m_zoomed = false;
    if (pickMode() != PickMode::None)
        pickAt(imagePoint, type);
    emit imagePointPicked(m_fileName, position);
}

void ImageViewer::enterActualPixels()
{
    if (!hasImage() || m_zoomed)
        return;
    m_view->saveView();
    m_zoomed = true;
    m_view->showActualPixels();
}

void ImageViewer::leaveActualPixels()
{
    if (!m_zoomed)
        return;
    m_zoomed = false;
    m_actions.value("&Fit to Window")->setChecked(true);
    m_view->restoreView();
    m_label->setCursor(Qt::ArrowCursor);
    emit zoomAllViewers(m_view->savedScale());
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
    if (!(event->buttons() & Qt::LeftButton) || m_label->pixmap(Qt::ReturnByValue).isNull()) {
        QMainWindow::mouseMoveEvent(event);
        return;
    }
    const QPoint global = event->globalPos();
    const QPoint delta = global - m_lastDrag;
    m_lastDrag = global;
    m_view->drag(delta);
}

void ImageViewer::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && hasImage() && !m_zoomed)
        m_fitFollows = true;
}

bool ImageViewer::eventFilter(QObject* watched, QEvent* event)
{
    // A window manager gives the window its final size when it pleases, often
    // after a first one (a maximised window is first shown at its normal
    // size): a fitted picture follows every size of the viewport until the
    // user zooms. Only a viewport wider than 640 pixels fits.
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize && m_fitFollows && hasImage() &&
        !m_zoomed && !m_view->loupeShown() && m_scroll->viewport()->width() > 640)
        fitWindowSize();
    return QMainWindow::eventFilter(watched, event);
}

// ------------------------------------------------------------- full screen

void ImageViewer::enterLabelFullScreen()
{
    if (!hasImage() || m_label->isFullScreenMode() || m_zoomed)
        return;
    m_scroll->takeWidget();
    m_label->setParent(nullptr);
    m_label->setFileName(m_fileName);
    m_label->setDisplayName(m_displayName);
    m_label->showFullScreenImage(m_picture.base().toImage());
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
    else if (hasImage())
        m_view->showCurrentPicture();
    fitWindowSize();
    activateWindow();
}

// ---------------------------------------------------------- feature overlay

void ImageViewer::readOverlayData()
{
    m_overlay = ImageFeatures::read(m_fileName, m_scene);
    if (!m_overlay.error.isEmpty()) {
        LogLine(LogLevel::Warning) << m_overlay.error.toStdString() << std::endl;
        statusBar()->showMessage(m_overlay.error, 5000);
    }
}

void ImageViewer::paintBase(bool withOverlay)
{
    if (!hasImage())
        return;
    // The label lets go of the picture first, so that painting works on the
    // base pixmap itself instead of a copy of all its megapixels.
    m_label->setPixmap(QPixmap());
    static const ImageSelection none;
    m_picture.paint(withOverlay, m_overlay, m_scene ? m_scene->imageMatches()->selection() : none,
                    fileNameOf(m_fileName));
    m_view->showCurrentPicture();
}

void ImageViewer::toggleSparseOverlay()
{
    m_featureOn = !m_featureOn;
    QAction* action = m_actions.value("&Display Feature Data");
    if (action->isChecked() != m_featureOn) {
        const QSignalBlocker blocker(action);
        action->setChecked(m_featureOn);
    }
    if (!hasImage())
        return;
    if (m_featureOn) {
        if (!m_exifOn)
            setExifOverlay(true);
        readOverlayData();
        paintBase(true);
    } else {
        paintBase(false);
    }
}

void ImageViewer::redrawFeatureOverlay()
{
    if (m_featureOn)
        paintBase(true);
}

void ImageViewer::alignWithSelection()
{
    if (m_following) {
        LogLine() << "Toggle is on " << std::endl;
        m_view->restoreView();
        m_following = false;
        return;
    }
    if (m_zoomed || !hasImage() || !m_scene)
        return;
    const ImagePick* open = m_scene->imageMatches()->selection().openPick();
    if (!open || open->imageName.compare(fileNameOf(m_fileName), Qt::CaseInsensitive) != 0)
        return;
    LogLine() << open->imageName.toStdString() << " found " << std::endl;
    m_view->saveView();
    m_view->scaleImage(1.0 / m_view->scaleFactor());
    LogLine() << "PrevSelect: " << open->x << "," << open->y << std::endl;
    m_view->showLoupe(loupeMagnification, QPoint(open->x, open->y));
    m_following = true;
}

// -------------------------------------------------------------------- picks

void ImageViewer::setControlPoints(const QVector<ControlPoint>& points, const QString& selected)
{
    m_controlPoints = points;
    m_selectedPoint = selected;
    updateMarks();
}

void ImageViewer::setTargetCandidates(const QVector<ControlPoint>& candidates)
{
    m_targetCandidates = candidates;
    updateMarks();
}

void ImageViewer::updateMarks()
{
    const QString photo = fileNameOf(m_fileName);
    QVector<ImageLabel::Mark> marks;
    for (const ControlPoint& p : qAsConst(m_controlPoints))
        for (const ControlObservation& o : p.observations)
            if (fileNameOf(o.image).compare(photo, Qt::CaseInsensitive) == 0)
                marks.append(
                    {QPointF(o.column, o.row), p.name, !p.name.isEmpty() && p.name == m_selectedPoint});
    for (const ControlPoint& p : qAsConst(m_targetCandidates))
        for (const ControlObservation& o : p.observations)
            if (fileNameOf(o.image).compare(photo, Qt::CaseInsensitive) == 0)
                marks.append({QPointF(o.column, o.row), p.name, false, true});
    m_label->setMarks(marks, [this](const QPointF& image) { return m_view->labelPointOf(image); });
}

void ImageViewer::setPickMode(PickMode mode)
{
    m_picker->setMode(mode);
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
    m_modeLabel->setText(m_picker->modeText());
}

void ImageViewer::pickAt(const QPoint& point, int type)
{
    if (!m_scene)
        return;
    if (!m_featureOn)
        readOverlayData(); // the camera and the features of the image
    if (m_picker->pickAt(fileNameOf(m_fileName), m_overlay, m_exifOn, point, type))
        repaint();
}

void ImageViewer::undoUserSelectFeature()
{
    if (m_picker->undo())
        repaint();
}

// -------------------------------------------------------------------- misc

void ImageViewer::repaint()
{
    LogLine() << "Emitting\n" << std::flush;
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
    LogLine() << "Deleting!\n" << std::flush;
    close();
}

void ImageViewer::closeEvent(QCloseEvent* event)
{
    LogLine() << "closing\n" << std::flush;
    if (m_label->isFullScreenMode())
        leaveLabelFullScreen();
    m_picture.clear();
    event->accept();
    emit imageViewerClosed(m_fileName);
}
