#include <QtTest>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>

#include "core/project/ScanSettings.h"
#include "scene/view/OsgWidget.h"
#include "ui/annotation/GeoRef.h"
#include "ui/images/MyListWidget.h"
#include "ui/layers/LayerTree.h"
#include "ui/main/MainWindow.h"
#include "ui/pipeline/ConfigWindow.h"

#include <functional>
#include <memory>

namespace {

// Answers the next modal message box with the given button and records its text.
void answerNextBox(QMessageBox::StandardButton button, QString* text = nullptr)
{
    QTimer::singleShot(0, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (text)
            *text = box->text();
        box->button(button)->click();
    });
}

// The tree below an item as text: name, check mark for layers, children in brackets.
QString describe(const QStandardItem* item)
{
    QStringList parts;
    for (int r = 0; r < item->rowCount(); ++r) {
        const QStandardItem* c = item->child(r);
        QString s = c->text();
        if (c->isCheckable())
            s += c->checkState() == Qt::Checked ? "+" : "-";
        if (c->hasChildren())
            s += "[" + describe(c) + "]";
        parts << s;
    }
    return parts.join(',');
}

const QString samples = QStringLiteral(ORVALIS_SOURCE_DIR "/samples");

// A small PTS scan in folder: count line, then x y z intensity r g b.
QString writePts(const QString& folder, const QString& name)
{
    const QString path = folder + '/' + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("3\n1 2 3 -100 10 20 30\n4 5 6 200 40 50 60\n7 8 9 0 70 80 90\n");
    return path;
}

// Answers the modal dialogs that come up, one answer each, in order. A dialog
// beyond the answers is rejected and counted, so a wrong flow cannot hang.
class Answers : public QObject
{
public:
    using Answer = std::function<void(QWidget*)>;

    explicit Answers(QVector<Answer> answers) : m_answers(std::move(answers))
    {
        connect(&m_timer, &QTimer::timeout, this, &Answers::poll);
        m_timer.start(10);
    }

    static Answer button(QMessageBox::StandardButton which)
    {
        return [which](QWidget* w) {
            if (auto* box = qobject_cast<QMessageBox*>(w))
                box->button(which)->click();
        };
    }
    static Answer reject()
    {
        return [](QWidget* w) {
            if (auto* dialog = qobject_cast<QDialog*>(w))
                dialog->reject();
        };
    }

    QStringList texts; // of the message boxes, in order
    int unexpected = 0;
    int answered() const { return m_next; }

private:
    void poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w->property("answered").toBool())
            return;
        w->setProperty("answered", true);
        if (auto* box = qobject_cast<QMessageBox*>(w))
            texts << box->text();
        if (m_next < m_answers.size()) {
            m_answers[m_next++](w);
        } else {
            ++unexpected;
            reject()(w);
        }
    }

    QVector<Answer> m_answers;
    int m_next = 0;
    QTimer m_timer;
};

} // namespace

