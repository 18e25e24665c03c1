#include <QBuffer>
#include <QLocale>
#include <QTemporaryDir>
#include <QtTest>

#include "ConfigReader.h"

namespace {

QVariant keyValue(const TrackerConfig& c, const QString& key)
{
    auto opt = [](const std::optional<int>& v) { return v ? QVariant(*v) : QVariant(); };
    if (key == "svmC") return c.svmC;
    if (key == "frameWidth") return c.frameWidth;
    if (key == "frameHeight") return c.frameHeight;
    if (key == "rollScale") return c.rollScale;
    if (key == "seed") return c.seed;
    if (key == "quietMode") return c.quietMode;
    if (key == "debugMode") return c.debugMode;
    if (key == "sequenceName") return c.sequenceName;
    if (key == "baudRate") return opt(c.baudRate);
    if (key == "iHighV") return opt(c.iHighV);
    if (key == "pitchScale") return c.pitchScale;
    if (key == "yawScale") return c.yawScale;
    if (key == "rollMin") return opt(c.rollMin);
    if (key == "rollMax") return opt(c.rollMax);
    if (key == "pitchMin") return opt(c.pitchMin);
    if (key == "pitchMax") return opt(c.pitchMax);
    if (key == "rampIncrement") return opt(c.rampIncrement);
    if (key == "transmissionDelay") return opt(c.transmissionDelay);
    if (key == "rampDelay") return opt(c.rampDelay);
    if (key == "iLowH") return opt(c.iLowH);
    if (key == "iHighH") return opt(c.iHighH);
    if (key == "iLowS") return opt(c.iLowS);
    if (key == "iHighS") return opt(c.iHighS);
    if (key == "iLowV") return opt(c.iLowV);
    if (key == "sequenceBasePath") return c.sequenceBasePath;
    if (key == "resultsPath") return c.resultsPath;
    if (key == "searchRadius") return c.searchRadius;
    if (key == "svmBudgetSize") return c.svmBudgetSize;
    return QVariant();
}

TrackerConfig readText(const QByteArray& text, QStringList* messages)
{
    QByteArray bytes = text;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    TrackerConfig config;
    config.svmC = 99;  // must be reset to the defaults first
    ConfigReader::read(buffer, config, messages);
    return config;
}

}  // namespace

