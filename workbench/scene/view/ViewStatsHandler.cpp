#include "scene/view/ViewStatsHandler.h"

bool ViewStatsHandler::handle(const osgGA::GUIEventAdapter& ea, osgGA::GUIActionAdapter& aa)
{
    const bool keyEvent = ea.getEventType() == osgGA::GUIEventAdapter::KEYDOWN ||
                          ea.getEventType() == osgGA::GUIEventAdapter::KEYUP;
    if (keyEvent && m_keyTaken && m_keyTaken(ea.getKey()))
        return false;
    return osgViewer::StatsHandler::handle(ea, aa);
}
