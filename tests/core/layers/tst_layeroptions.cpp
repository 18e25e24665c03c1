#include "core/layers/LayerOptions.h"
#include "core/project/ProjectDocument.h"
#include "core/project/ProjectReader.h"
#include "core/project/ProjectWriter.h"

#include <QBuffer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

class TestLayerOptions : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("visible");
        QTest::newRow("shown cloud") << int(LayerType::PointCloud) << QByteArray("/data/cloud one.ply")
                                     << QString("cloud one.ply") << true;
        QTest::newRow("hidden bundle")
            << int(LayerType::Bundle) << QByteArray("/data/sparse.nvm") << QString("north trench") << false;
        QTest::newRow("markup in texts") << int(LayerType::Terrain) << QString("/d/a&b <c>/dsm.tif").toUtf8()
                                         << QString("\"ortho\" & <dsm>") << true;
        QTest::newRow("non-latin") << int(LayerType::Points)
                                   << QString("/d/\u00e9t\u00e9/\u65e5.kml").toUtf8()
                                   << QString("\u0587 finds") << false;
    }

    // Written into its kind's section and read back, a layer keeps its kind,
    // file, name and visibility.
    void roundTrip()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        QFETCH(bool, visible);
        LayerOptions layer;
        layer.type = LayerType::Code(type);
        layer.file = file;
        layer.name = name;
        layer.visible = visible;
        layer.id = 7;

        ProjectDocument doc;
        doc.layers[type].append(layer);
        QBuffer buffer;
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QVERIFY(ProjectWriter::write(buffer, doc));
        buffer.close();

        ProjectDocument back;
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QString error;
        QVERIFY2(ProjectReader::read(buffer, back, &error), qPrintable(error));
        QCOMPARE(back.layers[type].size(), 1);
        const LayerOptions& read = back.layers[type].front();
        QCOMPARE(int(read.type), type);
        QCOMPARE(read.file, file);
        QCOMPARE(read.name, name);
        QCOMPARE(read.visible, visible);
        QCOMPARE(read.id, 0); // ids belong to the open tree, not to the file
    }

    // Items of older projects: no status reads hidden, elements of later
    // versions are passed over, and the reader ends after the item.
    void olderAndNewerItems()
    {
        const QByteArray text = "<models>"
                                "<item><file>/a.obj</file><name>a.obj</name></item>"
                                "<item><colour>red</colour><file>/b.obj</file><status>on</status>"
                                "<name>b.obj</name></item>"
                                "</models>";
        QXmlStreamReader xml(text);
        QVERIFY(xml.readNextStartElement());
        QVector<LayerOptions> read;
        while (xml.readNextStartElement()) {
            LayerOptions layer;
            layer.readXml(xml);
            read.append(layer);
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(read.size(), 2);
        QCOMPARE(read[0].file, QByteArray("/a.obj"));
        QVERIFY(!read[0].visible);
        QCOMPARE(read[1].name, QString("b.obj"));
        QVERIFY(read[1].visible);
    }
};

QTEST_MAIN(TestLayerOptions)
#include "tst_layeroptions.moc"
