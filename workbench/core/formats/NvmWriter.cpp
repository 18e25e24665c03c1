#include "core/formats/NvmWriter.h"

#include <cmath>
#include <vector>

#include "core/formats/SparseBundle.h"
#include "common/numbers/NumberText.h"

namespace
{

void append(QByteArray& out, double value)
{
    char number[NumberText::maxLength];
    out.append(number, int(NumberText::write(number, value) - number));
}

void append(QByteArray& out, float value)
{
    char number[NumberText::maxLength];
    out.append(number, int(NumberText::write(number, value) - number));
}

} // namespace

QByteArray NvmWriter::text(const SparseBundle& bundle, const NvmReader::VertexArrays& vertices,
                           const NvmReader::ColourArrays& colours)
{
    QByteArray out = "NVM_V3\n\n";
    for (size_t m = 0; m < bundle.bundleCameras.size(); ++m) {
        const SparseBundle::CameraList& cameras = bundle.bundleCameras[m];
        out += QByteArray::number(qulonglong(cameras.size())) + '\n';
        for (const auto& c : cameras) {
            out += QByteArray::fromStdString(c->name) + ' ';
            append(out, c->focalLength);
            // The file's order is w, x, y, z.
            for (int k : {3, 0, 1, 2}) {
                out += ' ';
                append(out, c->rotation[k]);
            }
            for (int k = 0; k < 3; ++k) {
                out += ' ';
                append(out, c->centre[k]);
            }
            out += ' ';
            append(out, c->radial);
            out += " 0\n";
        }
        const bool hasPoints =
            m < vertices.size() && m < colours.size() && vertices[m].valid() && colours[m].valid();
        const size_t count = hasPoints ? vertices[m]->size() : 0;
        // The measurements of each point, gathered from the cameras' views.
        std::vector<QByteArray> seen(count);
        std::vector<int> seenCount(count, 0);
        for (size_t c = 0; c < cameras.size(); ++c)
            for (const auto& v : cameras[c]->views) {
                if (!(v->pointIndex >= 0) || v->pointIndex >= double(count))
                    return QByteArray();
                const size_t p = size_t(v->pointIndex);
                QByteArray& line = seen[p];
                line += ' ' + QByteArray::number(qulonglong(c)) + ' ';
                append(line, v->featureIndex);
                line += ' ';
                append(line, v->x);
                line += ' ';
                append(line, v->y);
                ++seenCount[p];
            }
        out += '\n' + QByteArray::number(qulonglong(count)) + '\n';
        for (size_t p = 0; p < count; ++p) {
            const osg::Vec3f& at = (*vertices[m])[p];
            const osg::Vec4f& colour = p < colours[m]->size() ? (*colours[m])[p] : osg::Vec4f(1, 1, 1, 1);
            for (int k = 0; k < 3; ++k) {
                append(out, at[k]);
                out += ' ';
            }
            for (int k = 0; k < 3; ++k)
                out += QByteArray::number(int(std::lround(colour[k] * 255.0))) + ' ';
            out += QByteArray::number(seenCount[p]) + seen[p] + '\n';
        }
        out += '\n';
    }
    out += "0\n";
    return out;
}
