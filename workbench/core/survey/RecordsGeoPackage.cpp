#include "core/survey/RecordsGeoPackage.h"

#include <ogrsf_frmts.h>

#include <cmath>
#include <functional>

#include "core/survey/GdalScope.h"
#include "core/survey/VectorFile.h"

namespace
{

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

using Text = std::function<QString(const AnnotationRecord&)>;

struct Field {
    const char* name;
    Text value;
};

bool isInteger(const QString& text)
{
    bool ok = false;
    text.trimmed().toLongLong(&ok);
    return ok;
}

// Integer when every record that has a value holds a whole number, text
// otherwise: no record's value is lost to the field's type.
OGRFieldType typeOf(const QVector<const AnnotationRecord*>& records, const Text& value)
{
    bool any = false;
    for (const AnnotationRecord* r : records) {
        const QString v = value(*r);
        if (v.trimmed().isEmpty())
            continue;
        any = true;
        if (!isInteger(v))
            return OFTString;
    }
    return any ? OFTInteger64 : OFTString;
}

bool writeLayer(VectorFile& file, const char* name, bool polygons, const OGRSpatialReference& srs,
                const QVector<RecordsGeoPackage::Layer>& layers, QString* error, int& skipped)
{
    QVector<const AnnotationRecord*> records;
    QVector<QString> days;
    for (const RecordsGeoPackage::Layer& l : layers)
        for (const AnnotationRecord& r : l.records) {
            records.push_back(&r);
            days.push_back(l.name);
        }
    OGRLayer* layer = file.addLayer(name, polygons ? wkbPolygon25D : wkbPoint25D, &srs, error);
    if (!layer)
        return false;
    const QVector<Field> texts = [&] {
        QVector<Field> f{{"basket", [](const AnnotationRecord& r) { return r.basket; }},
                         {"edm", [](const AnnotationRecord& r) { return r.edm; }},
                         {"d_code", [](const AnnotationRecord& r) { return r.dCode; }},
                         {"locus", [](const AnnotationRecord& r) { return r.locus; }}};
        if (polygons)
            f += {{"locus_desc", [](const AnnotationRecord& r) { return r.locusDesc; }},
                  {"structure", [](const AnnotationRecord& r) { return r.structure; }}};
        f += {{"square", [](const AnnotationRecord& r) { return r.square; }},
              {"area", [](const AnnotationRecord& r) { return r.area; }},
              {"site", [](const AnnotationRecord& r) { return r.site; }},
              {"year", [](const AnnotationRecord& r) { return r.year; }}};
        return f;
    }();
    // Fields: day, gid, the texts (typed by content), date, and for contexts the volume.
    const auto addField = [&](const char* field, OGRFieldType type) {
        OGRFieldDefn defn(field, type);
        return layer->CreateField(&defn) == OGRERR_NONE;
    };
    bool ok = addField("day", OFTString) && addField("gid", OFTInteger);
    QVector<OGRFieldType> types;
    for (const Field& f : texts) {
        types.push_back(typeOf(records, f.value));
        ok = ok && addField(f.name, types.back());
    }
    ok = ok && addField("date", OFTString);
    const char* volumeFields[] = {"volume_cut", "volume_fill", "volume_net", "volume_uncertainty",
                                  "volume_area"};
    if (polygons) {
        ok = ok && addField("volume_method", OFTString);
        for (const char* v : volumeFields)
            ok = ok && addField(v, OFTReal);
    }
    if (!ok)
        return fail(error, QStringLiteral("cannot make the fields of %1: ").arg(QString::fromLatin1(name)) +
                               GdalScope::reason());
    if (layer->StartTransaction() != OGRERR_NONE)
        return fail(error, GdalScope::reason());
    for (int i = 0; i < records.size(); ++i) {
        const AnnotationRecord& r = *records[i];
        OGRGeometry* geometry = nullptr;
        if (polygons) {
            if (r.vertices.size() < 3) {
                ++skipped;
                continue;
            }
            auto* ring = new OGRLinearRing;
            for (const osg::Vec3d& v : r.vertices)
                ring->addPoint(v.x(), v.y(), v.z());
            ring->addPoint(r.vertices.first().x(), r.vertices.first().y(), r.vertices.first().z());
            auto* polygon = new OGRPolygon;
            polygon->addRingDirectly(ring);
            geometry = polygon;
        } else {
            geometry = new OGRPoint(r.position.x(), r.position.y(), r.position.z());
        }
        OGRFeature feature(layer->GetLayerDefn());
        int field = 0;
        feature.SetField(field++, days[i].toUtf8().constData());
        feature.SetField(field++, r.id);
        for (int k = 0; k < texts.size(); ++k, ++field) {
            const QString v = texts[k].value(r).trimmed();
            if (v.isEmpty())
                feature.SetFieldNull(field);
            else if (types[k] == OFTInteger64)
                feature.SetField(field, GIntBig(v.toLongLong()));
            else
                feature.SetField(field, texts[k].value(r).toUtf8().constData());
        }
        if (r.date.isEmpty())
            feature.SetFieldNull(field++);
        else
            feature.SetField(field++, r.date.toUtf8().constData());
        if (polygons) {
            if (r.volume.isSet())
                feature.SetField(field, r.volume.method.toUtf8().constData());
            else
                feature.SetFieldNull(field);
            ++field;
            const double values[] = {r.volume.cut, r.volume.fill, r.volume.net, r.volume.uncertainty,
                                     r.volume.area};
            for (double v : values) {
                if (r.volume.isSet() && std::isfinite(v))
                    feature.SetField(field, v);
                else
                    feature.SetFieldNull(field);
                ++field;
            }
        }
        feature.SetGeometryDirectly(geometry);
        if (layer->CreateFeature(&feature) != OGRERR_NONE)
            return fail(error, QStringLiteral("cannot write a record: ") + GdalScope::reason());
    }
    if (layer->CommitTransaction() != OGRERR_NONE)
        return fail(error, GdalScope::reason());
    return true;
}

} // namespace

bool RecordsGeoPackage::write(const QString& path, int epsg, const QVector<Layer>& finds,
                              const QVector<Layer>& contexts, QString* error, int* skipped)
{
    GdalScope scope;
    int left = 0;
    int count = 0;
    for (const Layer& l : finds)
        count += l.records.size();
    for (const Layer& l : contexts)
        count += l.records.size();
    if (count == 0)
        return fail(error, QStringLiteral("There are no finds or contexts to export: open or record a day's "
                                          "layers first."));
    if (epsg <= 0)
        return fail(error,
                    QStringLiteral("The project has no reference system yet, so a GIS could not place "
                                   "the records: open a georeferenced reconstruction or elevation model "
                                   "first."));
    OGRSpatialReference srs;
    if (!VectorFile::systemOf(epsg, srs, error))
        return false;
    if (!srs.IsProjected())
        return fail(
            error,
            QStringLiteral("EPSG:%1 is not a projected system; the records are in survey metres.").arg(epsg));
    VectorFile file;
    if (!file.create(path, "GPKG", error))
        return false;
    QString why;
    if (!writeLayer(file, "finds", false, srs, finds, &why, left) ||
        !writeLayer(file, "contexts", true, srs, contexts, &why, left))
        return fail(error, path + QStringLiteral(": ") + why);
    if (!file.commit(error))
        return false;
    if (skipped)
        *skipped = left;
    return true;
}
