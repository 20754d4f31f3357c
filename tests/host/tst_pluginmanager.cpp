#include "testsupport.h"

#include "velcm/id.h"
#include "velplugin/iplugin.h"
#include "velplugin/pluginmanager.h"

#include <QFileInfo>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString kFixtureDir = QStringLiteral(HOST_FIXTURE_DIR);

PluginSpec *specForFile(const QString &fileName)
{
    const QList<PluginSpec *> pluginInfos = PluginManager::instance()->plugins();
    for (PluginSpec *pluginInfo : pluginInfos)
        if (QFileInfo(pluginInfo->filePath()).fileName() == fileName)
            return pluginInfo;
    return nullptr;
}

QString libraryFile(const char *target)
{
    return QStringLiteral("lib") + QLatin1String(target) + QStringLiteral(".so");
}

// The smallest possible plugin.
class BarePlugin : public IPlugin
{
public:
    bool initialize(const QStringList &, QString *, const QString &) override { return true; }
    void extensionsInitialized() override {}
};

} // namespace

class TestPluginManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void loadsEveryLibraryOfTheFolderInNameOrder();
    void refusesBrokenPlugins_data();
    void refusesBrokenPlugins();
    void runsTheGoodPlugin();
    void findsPoolObjectsById_data();
    void findsPoolObjectsById();
    void addsAndRemovesObjects();
    void loadingAgainChangesNothing();
    void missingFolderGivesNoPlugins();
    void shutdownDeletesPoolThenPlugins();
};

void TestPluginManager::initTestCase()
{
    TestSupport::installWarningGuard();
}

void TestPluginManager::cleanup()
{
    VERIFY_NO_UNEXPECTED_WARNINGS();
}

void TestPluginManager::loadsEveryLibraryOfTheFolderInNameOrder()
{
    // One warning for each fixture that fails, naming it.
    TestSupport::expectWarning(
        QRegularExpression(QStringLiteral("^plugin failed: .*hostfixture_")));
    const QList<PluginSpec *> pluginInfos = PluginManager::instance()->loadPlugins(kFixtureDir);

    QStringList files;
    for (const PluginSpec *pluginInfo : pluginInfos)
        files << QFileInfo(pluginInfo->filePath()).fileName();
    // README.txt is not a library and is skipped.
    const QStringList expected{
        libraryFile("hostfixture_badversion"), libraryFile("hostfixture_failinit"),
        libraryFile("hostfixture_good"),       libraryFile("hostfixture_missingkey"),
        libraryFile("hostfixture_notplugin"),  libraryFile("hostfixture_wrongiid"),
        libraryFile("hostfixture_wrongtype")};
    QCOMPARE(files, expected);
    QCOMPARE(PluginManager::instance()->plugins().size(), expected.size());
}

void TestPluginManager::refusesBrokenPlugins_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("hasRoot");

    QTest::newRow("missing key") << libraryFile("hostfixture_missingkey")
                                 << int(PluginSpec::Invalid)
                                 << QStringLiteral("key \"Version\" is missing") << false;
    QTest::newRow("wrong type") << libraryFile("hostfixture_wrongtype") << int(PluginSpec::Invalid)
                                << QStringLiteral("key \"Required\" must be a bool, not a string")
                                << false;
    QTest::newRow("bad version") << libraryFile("hostfixture_badversion")
                                 << int(PluginSpec::Invalid)
                                 << QStringLiteral(
                                        "key \"Version\" is \"1.2\", expected the form x.y.z")
                                 << false;
    QTest::newRow("wrong IID") << libraryFile("hostfixture_wrongiid") << int(PluginSpec::Invalid)
                               << QStringLiteral("interface id is \"OtherAppPlugin\"") << false;
    QTest::newRow("root is not an IPlugin")
        << libraryFile("hostfixture_notplugin") << int(PluginSpec::Read)
        << QStringLiteral("root object HostTestNotPlugin is not an IPlugin") << false;
    QTest::newRow("initialize fails")
        << libraryFile("hostfixture_failinit") << int(PluginSpec::Loaded)
        << QStringLiteral("initialize failed: fixture refuses to start") << true;
}

