#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <osg/Group>
#include <osg/observer_ptr>
#include <osg/ref_ptr>

#include <functional>
#include <vector>

#include "core/images/ExtractedObject.h"
#include "core/georef/GeoReference.h"
#include "core/images/ImageSelection.h"
#include "core/images/MatchSets.h"
#include "core/images/TriangulationRun.h"
#include "core/platform/ScriptProcess.h"

// What the scene view keeps for the image viewers and the extract command:
// the matcher's match sets (read once), the user's image matches and picked
// features, and the shapes extracted from them: triangulated points,
// extruded items, connectors and extracted objects.
class SparseBundle;

class ImageMatchScene
{
public:
    explicit ImageMatchScene(osg::Group* root);

    // The match sets of the folder of imagePath, read on the first call that
    // finds none held; a missing or broken file gives what could be read, and
    // a file that is there but cannot be read is reported once, as a warning
    // to the LogSink.
    const MatchSets& matchSetsFor(const QString& imagePath);
    const MatchSets& matchSets() const { return m_matchSets; }

    ImageSelection& selection() { return m_selection; }
    const ImageSelection& selection() const { return m_selection; }

    // The georeference of the reconstruction whose photos lie in folder (a
    // pick's reconstructionFolder); null: the reconstruction has none. What
    // is triangulated from the picks of a reconstruction is placed by its own.
    void setGeoReference(const QString& folder, const GeoReference* geo);
    // The same for every folder the cameras of a loaded bundle lie in.
    void setGeoReference(const SparseBundle& bundle, const GeoReference* geo);
    osg::Vec3d toWorld(const osg::Vec3d& model, const QString& folder) const;

    // An image the scene names for an image viewer (file name in the image folder).
    QString popupImage() const { return m_popupImage; }
    void setPopupImage(const QString& name) { m_popupImage = name; }

    struct Extract {
        QStringList log; // lines for the log view
        int points = 0;  // matches extracted: triangulated, and the files written
        int shapeIndex = -1;
        QString lispFile;    // written CAD export, empty when none
        QString featureFile; // written user feature file, empty when none
    };
    // The extract command: triangulates every match of two observations
    // with the tool under appDir in the folder of the reconstruction its
    // picks' cameras come from, joins the points by connectors into a new
    // extracted object, writes the CAD export and the user feature file into
    // that folder, moves the triangulated matches to the history and takes
    // the point markers away. One extract works in one reconstruction (the
    // first complete match's); a match whose photos have no camera or
    // cameras of two reconstructions is refused with the reason. Matches that
    // could not be triangulated stay, and all of them stay when a file
    // cannot be written.
    Extract extract(const QString& appDir);

    // Steps of the extract command.
    // Returns the indices of the matches that got a point; folder receives
    // the reconstruction folder they were triangulated in.
    QVector<int> triangulateImageMatches(const QString& appDir, QString& folder, QStringList& log);
    // Makes a kind 0 or 1 item of a point in model coordinates of the
    // reconstruction in folder; a height other than 0 replaces its z.
    void extrude(const osg::Vec3d& modelPoint, const QString& folder, int kind, double height = 0);
    ExtrudedItem extrudedItem(const osg::Vec3d& modelPoint, const QString& folder, int kind,
                              double height = 0) const;
    // A new extracted object from the extruded items; returns its index.
    int buildConnectors();
    void removeTriangulatedPoints();

    const std::vector<ExtractedObject>& extractedObjects() const { return m_objects; }
    const QVector<ExtrudedItem>& extrudedItems() const { return m_items; }
    const std::vector<osg::ref_ptr<osg::Node>>& triangulatedPoints() const { return m_pointMarkers; }
    osg::Group* connectorGroup() const { return m_connectors.get(); }

    void setTriangulationTimeout(int ms) { m_timeoutMs = ms; }

private:
    void showConnectorGroup();
    void showItem(const ExtrudedItem& item);

    osg::observer_ptr<osg::Group> m_root;
    MatchSets m_matchSets;
    ImageSelection m_selection;
    QHash<QString, GeoReference> m_geo; // by folder key
    QSet<QString> m_reportedMatchFiles;
    QString m_popupImage;

    std::vector<osg::ref_ptr<osg::Node>> m_pointMarkers;
    QVector<ExtrudedItem> m_items;
    std::vector<ExtractedObject> m_objects;
    osg::ref_ptr<osg::Group> m_connectors;

    ScriptProcess m_process;
    int m_timeoutMs = TriangulationRun::defaultTimeoutMs;
};
