#include "core/images/ExtractedObject.h"

namespace
{

QVector<const ExtrudedItem*> ofKind(const QVector<ExtrudedItem>& items, int kind)
{
    QVector<const ExtrudedItem*> out;
    for (const ExtrudedItem& item : items)
        if (item.kind == kind)
            out.append(&item);
    return out;
}

void ring(const QVector<const ExtrudedItem*>& items, bool lowered, int type, QVector<ConnectorRecord>& out)
{
    for (int i = 0; i < items.size(); ++i) {
        const ExtrudedItem& a = *items[i];
        const ExtrudedItem& b = *items[(i + 1) % items.size()];
        ConnectorRecord c;
        c.first = lowered ? a.lowered : a.point;
        c.second = lowered ? b.lowered : b.point;
        c.third = a.foot;
        c.type = type;
        out.append(c);
    }
}

void uprights(const QVector<const ExtrudedItem*>& items, int type, QVector<ConnectorRecord>& out)
{
    for (const ExtrudedItem* item : items) {
        ConnectorRecord c;
        c.first = item->point;
        c.second = item->lowered;
        c.third = item->foot;
        c.type = type;
        out.append(c);
    }
}

} // namespace

QVector<ConnectorRecord> ExtractedObject::plan(const QVector<ExtrudedItem>& items)
{
    const QVector<const ExtrudedItem*> outer = ofKind(items, 1);
    const QVector<const ExtrudedItem*> inner = ofKind(items, 0);
    QVector<ConnectorRecord> out;
    ring(outer, false, 1, out);
    ring(inner, false, 0, out);
    ring(outer, true, 2, out);
    ring(inner, true, 3, out);
    uprights(outer, 4, out);
    uprights(inner, 5, out);
    return out;
}
