#pragma once

#include <QMetaType>
#include <QString>
#include <QVector>

#include <osg/Vec3f>
#include <osg/Vec4f>

// One wireless sensor node placed on the site, with its latest readings.
struct SensorNode {
    int id = 0;
    QString name;
    QString ip;
    osg::Vec3f position;
    osg::Vec4f colour;
    double wifi = 100;
    double temperature = 55;
    double humidity = 20;
    bool smokeOn = false;

    QString idText() const { return QString::number(id); }
};

Q_DECLARE_METATYPE(SensorNode)
Q_DECLARE_METATYPE(QVector<SensorNode>)