class TestProjectFlows : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(images); }
    void init() { ScanSettings::global() = ScanSettings(); }

    void saveDiscardOpenRestoresEverything()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("site.prj");
        MainWindow w;
        LayerTree* layers = w.layers();
        QStandardItem* root = layers->projectRoot();
        QStandardItem* scans = layers->addFolder(root);
        scans->setText("Scans 2015");
        w.addLayer(samples + "/trench_site.nvm", "pic22.nvm", true, scans);
        QStandardItem* inner = layers->addFolder(scans);
        inner->setText("trench A");
        layers->addFolder(root); // empty, keeps its default name
        w.addLayer(samples + "/trench_site.ply", "kermit cloud.ply", true, inner);
        QStandardItem* hidden = w.addLayer(writePts(dir.path(), "scan.pts"), "bunny.pts", false, root);
        w.addLayer(dir.filePath("x/MODEL.obj"), "MODEL.obj", true, inner);
        QVERIFY(hidden);
        w.imageList()->addImage("/photos/DSC_0001.JPG", "DSC_0001.JPG");
        w.imageList()->addImage("/photos/DSC_0002.JPG", "north wall.JPG");
        ScanSettings::global().denseReconstruction = "CMPMVS";
        ScanSettings::global().fx = 1000.25;
        w.createBookmark();
        w.createBookmark();
        const QString before = describe(root);

        QVERIFY(w.writeProjectFile(path));
        answerNextBox(QMessageBox::Discard);
        w.closeProject();
        QCOMPARE(root->rowCount(), 0);
        QCOMPARE(layers->layerCount(LayerType::PointCloud), 0);
        ScanSettings::global() = ScanSettings();

        MainWindow other;
        QVERIFY(other.openProjectFile(path));
        QCOMPARE(describe(other.layers()->projectRoot()), before);
        QCOMPARE(other.layers()->lists(LayerType::PointCloud).names, (QStringList{"kermit cloud.ply", "bunny.pts"}));
        QCOMPARE(other.layers()->lists(LayerType::Bundle).files.value(0), (samples + "/trench_site.nvm").toUtf8());
        QCOMPARE(other.imageList()->count(), 2);
        QCOMPARE(other.imageList()->fullPath("north wall.JPG"), QString("/photos/DSC_0002.JPG"));
        QCOMPARE(ScanSettings::global().denseReconstruction, QString("CMPMVS"));
        QCOMPARE(ScanSettings::global().fx, 1000.25);
        QCOMPARE(other.sceneView()->bookmarkCount(), 2);
        QCOMPARE(other.bookmarkMenu()->actions().size(), 2);
        QCOMPARE(other.projectPath(), path);
        QVERIFY(other.action("&Run Sparse")->isEnabled());
        // MODEL.obj is not there: the project keeps it and says so.
        QCOMPARE(other.statusBar()->currentMessage(),
                 QString("Project loaded; 1 layer could not be read (see the Log View)"));
        QVERIFY(!other.logList()->findItems(dir.filePath("x/MODEL.obj"), Qt::MatchContains).isEmpty());
    }

    void cancelOnCloseMergesTheNextProject()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("p.prj");
        MainWindow w;
        w.addLayer(writePts(dir.path(), "test.pts"), "test.pts", true);
        QVERIFY(w.writeProjectFile(path));
        answerNextBox(QMessageBox::Cancel);
        w.closeProject();
        QCOMPARE(w.layers()->projectRoot()->rowCount(), 1);
        QVERIFY(w.openProjectFile(path));
        QCOMPARE(describe(w.layers()->projectRoot()), QString("test.pts+[Type: PointCloud],test.pts+[Type: PointCloud]"));
    }

    void failedReadLoadsNothing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("version 2.0") << QByteArray("<prj version=\"2.0\"><project><f_a><type>Folder</type></f_a>"
                                                   "</project></prj>")
                                     << "not a PRJ version 1.0 file";
        QTest::newRow("broken after a layer")
            << QByteArray("<prj version=\"1.0\"><project><Site><type>Folder</type></Site></project><pointclouds>"
                          "<item><file>/a.pts</file><name>a.pts</name><status>on</status></item></pointcl")
            << "line 1";
    }
    void failedReadLoadsNothing()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QFile f(dir.filePath("bad.prj"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        MainWindow w;
        QString shown;
        answerNextBox(QMessageBox::Ok, &shown);
        QVERIFY(!w.openProjectFile(f.fileName()));
        QVERIFY2(shown.contains(message), qPrintable(shown));
        QVERIFY2(shown.startsWith("Cannot read file " + f.fileName()), qPrintable(shown));
        QCOMPARE(w.layers()->projectRoot()->rowCount(), 0);
        QVERIFY(w.projectPath().isEmpty());
        QVERIFY(w.statusBar()->currentMessage() != "Project loaded");
    }

    // Applying the scan settings (as every run does) writes no project file
    // named after the clock behind the user's back: the settings are taken,
    // and Save Project asks for a name.
    void settingsWithoutAProjectFileWriteNoFile()
    {
        QTemporaryDir dir;
        MainWindow w;
        w.findChild<ConfigWindow*>()->imageFolderEdit()->setText(dir.path());
        w.saveVariables();
        QVERIFY(w.projectPath().isEmpty());
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
        QCOMPARE(ScanSettings::global().imageFolder, dir.path());
        QVERIFY2(w.statusBar()->currentMessage().contains("use Save Project"),
                 qPrintable(w.statusBar()->currentMessage()));
        Answers answers({Answers::reject()});
        w.save();
        QTRY_COMPARE(answers.answered(), 1); // the file dialog, asking for a name
    }

    // Quit asks, as Close Project does, but only when something would be
    // lost: a control point removed since the last save is.
    void quitAsksAboutUnsavedChanges()
    {
        qApp->setQuitOnLastWindowClosed(false);
        QTemporaryDir dir;
        {
            MainWindow untouched;
            Answers none({});
            QVERIFY(untouched.close());
            QCOMPARE(none.answered() + none.unexpected, 0);
        }
        {
            MainWindow first;
            ControlPoint a, b, c;
            a.name = "GCP1", b.name = "GCP2", c.name = "GCP3";
            a.survey = osg::Vec3d(712001.5, 4123002.25, 95.125);
            first.findChild<GeoRef*>()->setControlPoints({a, b, c}, "EPSG:32633");
            QVERIFY(first.writeProjectFile(dir.filePath("site.prj")));
        }
        MainWindow w;
        QVERIFY(w.openProjectFile(dir.filePath("site.prj")));
        GeoRef* dock = w.findChild<GeoRef*>();
        {
            Answers none({});
            w.show();
            QVERIFY(w.close());
            QCOMPARE(none.answered() + none.unexpected, 0);
        }
        w.show();
        dock->table()->setCurrentCell(1, GeoRef::Name);
        dock->removeCurrentPoint();
        {
            Answers cancel({Answers::button(QMessageBox::Cancel)});
            QVERIFY(!w.close());
            QCOMPARE(cancel.texts, QStringList{"Save before closing?"});
            QVERIFY(w.isVisible());
        }
        {
            Answers save({Answers::button(QMessageBox::Save)});
            QVERIFY(w.close());
            QCOMPARE(save.answered(), 1);
            QCOMPARE(save.unexpected, 0);
        }
        MainWindow reopened;
        QVERIFY(reopened.openProjectFile(dir.filePath("site.prj")));
        QCOMPARE(reopened.findChild<GeoRef*>()->controlPoints().size(), 2);
    }

    void saveAsWritesExactlyTheNameGiven()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("season 2015"); // no ".prj" added
        MainWindow w;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();
        });
        w.saveAs();
        QCOMPARE(w.projectPath(), path);
        QVERIFY(QFile::exists(path));
        QVERIFY(!QFile::exists(path + ".prj"));
    }

    void firstPlacementOfANameWins()
    {
        QTemporaryDir dir;
        QFile f(dir.filePath("two.prj"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<prj version=\"1.0\"><project><f_North><f_a.pts><type>PointCloud</type></f_a.pts></f_North>"
                "<f_South><f_a.pts><type>PointCloud</type></f_a.pts></f_South></project><pointclouds>"
                "<item><file>/x/a.pts</file><name>a.pts</name><status>on</status></item>"
                "<item><file>/y/a.pts</file><name>a.pts</name><status>on</status></item></pointclouds></prj>");
        f.close();
        MainWindow w;
        QVERIFY(w.openProjectFile(f.fileName()));
        QCOMPARE(describe(w.layers()->projectRoot()),
                 QString("North[a.pts+[Type: PointCloud],a.pts+[Type: PointCloud]],South"));
    }

    // "Close Project" -> "Save" once cleared the project also when nothing
    // was written: a cancelled Save As or a failed write lost the work.
    void closeClearsTheProjectOnlyWhenItWasWritten_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("Save As cancelled") << "no name" << false;
        QTest::newRow("write failed") << "gone" << false;
        QTest::newRow("written") << "writable" << true;
    }
    void closeClearsTheProjectOnlyWhenItWasWritten()
    {
        QFETCH(QString, how);
        QFETCH(bool, cleared);
        auto folder = std::make_unique<QTemporaryDir>();
        const QString path = folder->filePath("site.prj");
        MainWindow w;
        if (how != "no name") {
            QVERIFY(w.writeProjectFile(path));
            QVERIFY(w.openProjectFile(path));
        }
        if (how == "gone")
            folder.reset(); // the project's folder went away (a removed stick)
        w.addLayer("/nonexistent/a.pts", "a.pts", true);
        QVector<Answers::Answer> answers{Answers::button(QMessageBox::Save)};
        if (how == "no name")
            answers << Answers::reject();
        if (!cleared)
            answers << Answers::button(QMessageBox::Ok);
        Answers dialogs(answers);
        w.closeProject();
        QCOMPARE(dialogs.unexpected, 0);
        QCOMPARE(dialogs.answered(), answers.size());
        QCOMPARE(w.layers()->projectRoot()->rowCount(), cleared ? 0 : 1);
        QCOMPARE(w.layers()->layerCount(LayerType::PointCloud), cleared ? 0 : 1);
        if (cleared) {
            QVERIFY(QFile::exists(path));
        } else {
            QVERIFY2(dialogs.texts.last().startsWith("The project was not saved, so it stays open."),
                     qPrintable(dialogs.texts.last()));
            QVERIFY(dialogs.texts.last().size() > 50); // and why
        }
    }

    void openStopsWhenTheOpenProjectCannotBeSaved()
    {
        auto folder = std::make_unique<QTemporaryDir>();
        const QString path = folder->filePath("site.prj");
        MainWindow w;
        QVERIFY(w.writeProjectFile(path));
        QVERIFY(w.openProjectFile(path));
        folder.reset();
        w.addLayer("/nonexistent/a.pts", "a.pts", true);
        Answers dialogs({Answers::button(QMessageBox::Save), Answers::button(QMessageBox::Ok)});
        w.openProj(); // no file dialog may follow
        QCOMPARE(dialogs.unexpected, 0);
        QCOMPARE(dialogs.answered(), 2);
        QCOMPARE(w.layers()->projectRoot()->rowCount(), 1);
        QVERIFY(w.statusBar()->currentMessage().startsWith("Project not opened"));
    }

    // Opening a project once reset the image and sync folders, which no
    // project file holds, and every setting the file lacked.
    void openingAProjectKeepsSettingsTheFileLacks()
    {
        QTemporaryDir dir;
        QFile f(dir.filePath("old.prj"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<prj version=\"1.0\"><project><type>Empty</type></project>"
                "<scan_settings><dense_reconstruction>SURE</dense_reconstruction><fy>99</fy></"
                "scan_settings></prj>");
        f.close();
        MainWindow w;
        ScanSettings::global().imageFolder = "/data/site/images";
        ScanSettings::global().syncFolder = "/media/camera";
        ScanSettings::global().fx = 1234.5;
        QVERIFY(w.openProjectFile(f.fileName()));
        const ScanSettings& s = ScanSettings::global();
        QCOMPARE(s.imageFolder, QString("/data/site/images"));
        QCOMPARE(s.syncFolder, QString("/media/camera"));
        QCOMPARE(s.fx, 1234.5);
        QCOMPARE(s.fy, 99.0);
        QCOMPARE(s.denseReconstruction, QString("SURE"));
        QCOMPARE(s.bundleAdjustment, QString("MPBA"));
        auto* window = w.findChild<ConfigWindow*>();
        QCOMPARE(window->imageFolderEdit()->text(), QString("/data/site/images"));
        QCOMPARE(window->syncFolderEdit()->text(), QString("/media/camera"));
        QCOMPARE(window->numberEdit("Fx")->text(), QString("1234.50000"));
        QCOMPARE(window->choiceBox("Dense Reconstruction")->currentText(), QString("SURE"));
    }
};

QTEST_MAIN(TestProjectFlows)
#include "tst_projectflows.moc"
