#include "ui/images/ImagePicker.h"

#include "core/log/LogLine.h"

#include <QStringList>

#include <iostream>

#include "scene/images/ImageMatchScene.h"
#include "scene/view/OsgWidget.h"
#include "ui/images/ImageFeatures.h"

namespace
{
constexpr double featureSearchRadius = 100.0;
} // namespace

ImagePicker::ImagePicker(OsgWidget* scene, QObject* parent) : QObject(parent), m_scene(scene) {}

QString ImagePicker::modeText() const
{
    switch (m_mode) {
    case Mode::MatchPixels:
        return tr("Match Pixels: click the same spot in two images (right button: outer ring)");
    case Mode::FeatureInfo:
        return tr("2D feature: click near a feature to mark it and see its matches");
    case Mode::None:
        break;
    }
    return tr("Picking off");
}

bool ImagePicker::pickAt(const QString& imageName, const ImageFeatures& overlay, bool removeNearby,
                         const QPoint& point, int type)
{
    if (!m_scene || m_mode == Mode::None)
        return false;
    LogLine() << "Mouse: " << point.x() << "," << point.y() << std::endl;
    if (m_mode == Mode::MatchPixels)
        return pickMatch(imageName, overlay, removeNearby, point, type);
    return pickFeature(imageName, overlay, point, type);
}

bool ImagePicker::pickMatch(const QString& name, const ImageFeatures& overlay, bool removeNearby,
                            const QPoint& point, int type)
{
    ImageSelection& selection = m_scene->imageMatches()->selection();
    LogLine() << "CamID = " << overlay.cameraIndex << std::endl;
    ImagePick pick;
    pick.imageName = name;
    pick.cameraIndex = overlay.cameraIndex;
    pick.reconstructionFolder = overlay.reconstructionFolder;
    pick.type = type;
    pick.x = point.x();
    pick.y = point.y();
    switch (selection.pick(pick, removeNearby)) {
    case ImageSelection::PickOutcome::Added: {
        const ImageSelection::Match& match = selection.matches()[selection.matches().size() - 1];
        emit statusMessage(match.size() == 2 ? tr("Match %1 complete").arg(selection.matches().size())
                                             : tr("Pick the same spot in another image"),
                           4000);
        break;
    }
    case ImageSelection::PickOutcome::Removed:
        emit statusMessage(tr("Pick removed"), 4000);
        break;
    case ImageSelection::PickOutcome::SameImage:
        emit statusMessage(tr("Same Image for Feature, use a different image"), 4000);
        return false;
    }
    if (overlay.cameraIndex < 0)
        emit statusMessage(
            overlay.cameraProblem.isEmpty()
                ? tr("%1 has no camera in the loaded reconstruction: its picks cannot be triangulated")
                      .arg(name)
                : overlay.cameraProblem + tr(": its picks cannot be triangulated"),
            6000);
    return true;
}

bool ImagePicker::pickFeature(const QString& name, const ImageFeatures& overlay, const QPoint& point,
                              int type)
{
    double best = 0;
    const FeatureRecord* nearest = overlay.nearest(point, featureSearchRadius, &best);
    if (!nearest) {
        emit statusMessage(tr("No feature within 100 pixels"), 4000);
        return false;
    }
    LogLine() << "Distance is " << best << " Feature is " << nearest->index << std::endl;
    ImageMatchScene* matches = m_scene->imageMatches();
    QStringList matchedTo;
    for (const MatchSets::Match& m : matches->matchSets().matchesOf(name, nearest->index)) {
        LogLine() << "Matched to: " << m.otherImage.toStdString() << " Feature: " << m.otherFeature
                  << std::endl;
        matchedTo << tr("%1 feature %2").arg(m.otherImage).arg(m.otherFeature);
    }
    ImagePick feature;
    feature.imageName = name;
    feature.cameraIndex = overlay.cameraIndex;
    feature.reconstructionFolder = overlay.reconstructionFolder;
    feature.type = type;
    feature.x = int(nearest->x);
    feature.y = int(nearest->y);
    const bool added = matches->selection().toggleFeature(feature);
    emit statusMessage(
        added ? tr("Feature %1 at (%2, %3), scale %4: %5")
                    .arg(nearest->index)
                    .arg(nearest->x)
                    .arg(nearest->y)
                    .arg(nearest->scale)
                    .arg(matchedTo.isEmpty() ? tr("no matches") : tr("matched to ") + matchedTo.join(", "))
              : tr("Feature %1 unmarked").arg(nearest->index),
        8000);
    return true;
}

bool ImagePicker::undo()
{
    return m_scene && m_scene->imageMatches()->selection().undo();
}