void TestPluginManager::refusesBrokenPlugins()
{
    QFETCH(QString, file);
    QFETCH(int, state);
    QFETCH(QString, error);
    QFETCH(bool, hasRoot);

    PluginSpec *pluginInfo = specForFile(file);
    QVERIFY(pluginInfo);
    QCOMPARE(int(pluginInfo->state()), state);
    QVERIFY(pluginInfo->hasError());
    // The text says which library and what is wrong with it.
    QVERIFY2(pluginInfo->errorString().contains(file), qPrintable(pluginInfo->errorString()));
    QVERIFY2(pluginInfo->errorString().contains(error), qPrintable(pluginInfo->errorString()));
    QCOMPARE(pluginInfo->plugin() != nullptr, hasRoot);
}

void TestPluginManager::runsTheGoodPlugin()
{
    PluginSpec *pluginInfo = specForFile(libraryFile("hostfixture_good"));
    QVERIFY(pluginInfo);
    QVERIFY2(!pluginInfo->hasError(), qPrintable(pluginInfo->errorString()));
    QCOMPARE(pluginInfo->state(), PluginSpec::Running);
    QCOMPARE(pluginInfo->name(), QStringLiteral("HostTestGood"));
    QCOMPARE(pluginInfo->version(), QStringLiteral("1.2.3"));
    QCOMPARE(pluginInfo->compatVersion(), QStringLiteral("1.0.0"));
    QCOMPARE(pluginInfo->category(), QStringLiteral("Page"));
    QCOMPARE(pluginInfo->description(), QStringLiteral("A plugin the host must load."));
    QCOMPARE(pluginInfo->vendor(), QStringLiteral("velapp tests"));
    QCOMPARE(pluginInfo->isRequired(), false);
    QCOMPARE(pluginInfo->metaData().value(QStringLiteral("Url")).toString(),
             QStringLiteral("https://example.invalid/good"));

    IPlugin *plugin = pluginInfo->plugin();
    QVERIFY(plugin);
    QCOMPARE(plugin->property("calls").toStringList(),
             (QStringList{QStringLiteral("initialize"), QStringLiteral("extensionsInitialized"),
                          QStringLiteral("delayedInitialize")}));
    QCOMPARE(plugin->property("arguments").toStringList(),
             (QStringList{QStringLiteral("-first"), QStringLiteral("second")}));
    QCOMPARE(plugin->property("dllName").toString(), QStringLiteral("libhostfixture_good"));
}

void TestPluginManager::findsPoolObjectsById_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("objectName");

    QTest::newRow("descriptor") << QStringLiteral("VELApp.HostTestWidget")
                                << QStringLiteral("HostTestDescriptor");
    QTest::newRow("second object")
        << QStringLiteral("VELApp.HostTestSecond") << QStringLiteral("HostTestSecond");
    QTest::newRow("unknown id") << QStringLiteral("VELApp.Nothing") << QString();
    QTest::newRow("empty id") << QString() << QString();
}

void TestPluginManager::findsPoolObjectsById()
{
    QFETCH(QString, id);
    QFETCH(QString, objectName);

    QObject *obj = PluginManager::instance()->objectById(id);
    QCOMPARE(obj ? obj->objectName() : QString(), objectName);
    if (obj)
        QCOMPARE(Id::fromSetting(obj->property("id")), Id(id.toUtf8()));
}

void TestPluginManager::addsAndRemovesObjects()
{
    PluginManager *manager = PluginManager::instance();
    const QList<QObject *> before = manager->allObjects();
    QCOMPARE(before.size(), 2);
    QCOMPARE(before.at(0)->objectName(), QStringLiteral("HostTestDescriptor"));
    QCOMPARE(before.at(1)->objectName(), QStringLiteral("HostTestSecond"));
    QCOMPARE(before.at(0)->property("dllname").toString(), QStringLiteral("libhostfixture_good"));

    QSignalSpy added(manager, &PluginManager::objectAdded);
    QSignalSpy removed(manager, &PluginManager::aboutToRemoveObject);
    QVERIFY(added.isValid());
    QVERIFY(removed.isValid());

    // What a plugin hands over with addAutoReleasedObject lands in the pool.
    BarePlugin plugin;
    QObject obj;
    plugin.addAutoReleasedObject(&obj);
    QCOMPARE(added.count(), 1);
    QCOMPARE(added.at(0).at(0).value<QObject *>(), &obj);
    QCOMPARE(manager->allObjects().last(), &obj);

    TestSupport::expectWarning(QRegularExpression(QStringLiteral("object added twice")));
    manager->addObject(&obj);
    QCOMPARE(added.count(), 1);

    manager->removeObject(&obj);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(manager->allObjects(), before);
    TestSupport::expectWarning(QRegularExpression(QStringLiteral("not in the pool")));
    manager->removeObject(&obj);
    QCOMPARE(removed.count(), 1);
}

