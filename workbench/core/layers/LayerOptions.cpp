#include "core/layers/LayerOptions.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

void LayerOptions::readXml(QXmlStreamReader& xml)
{
    visible = false;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("file"))
            file = xml.readElementText().toUtf8();
        else if (xml.name() == QLatin1String("name"))
            name = xml.readElementText();
        else if (xml.name() == QLatin1String("status"))
            visible = xml.readElementText() == QLatin1String("on");
        else
            xml.skipCurrentElement();
    }
}

void LayerOptions::writeXml(QXmlStreamWriter& xml) const
{
    xml.writeStartElement(QStringLiteral("item"));
    xml.writeTextElement(QStringLiteral("file"), QString::fromUtf8(file));
    xml.writeTextElement(QStringLiteral("name"), name);
    // Hidden layers are written "off" so they reopen hidden.
    xml.writeTextElement(QStringLiteral("status"), visible ? QStringLiteral("on") : QStringLiteral("off"));
    xml.writeEndElement();
}
