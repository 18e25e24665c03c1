#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPixmap>
#include <QPoint>
#include <QPointF>
#include <QSet>
#include <QString>
#include <QVector>

#include <memory>

#include "core/georef/ControlPoint.h"
#include "core/images/FeatureFile.h"
#include "ui/images/ImageFeatures.h"
#include "ui/images/ImagePicker.h"
#include "ui/images/ImagePicture.h"

class ExifOverlay;
class ImageLabel;
class ImageNavigator;
class MyListWidget;
class OsgWidget;
class QAction;
class QLabel;
class QMessageBox;
class QPrinter;
class QScrollArea;

// One photograph of the project in a window of its own: zoom in 25 % steps,
// fit, quarter turns, stepping through the image list, deleting, full screen,
// a loupe under the mouse (and actual pixels while Z is held), the EXIF
// overlay, and the feature overlay with the user's picks, which every open
// viewer shares through the scene view. The window wires its actions and
// events; the picture (ImagePicture), the view of it (ImageNavigator), the
// EXIF text (ExifOverlay) and the picks (ImagePicker) do the work.
class ImageViewer : public QMainWindow
{
    Q_OBJECT
public:
    // What a release in the loupe does with the image point under the mouse.
    using PickMode = ImagePicker::Mode;

    // appDir: where the SfM tools lie (the program's folder when empty).
    ImageViewer(const QString& fileName, MyListWidget* imageList, OsgWidget* sceneView, QWidget* mainWindow,
                const QString& appDir = QString());
    ~ImageViewer() override;

    QString fileName() const { return m_fileName; }
    // The name the image list shows; also the window title.
    QString displayName() const { return m_displayName; }
    void setDisplayName(const QString& name);

    bool hasImage() const { return !m_picture.isNull(); }
    double scaleFactor() const;
    int rotation() const;
    bool exifOverlayOn() const { return m_exifOn; }
    bool featureOverlayOn() const { return m_featureOn; }
    bool isZoomed() const { return m_zoomed; }
    bool isFollowingSelection() const { return m_following; }
    QPoint loupeOrigin() const;
    PickMode pickMode() const { return m_picker->mode(); }
    void setPickMode(PickMode mode);
    QAction* action(const QString& text) const { return m_actions.value(text); }
    ImageLabel* imageLabel() const { return m_label; }
    QLabel* exifLabel() const { return m_exifLabel; }
    QScrollArea* scrollArea() const { return m_scroll; }
    QMessageBox* confirmationBox() const { return m_confirm; }
    const QPixmap& basePixmap() const { return m_picture.base(); }

    // What the feature overlay read when it was last switched on.
    const QVector<FeatureRecord>& features() const { return m_overlay.features; }
    int cameraIndex() const { return m_overlay.cameraIndex; }
    const QSet<int>& usedFeatures() const { return m_overlay.usedFeatures; }

    // The ground control points: the observations of this photo are drawn
    // over the picture, the point named selected highlighted.
    void setControlPoints(const QVector<ControlPoint>& points, const QString& selected);
    // Targets found but not yet accepted, as points with their observations: drawn apart.
    void setTargetCandidates(const QVector<ControlPoint>& candidates);

    // The EXIF overlay read again, as when the viewer is brought forward.
    void refreshExifOverlay();
    // The feature overlay drawn again from the shared selection, when it is on.
    void redrawFeatureOverlay();
    // Follows the shared selection (the main window's updateZooms): shows the
    // open pick of another viewer's match in this image under the loupe, or
    // returns from it.
    void alignWithSelection();

    // Asks whether to delete the image: Ok and Cancel, Ok the default.
    static bool confirmDelete(QMessageBox& box, const QString& displayName);
    // A point of the label (rotated picture, `shown` pixels large) in pixels
    // of the unrotated picture.
    static QPointF unrotate(const QPointF& point, const QSize& shown, int rotation);

signals:
    void repaintImageViewers();
    void zoomAllViewers(double factor);
    void imageViewerClosed(QString currentFilename);
    void sendExtractCommand();
    // Every loupe click, at the image position under the cursor (pixels from
    // the photo's top-left corner, fractions kept: the ground control picks).
    void imagePointPicked(const QString& fileName, const QPointF& position);

public slots:
    void undoUserSelectFeature();
    void triggerExtractShape();
    void closeDelete();
    void print();
    void deleteImage();
    void zoomIn();
    void zoomOut();
    void fitWindowSize();
    void normalSize();
    void normalSizetoToggle(bool checked);
    void fullScreenToggle();
    void fitToWindow();
    void about();
    void nextActClicked();
    void previousActClicked();
    void receiveMouseClick(QPointF pos, int type);
    void receiveMouseZoom(QPointF pos, int type);
    void repaint();
    void zoomAll(double factor);
    void toggleOverlay();
    void toggleSparseOverlay();
    void rotateLeftClicked();
    void rotateRightClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createWidgets();
    void createActions();
    void createToolBars();
    bool loadFile();
    void setExifOverlay(bool on);
    void updateZoomActions();
    void enterActualPixels();
    void leaveActualPixels();
    void showImage(const QString& path, const QString& name);
    // The image after (before) this one in the image list, unless in actual pixels.
    void stepThroughList(bool forward);
    void readOverlayData();
    // Undoes the last overlay on the base pixmap and draws it again when asked.
    void paintBase(bool withOverlay);
    void pickAt(const QPoint& imagePoint, int type);
    void enterLabelFullScreen();
    void leaveLabelFullScreen();
    void updateModeText();
    void updateMarks();

    QString m_fileName;
    QString m_displayName;
    QString m_appDir;
    ImagePicture m_picture;
    bool m_exifOn = false;
    bool m_featureOn = false;

    bool m_zoomed = false;
    bool m_mouseLoupe = false;
    bool m_following = false;
    bool m_fitFollows = false; // the picture is fitted to every new size of the viewport
    QString m_failureMessage;  // the status text of a photo that could not be shown
    int m_keyCounter = 0;
    QPoint m_lastDrag;

    MyListWidget* m_imageList;
    OsgWidget* m_scene;
    ImageFeatures m_overlay;
    QVector<ControlPoint> m_targetCandidates;
    QVector<ControlPoint> m_controlPoints;
    QString m_selectedPoint;

    ImageLabel* m_label = nullptr;
    QScrollArea* m_scroll = nullptr;
    QLabel* m_exifLabel = nullptr;
    QLabel* m_modeLabel = nullptr;
    QMessageBox* m_confirm = nullptr;
    ImageNavigator* m_view = nullptr;
    ExifOverlay* m_exif = nullptr;
    ImagePicker* m_picker = nullptr;
    std::unique_ptr<QPrinter> m_printer;
    QHash<QString, QAction*> m_actions;
};
