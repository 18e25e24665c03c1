#pragma once

#include <osg/BoundingBox>
#include <osg/Geode>
#include <osg/Group>
#include <osg/Polytope>
#include <osg/PositionAttitudeTransform>
#include <osg/ShapeDrawable>
#include <osg/ref_ptr>

#include <array>

// The placeable, turnable box whose contents are extracted into a new point
// cloud: a translucent box under its own transform below the scene root.
// Built on first use and then only hidden and shown.
class SelectionBox
{
public:
    // The centre of a box that has not been placed.
    static osg::Vec3d unplaced() { return osg::Vec3d(-1.0, -1.0, -1.0); }

    bool isBuilt() const { return m_transform.valid(); }
    bool isShown() const { return isBuilt() && m_transform->getNodeMask() != 0; }
    bool isPlaced() const { return m_centre != unplaced(); }

    // Builds the nodes, hidden, at the current centre under root.
    void build(osg::Group* root);
    void show();
    void hide();

    // World coordinates in double: the box is placed to the millimetre at
    // survey coordinates too (its transform's position is double).
    osg::Vec3d centre() const { return m_centre; }
    void setCentre(const osg::Vec3d& centre);
    void setCentreX(double x);
    void setCentreY(double y);
    void setCentreZ(double z);
    // Degrees about the vertical z axis.
    double rotation() const { return m_rotation; }
    void setRotation(double degrees);
    osg::Vec3f halfLengths() const { return m_halfLengths; }
    // Half of the given extent along x, y or z.
    void setWidth(double x);
    void setDepth(double y);
    void setHeight(double z);

    // Back to unplaced, unturned; the size stays.
    void reset();

    // The eight corners in world coordinates: corner i takes the maximum x
    // for bit 0, y for bit 1, z for bit 2 of the drawable's bounding box.
    std::array<osg::Vec3d, 8> corners() const;
    // Six planes through the faces, facing inward: what lies inside them is in the box.
    osg::Polytope polytope() const;

    osg::PositionAttitudeTransform* transform() const { return m_transform.get(); }
    osg::ShapeDrawable* drawable() const { return m_drawable.get(); }

private:
    void applyTransform();
    void applySize();

    osg::Vec3d m_centre = unplaced();
    osg::Vec3f m_halfLengths{0.5f, 0.5f, 0.5f};
    double m_rotation = 0.0;

    osg::ref_ptr<osg::PositionAttitudeTransform> m_transform;
    osg::ref_ptr<osg::Geode> m_geode;
    osg::ref_ptr<osg::Box> m_box;
    osg::ref_ptr<osg::ShapeDrawable> m_drawable;
};
