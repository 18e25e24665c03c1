#pragma once

// Small helpers shared by the point cloud reader and writer tests.

#include <QBuffer>
#include <QMetaType>

#include <osg/Array>
#include <osg/ref_ptr>

#include <initializer_list>

Q_DECLARE_METATYPE(osg::Vec3)
Q_DECLARE_METATYPE(osg::Vec4)

namespace pointarrays {

inline osg::Vec4 rgb(int r, int g, int b)
{
    return osg::Vec4(r / 255.0f, g / 255.0f, b / 255.0f, 1.0f);
}

// The colour of points read without one.
inline const osg::Vec4 grey(0.5f, 0.5f, 0.5f, 1.0f);

inline osg::ref_ptr<osg::Vec3Array> makeVertices(std::initializer_list<osg::Vec3> list)
{
    osg::ref_ptr<osg::Vec3Array> array = new osg::Vec3Array;
    array->assign(list.begin(), list.end());
    return array;
}

inline osg::ref_ptr<osg::Vec4Array> makeColours(std::initializer_list<osg::Vec4> list)
{
    osg::ref_ptr<osg::Vec4Array> array = new osg::Vec4Array;
    array->assign(list.begin(), list.end());
    return array;
}

// Runs a device reader (PlyReader::readPly, PtsReader::readPts, ...) over text in memory.
template <typename Reader>
bool readText(Reader reader, const QByteArray& text, osg::Vec3Array& v, osg::Vec4Array& c, QString* message)
{
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    return reader(buffer, v, c, message);
}

} // namespace pointarrays