class TestConfigReader : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Values are written with a decimal point whatever the user's locale.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void keys_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("svmC = 5") << QByteArray("svmC = 5\n") << "svmC" << QVariant(5.0) << QStringList();
        QTest::newRow("no separator") << QByteArray("svmC 5\n") << "svmC" << QVariant(1.0) << QStringList();
        QTest::newRow("separator glued") << QByteArray("svmC=5\n") << "svmC" << QVariant(1.0) << QStringList();
        QTest::newRow("comment") << QByteArray("# svmC = 5\n") << "svmC" << QVariant(1.0) << QStringList();
        QTest::newRow("comment glued") << QByteArray("#svmC = 5\n") << "svmC" << QVariant(1.0) << QStringList();
        QTest::newRow("name is case-sensitive") << QByteArray("SVMC = 5\n") << "svmC" << QVariant(1.0)
                                                << QStringList();
        QTest::newRow("decimal point") << QByteArray("svmC = 0.25\n") << "svmC" << QVariant(0.25) << QStringList();
        QTest::newRow("decimal comma") << QByteArray("svmC = 0,25\n") << "svmC" << QVariant(1.0)
                                       << QStringList{"error: invalid value for svmC: 0,25"};
        QTest::newRow("missing value") << QByteArray("frameWidth =\n") << "frameWidth" << QVariant(320)
                                       << QStringList{"error: invalid value for frameWidth: "};
        QTest::newRow("int") << QByteArray("frameWidth = 640\n") << "frameWidth" << QVariant(640) << QStringList();
        QTest::newRow("int with fraction") << QByteArray("frameWidth = 6.5\n") << "frameWidth" << QVariant(320)
                                           << QStringList{"error: invalid value for frameWidth: 6.5"};
        QTest::newRow("default height") << QByteArray("") << "frameHeight" << QVariant(240) << QStringList();
        QTest::newRow("default scale") << QByteArray("") << "rollScale" << QVariant(100) << QStringList();
        QTest::newRow("later line wins") << QByteArray("seed = 3\nseed = 4\n") << "seed" << QVariant(4)
                                         << QStringList();
        QTest::newRow("bool 1") << QByteArray("quietMode = 1\n") << "quietMode" << QVariant(true) << QStringList();
        QTest::newRow("bool 2") << QByteArray("debugMode = 2\n") << "debugMode" << QVariant(false)
                                << QStringList{"error: invalid value for debugMode: 2"};
        QTest::newRow("one word") << QByteArray("sequenceName = run 2\n") << "sequenceName" << QVariant("run")
                                  << QStringList();
        QTest::newRow("unset by default") << QByteArray("") << "baudRate" << QVariant() << QStringList();
        QTest::newRow("baud rate") << QByteArray("baudRate = 115200\n") << "baudRate" << QVariant(115200)
                                   << QStringList();
        QTest::newRow("colour bound") << QByteArray("  iHighV\t=  255  \r\n") << "iHighV" << QVariant(255)
                                      << QStringList();
        QTest::newRow("unknown key ignored") << QByteArray("gain = 5\nsvmC = 2\n") << "svmC" << QVariant(2.0)
                                             << QStringList();
        QTest::newRow("bad line then good") << QByteArray("svmC = x\nsvmC = 3\n") << "svmC" << QVariant(3.0)
                                            << QStringList{"error: invalid value for svmC: x"};
    }
    void keys()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QFETCH(QStringList, messages);
        QStringList printed;
        const TrackerConfig config = readText(text, &printed);
        QCOMPARE(keyValue(config, key), value);
        QCOMPARE(printed, messages);
    }

    void features_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("entries");  // kind/kernel/params;...
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("haar gaussian 0.2") << QByteArray("feature = haar gaussian 0.2\n") << "0/1/0.2"
                                           << QStringList();
        QTest::newRow("haar gaussian without sigma")
            << QByteArray("feature = haar gaussian\n") << ""
            << QStringList{"error: gaussian kernel requires a parameter (sigma)"};
        QTest::newRow("gaussian with a non-number") << QByteArray("feature = raw gaussian wide\n") << ""
                                                    << QStringList{"error: gaussian kernel requires a parameter (sigma)"};
        QTest::newRow("haar linear") << QByteArray("feature = haar linear\n") << "0/0/" << QStringList();
        QTest::newRow("linear ignores a parameter") << QByteArray("feature = raw linear 3\n") << "1/0/"
                                                    << QStringList();
        QTest::newRow("histogram intersection") << QByteArray("feature = histogram intersection\n") << "2/2/"
                                                << QStringList();
        QTest::newRow("raw chi2") << QByteArray("feature = raw chi2\n") << "1/3/" << QStringList();
        QTest::newRow("unknown feature") << QByteArray("feature = sift linear\n") << ""
                                         << QStringList{"error: unrecognised feature: sift"};
        QTest::newRow("unknown kernel") << QByteArray("feature = haar poly\n") << ""
                                        << QStringList{"error: unrecognised kernel: poly"};
        QTest::newRow("no kernel") << QByteArray("feature = haar\n") << ""
                                   << QStringList{"error: unrecognised kernel: "};
        QTest::newRow("features accumulate")
            << QByteArray("feature = haar gaussian 0.2\nfeature = bad linear\nfeature = histogram linear\n")
            << "0/1/0.2;2/0/" << QStringList{"error: unrecognised feature: bad"};
    }
    void features()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, entries);
        QFETCH(QStringList, messages);
        QStringList printed;
        const TrackerConfig config = readText(text, &printed);
        QStringList got;
        for (const TrackerConfig::Feature& f : config.features) {
            QStringList params;
            for (double p : f.params)
                params << QString::number(p);
            got << QString("%1/%2/%3").arg(f.kind).arg(f.kernel).arg(params.join(','));
        }
        QCOMPARE(got.join(';'), entries);
        QCOMPARE(printed, messages);
    }

    // Nothing told the user which settings exist or what they default to:
    // the example beside the program names every key with its default.
    void exampleConfigNamesEveryKeyWithItsDefault()
    {
        QFile example(QStringLiteral(ORVALIS_SOURCE_DIR "/src/Corvane/config.txt"));
        QVERIFY(example.open(QIODevice::ReadOnly));
        const QByteArray text = example.readAll();
        for (const QString& key : ConfigReader::keys())
            QVERIFY2(QRegularExpression("^#?" + key + " = ", QRegularExpression::MultilineOption)
                         .match(QString::fromUtf8(text))
                         .hasMatch(),
                     qPrintable(key));
        QStringList printed;
        const TrackerConfig read = readText(text, &printed);
        QCOMPARE(printed, QStringList());
        const TrackerConfig defaults;
        for (const QString& key : ConfigReader::keys())
            if (key != "feature")
                QCOMPARE(keyValue(read, key), keyValue(defaults, key));
        QCOMPARE(read.features.size(), 0);
    }

    // Started from anywhere but its own folder, Corvane ran on defaults:
    // the working folder's file comes first, then the one beside the program.
    void configFoundBesideTheProgram_data()
    {
        QTest::addColumn<bool>("inWorkingFolder");
        QTest::addColumn<bool>("besideProgram");
        QTest::addColumn<QString>("found");
        QTest::newRow("beside the program only") << false << true << "program";
        QTest::newRow("both: the working folder's") << true << true << "working";
        QTest::newRow("neither") << false << false << "";
    }
    void configFoundBesideTheProgram()
    {
        QFETCH(bool, inWorkingFolder);
        QFETCH(bool, besideProgram);
        QFETCH(QString, found);
        QTemporaryDir working, program;
        if (inWorkingFolder)
            QVERIFY(QFile::copy(ORVALIS_SOURCE_DIR "/src/Corvane/config.txt", working.filePath("config.txt")));
        if (besideProgram)
            QVERIFY(QFile::copy(ORVALIS_SOURCE_DIR "/src/Corvane/config.txt", program.filePath("config.txt")));
        const QString expected = found == "working"   ? working.filePath("config.txt")
                                 : found == "program" ? program.filePath("config.txt")
                                                      : QString();
        QCOMPARE(ConfigReader::locate({working.path(), program.path()}), expected);
        // The build puts the example there.
        QVERIFY(QFile::exists(ORVALIS_APP_DIR "/config.txt"));
    }

    void missingFileKeepsDefaults()
    {
        QTemporaryDir dir;
        QVERIFY(!ConfigReader::fileExists(dir.path()));  // a folder is not a config file
        const QString path = dir.filePath("config.txt");
        QVERIFY(!ConfigReader::fileExists(path));
        TrackerConfig config;
        config.frameWidth = 1;
        QStringList printed;
        QTest::ignoreMessage(QtInfoMsg, qPrintable("Error: Could not load config file. Using defaults. " + path));
        QVERIFY(!ConfigReader::readFile(path, config, &printed));
        QCOMPARE(config.frameWidth, 320);
        QCOMPARE(printed.size(), 1);

        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("frameWidth = 640\nfeature = haar linear\n");
        file.close();
        QVERIFY(ConfigReader::fileExists(path));
        QVERIFY(ConfigReader::readFile(path, config));
        QCOMPARE(config.frameWidth, 640);
        QCOMPARE(config.features.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestConfigReader)
#include "tst_configreader.moc"