void TestPluginManager::loadingAgainChangesNothing()
{
    PluginManager *manager = PluginManager::instance();
    const QList<PluginSpec *> pluginInfos = manager->plugins();
    const QList<QObject *> objects = manager->allObjects();

    QCOMPARE(manager->loadPlugins(kFixtureDir), pluginInfos);
    QCOMPARE(manager->loadPlugin(kFixtureDir + QLatin1Char('/') + libraryFile("hostfixture_good")),
             specForFile(libraryFile("hostfixture_good")));
    QCOMPARE(manager->plugins(), pluginInfos);
    QCOMPARE(manager->allObjects(), objects);
    QCOMPARE(specForFile(libraryFile("hostfixture_good"))
                 ->plugin()
                 ->property("calls")
                 .toStringList()
                 .size(),
             3);
}

void TestPluginManager::missingFolderGivesNoPlugins()
{
    TestSupport::expectWarning(QRegularExpression(QStringLiteral("does not exist")));
    const int before = PluginManager::instance()->plugins().size();
    QVERIFY(
        PluginManager::instance()->loadPlugins(kFixtureDir + QStringLiteral("/nowhere")).isEmpty());
    QCOMPARE(PluginManager::instance()->plugins().size(), before);
}

void TestPluginManager::shutdownDeletesPoolThenPlugins()
{
    PluginManager *manager = PluginManager::instance();
    QStringList destroyed;
    bool descriptorSawShutdown = false;
    for (QObject *obj : manager->allObjects()) {
        connect(obj, &QObject::destroyed, this, [&destroyed, &descriptorSawShutdown, obj]() {
            destroyed << obj->objectName();
            if (obj->objectName() == QLatin1String("HostTestDescriptor"))
                descriptorSawShutdown = obj->property("pluginShutDown").toBool();
        });
    }
    auto *last = new QObject;
    last->setObjectName(QStringLiteral("AddedLast"));
    connect(last, &QObject::destroyed, this,
            [&destroyed]() { destroyed << QStringLiteral("AddedLast"); });
    manager->addObject(last);
    // Deleted by its owner before shutdown: must not be deleted twice.
    auto *gone = new QObject;
    manager->addObject(gone);
    delete gone;

    QSignalSpy removed(manager, &PluginManager::aboutToRemoveObject);
    QVERIFY(removed.isValid());
    manager->shutdown();

    QCOMPARE(destroyed, (QStringList{QStringLiteral("AddedLast"), QStringLiteral("HostTestSecond"),
                                     QStringLiteral("HostTestDescriptor")}));
    QVERIFY(descriptorSawShutdown);
    QCOMPARE(removed.count(), 3);
    QVERIFY(manager->allObjects().isEmpty());
    QCOMPARE(manager->objectById(QStringLiteral("VELApp.HostTestWidget")), nullptr);

    PluginSpec *good = specForFile(libraryFile("hostfixture_good"));
    QCOMPARE(good->state(), PluginSpec::Deleted);
    QCOMPARE(good->plugin(), nullptr);
    PluginSpec *failed = specForFile(libraryFile("hostfixture_failinit"));
    QCOMPARE(failed->state(), PluginSpec::Deleted);
    QCOMPARE(specForFile(libraryFile("hostfixture_missingkey"))->state(), PluginSpec::Invalid);
}

QTEST_MAIN(TestPluginManager)
#include "tst_pluginmanager.moc"
