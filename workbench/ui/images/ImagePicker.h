#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

class ImageFeatures;
class OsgWidget;

// The picks of an image viewer, made on a loupe release: in the "match
// pixels" mode observations of one spot in two images, which the extract
// command triangulates; in the "2D feature" mode the nearest feature of the
// key file, marked with what the matcher matched it to. Picks go into the
// scene view's shared selection, so that every viewer draws them.
class ImagePicker : public QObject
{
    Q_OBJECT
public:
    enum class Mode {
        None,
        MatchPixels, // picks observations of one spot in two images ("&Match Pixels")
        FeatureInfo, // tells about the nearest feature and marks it ("&Draw 2D feature")
    };

    ImagePicker(OsgWidget* scene, QObject* parent);

    Mode mode() const { return m_mode; }
    void setMode(Mode mode) { m_mode = mode; }
    // What the status bar says about the mode.
    QString modeText() const;

    // A pick at an image pixel of the image named imageName, whose overlay
    // data gives its camera and features; removeNearby takes an earlier pick
    // within 5 pixels away instead. True when the selection changed.
    bool pickAt(const QString& imageName, const ImageFeatures& overlay, bool removeNearby,
                const QPoint& point, int type);
    // Takes the last pick back; false when there is none.
    bool undo();

signals:
    void statusMessage(const QString& text, int timeout);

private:
    bool pickMatch(const QString& imageName, const ImageFeatures& overlay, bool removeNearby,
                   const QPoint& point, int type);
    bool pickFeature(const QString& imageName, const ImageFeatures& overlay, const QPoint& point, int type);

    OsgWidget* m_scene;
    Mode m_mode = Mode::None;
};
