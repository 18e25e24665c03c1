#pragma once

#include <osgViewer/ViewerEventHandlers>

#include <functional>

// The view's frame statistics. Its keys ("s" shows the statistics, "S"
// prints them) rest while another handler moves the camera with the same
// keys: the map manipulator's "S" must not also open the statistics.
class ViewStatsHandler : public osgViewer::StatsHandler
{
public:
    // Tells whether a key belongs to the camera's navigation just now.
    using KeyTaken = std::function<bool(int key)>;

    explicit ViewStatsHandler(KeyTaken keyTaken) : m_keyTaken(std::move(keyTaken)) {}

    bool handle(const osgGA::GUIEventAdapter& ea, osgGA::GUIActionAdapter& aa) override;

    // 0 while no statistics are shown.
    int statsType() const { return _statsType; }

private:
    KeyTaken m_keyTaken;
};
