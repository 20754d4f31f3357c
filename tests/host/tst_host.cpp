#include "fixture.h"

#include <PivoraBusinessDataManager/pivorabusinessdatainterface.h>
#include <PivoraUtils/pivorautils.h>
#include <businessdatamanager/businessdatainterface.h>
#include <velevent/eventmessage.h>
#include <velmsg/packmessage.h>
#include <velplugin/iplugin.h>
#include <velplugin/pluginmanager.h>
#include <velutils/velcommonutils.h>
#include <velutils/velmutex.h>
#include <velwidget/velitemmodeldeletage.h>
#include <velwidget/velmessagebox.h>
#include <velwidget/velpluginbasewidget.h>
#include <velwidget/veltreemodel.h>
#include <velwidget/veltreeview.h>

#include <QAbstractItemModelTester>
#include <QDataStream>
#include <QFileInfo>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <mutex>
#include <new>

namespace {

const QString kFixtureDir = QStringLiteral(HOST_FIXTURE_DIR);

QString libraryFile(const QString &target)
{
    return QStringLiteral("lib") + target + QStringLiteral(".so");
}

PluginSpec *pluginForFile(const QString &fileName)
{
    for (PluginSpec *pluginInfo : PluginManager::instance()->plugins())
        if (QFileInfo(pluginInfo->filePath()).fileName() == fileName)
            return pluginInfo;
    return nullptr;
}

// A message header (magic, version, row count) followed by body.
QByteArray withHeader(const QByteArray &body, quint32 rows = 1)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << quint32(0x56454C4D) << quint16(1) << rows;
    out.writeRawData(body.constData(), body.size());
    return bytes;
}

QByteArray be32(quint32 v)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << v;
    return bytes;
}

// One map entry "k" whose value starts with tag.
QByteArray entryWithTag(quint8 tag)
{
    return be32(1) + be32(1) + QByteArray("k") + QByteArray(1, char(tag));
}

QVariant nested(int depth, bool list)
{
    QVariant value = 1;
    for (int i = 0; i < depth; ++i)
        value = list ? QVariant(QVariantList{value})
                     : QVariant(QVariantMap{{QStringLiteral("n"), value}});
    return value;
}

// Tree rows written "key>link=text": key in column 0, link in 1, text in 2.
Row parseRow(const QString &text)
{
    const QString keys = text.section(QLatin1Char('='), 0, 0);
    const QString shown = text.section(QLatin1Char('='), 1);
    Row row;
    row[0][QStringLiteral("256")] = keys.section(QLatin1Char('>'), 0, 0);
    if (keys.contains(QLatin1Char('>')))
        row[1][QStringLiteral("256")] = keys.section(QLatin1Char('>'), 1);
    if (!shown.isEmpty())
        row[2][QStringLiteral("0")] = shown;
    return row;
}

QList<Row> parseRows(const QString &texts)
{
    QList<Row> rows;
    for (const QString &text : texts.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        rows.append(parseRow(text));
    return rows;
}

// The tree as "key=text[children] ...".
QString dump(const QAbstractItemModel &model, const QModelIndex &parent = QModelIndex())
{
    QStringList parts;
    for (int r = 0; r < model.rowCount(parent); ++r) {
        const QModelIndex index = model.index(r, 0, parent);
        QString part = index.data(Qt::UserRole).toString();
        const QString text = model.index(r, 2, parent).data().toString();
        if (!text.isEmpty())
            part += QLatin1Char('=') + text;
        if (model.rowCount(index) > 0)
            part += QLatin1Char('[') + dump(model, index) + QLatin1Char(']');
        parts.append(part);
    }
    return parts.join(QLatin1Char(' '));
}

// A presenter that leaves detaching to the base class, as any plain page
// presenter may.
class PlainPresenter : public VelPresenterClass
{
public:
    explicit PlainPresenter(const QString &pid)
        : VelPresenterClass(pid, nullptr, IMessageInterface::ThreadType_AllOnBus)
    {}
    void ProcQuotationMsg(QString, QVariant, QVariant) override { ++ticks; }
    std::atomic<int> ticks{0};
};

// Takes a dead presenter's place at its address: any delivery it gets was
// meant for the dead one.
class Tombstone : public VelPresenterClass
{
public:
    Tombstone()
        : VelPresenterClass(QStringLiteral("tombstone"), nullptr,
                            IMessageInterface::ThreadType_AllOnBus)
    {}
    ~Tombstone() override { detach(); }
    void ProcQuotationMsg(QString, QVariant, QVariant) override { ++misdelivered; }
    std::atomic<int> misdelivered{0};
};

// Notes, in order, each tick's LastPrice and each event's type; its first
// tick holds the bus thread until released, so the bus queues behind it.
class HoldingPresenter : public VelPresenterClass
{
public:
    explicit HoldingPresenter(const QString &pid)
        : VelPresenterClass(pid, nullptr, IMessageInterface::ThreadType_AllOnBus)
    {}
    ~HoldingPresenter() override { detach(); }
    void ProcQuotationMsg(QString, QVariant, QVariant msg) override
    {
        CUnPackMessageCommon unpack;
        unpack.SetUnPackMsg(msg);
        note(unpack.GetRowValue().value(QStringLiteral("LastPrice")).toString());
        held.acquire();
    }
    void ProcEventMsg(QString, QVariant type, QVariant) override
    {
        note(QStringLiteral("event ") + type.toString());
    }
    QStringList seen() const
    {
        std::lock_guard<std::mutex> locker(mutex);
        return noted;
    }
    QSemaphore held;

private:
    void note(const QString &text)
    {
        std::lock_guard<std::mutex> locker(mutex);
        noted << text;
    }
    mutable std::mutex mutex;
    QStringList noted;
};

// Counts what the host tells a page about its geometry.
class ResizedPage : public VelPluginBaseWidget
{
public:
    void pluginResized() override { ++resized; }
    int resized = 0;
};

// Hands each tick's LastPrice on to the GUI thread, as a page's presenter
// hands rows to its table, and notes there the prices handled.
class ForwardingPresenter : public VelPresenterClass
{
public:
    explicit ForwardingPresenter(const QString &pid)
        : VelPresenterClass(pid, nullptr, IMessageInterface::ThreadType_AllOnBus)
    {}
    ~ForwardingPresenter() override { detach(); }
    void ProcQuotationMsg(QString, QVariant, QVariant msg) override
    {
        CUnPackMessageCommon unpack;
        unpack.SetUnPackMsg(msg);
        const QString last = unpack.GetRowValue().value(QStringLiteral("LastPrice")).toString();
        QMetaObject::invokeMethod(
            &gui, [this, last] { shown << last; }, Qt::QueuedConnection);
    }
    QObject gui;       // lives on the GUI thread
    QStringList shown; // GUI thread only
};

} // namespace

class TestHost : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void pluginStates_data();
    void pluginStates();
    void shutdownReleasesEveryPlugin();

    void valuesSurviveRoundTrip_data();
    void valuesSurviveRoundTrip();
    void hostileBytesGiveNoRows_data();
    void hostileBytesGiveNoRows();
    void everyTruncationIsRefused();

    void treeRows_data();
    void treeRows();
    void updateChangesOnlyChangedCells_data();
    void updateChangesOnlyChangedCells();
    void headsAnnounceEverySection();
    void gridLinesAndWidths_data();
    void gridLinesAndWidths();
    void oneFramePaintsTheLastValue();

    void deadPresenterGetsNothing();
    void burstArrivesAsItsLastValue();
    void pageHearsItsResize();
    void busyGuiGetsTheLastValue();

    void numericFieldsOneRule_data();
    void numericFieldsOneRule();
    void fixedTextIsQtsText();
    void rowsSortByKeys_data();
    void rowsSortByKeys();
    void slowHoldNamesItsSites();
};

void TestHost::initTestCase()
{
    Fixture::installWarningGuard();
    // The good plugin first: the first plugin the manager knows must be
    // released like the others at shutdown.
    QVERIFY(PluginManager::instance()->loadPlugin(kFixtureDir + QLatin1Char('/') +
                                                  libraryFile(QStringLiteral("hostfixture_good"))));
    Fixture::expectWarning(QRegularExpression(QStringLiteral("^plugin failed: .*hostfixture_")));
    const QList<PluginSpec *> pluginInfos = PluginManager::instance()->loadPlugins(kFixtureDir);
    QStringList files;
    for (const PluginSpec *pluginInfo : pluginInfos)
        files << QFileInfo(pluginInfo->filePath()).fileName().section(QLatin1Char('_'), 1);
    // In name order, README.txt skipped, the known one listed again.
    QCOMPARE(files.join(QLatin1Char(' ')),
             QStringLiteral("badlicense.so badversion.so failinit.so good.so missingkey.so "
                            "notplugin.so twin.so wrongiid.so wrongtype.so"));
    QCOMPARE(PluginManager::instance()->plugins().size(), 9);
    VERIFY_NO_UNEXPECTED_WARNINGS();
}

void TestHost::pluginStates_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("error");

    QTest::newRow("good") << "hostfixture_good" << int(PluginSpec::Running) << QString();
    QTest::newRow("missing key") << "hostfixture_missingkey" << int(PluginSpec::Invalid)
                                 << "key \"Version\" is missing";
    QTest::newRow("wrong type") << "hostfixture_wrongtype" << int(PluginSpec::Invalid)
                                << "key \"Required\" must be a bool, not a string";
    QTest::newRow("bad version") << "hostfixture_badversion" << int(PluginSpec::Invalid)
                                 << "key \"Version\" is \"1.2\", expected the form x.y.z";
    QTest::newRow("a licence that is no string")
        << "hostfixture_badlicense" << int(PluginSpec::Invalid)
        << "key \"License\" must hold strings only; item 1 is a number";
    QTest::newRow("a name already taken")
        << "hostfixture_twin" << int(PluginSpec::Invalid)
        << "a plugin named \"HostTestGood\" is already loaded from ";
    QTest::newRow("wrong IID") << "hostfixture_wrongiid" << int(PluginSpec::Invalid)
                               << "interface id is \"OtherAppPlugin\"";
    QTest::newRow("root is not an IPlugin") << "hostfixture_notplugin" << int(PluginSpec::Read)
                                            << "root object HostTestNotPlugin is not an IPlugin";
    QTest::newRow("initialize fails") << "hostfixture_failinit" << int(PluginSpec::Loaded)
                                      << "initialize failed: fixture refuses to start";
}

void TestHost::pluginStates()
{
    QFETCH(QString, target);
    QFETCH(int, state);
    QFETCH(QString, error);
    const PluginSpec *pluginInfo = pluginForFile(libraryFile(target));
    QVERIFY(pluginInfo);
    QCOMPARE(int(pluginInfo->state()), state);
    QCOMPARE(pluginInfo->hasError(), !error.isEmpty());
    // The text names the library and what is wrong with it.
    if (!error.isEmpty()) {
        QVERIFY2(pluginInfo->errorString().contains(libraryFile(target)),
                 qPrintable(pluginInfo->errorString()));
        QVERIFY2(pluginInfo->errorString().contains(error), qPrintable(pluginInfo->errorString()));
    } else {
        QCOMPARE(pluginInfo->plugin()->property("calls").toStringList(),
                 (QStringList{"initialize", "extensionsInitialized", "delayedInitialize"}));
        QCOMPARE(pluginInfo->plugin()->property("arguments").toStringList(),
                 (QStringList{"-first", "second"}));
    }
}

void TestHost::shutdownReleasesEveryPlugin()
{
    PluginManager *manager = PluginManager::instance();
    QVERIFY(manager->objectById(QStringLiteral("VELApp.HostTestWidget")));
    QCOMPARE(manager->plugins().first(), pluginForFile(libraryFile("hostfixture_good")));
    QStringList destroyed;
    bool descriptorSawShutdown = false;
    for (QObject *obj : manager->allObjects()) {
        connect(obj, &QObject::destroyed, this, [&, obj]() {
            destroyed << obj->objectName();
            if (obj->objectName() == QLatin1String("HostTestDescriptor"))
                descriptorSawShutdown = obj->property("pluginShutDown").toBool();
        });
    }
    // Taken out by its owner: gone from the pool, with notice; once only.
    QObject taken;
    taken.setProperty("id", QStringLiteral("x.Taken"));
    manager->addObject(&taken);
    QCOMPARE(manager->objectById(QStringLiteral("x.Taken")), &taken);
    QSignalSpy leaving(manager, &PluginManager::aboutToRemoveObject);
    manager->removeObject(&taken);
    Fixture::expectWarning(QRegularExpression(QStringLiteral("^removeObject: object not in")));
    manager->removeObject(&taken);
    manager->removeObject(nullptr);
    QCOMPARE(leaving.count(), 1);
    QVERIFY(!manager->allObjects().contains(&taken));
    // Deleted by its owner before shutdown: must not be deleted twice.
    auto *gone = new QObject;
    manager->addObject(gone);
    delete gone;

    // A library loaded elsewhere as well stays; the manager says why.
    QPluginLoader elsewhere(kFixtureDir + "/" + libraryFile("hostfixture_good"));
    QVERIFY(elsewhere.load());
    static QLoggingCategory::CategoryFilter rules = nullptr;
    rules = QLoggingCategory::installFilter([](QLoggingCategory *category) {
        if (rules) // null while it is installed
            rules(category);
        if (qstrcmp(category->categoryName(), "velapp.plugins") == 0)
            category->setEnabled(QtDebugMsg, true);
    });
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^unload .*_good.* : ")));
    manager->shutdown();
    QLoggingCategory::installFilter(rules);
    // Plugins are told before the pool goes, in reverse order of adding.
    QCOMPARE(destroyed, (QStringList{"HostTestSecond", "HostTestDescriptor"}));
    QVERIFY(descriptorSawShutdown);
    QVERIFY(manager->allObjects().isEmpty());
    for (const PluginSpec *pluginInfo : manager->plugins()) {
        const bool wasLoaded =
            pluginInfo->state() != PluginSpec::Invalid && pluginInfo->state() != PluginSpec::Read;
        if (wasLoaded) {
            QVERIFY2(pluginInfo->state() == PluginSpec::Deleted,
                     qPrintable(pluginInfo->filePath()));
            QVERIFY(!pluginInfo->plugin());
        }
    }
    QCOMPARE(pluginForFile(libraryFile("hostfixture_good"))->state(), PluginSpec::Deleted);
    QCOMPARE(pluginForFile(libraryFile("hostfixture_failinit"))->state(), PluginSpec::Deleted);
}

void TestHost::valuesSurviveRoundTrip_data()
{
    QTest::addColumn<QVariant>("value");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("invalid") << QVariant();
    QTest::newRow("bool") << QVariant(false);
    QTest::newRow("int min") << QVariant(std::numeric_limits<int>::min());
    QTest::newRow("qulonglong max") << QVariant(std::numeric_limits<qulonglong>::max());
    QTest::newRow("double -0") << QVariant(-0.0);
    QTest::newRow("double -inf") << QVariant(-inf);
    QTest::newRow("string with NUL") << QVariant(QStringLiteral("购") + QChar(0) + "b");
    QTest::newRow("byte array") << QVariant(QByteArray("\0\xff\x80x", 4));
    QTest::newRow("string list") << QVariant(QStringList{"C", QString(), "认沽"});
    QTest::newRow("list in map in list")
        << QVariant(QVariantList{1, QVariantMap{{"k", QVariantList{QVariant(), 7u}}}});
    QTest::newRow("32 lists deep") << nested(32, true);
    QTest::newRow("date-time offset")
        << QVariant(QDateTime(QDate(2026, 6, 1), QTime(8, 0), Qt::OffsetFromUTC, 8 * 3600));
    QTest::newRow("date far past") << QVariant(QDate(-4000, 1, 1));
    QTest::newRow("null date-time") << QVariant(QDateTime());
    QTest::newRow("date-time at the widest offset")
        << QVariant(QDateTime(QDate(2026, 6, 1), QTime(8, 0), Qt::OffsetFromUTC, -24 * 3600));
    // Carried as a map: compared inside a list, where a map equals the hash it came from.
    QTest::newRow("hash") << QVariant(QVariantList{QVariantHash{{"k", "v"}, {"n", 2}}});
}

void TestHost::valuesSurviveRoundTrip()
{
    QFETCH(QVariant, value);
    for (bool compressed : {false, true}) {
        CPackMessageCommon pack;
        pack.AddRowVaule({{"v", value}, {"Symbol", "S"}});
        pack.AddRow();
        pack.AddRowVaule({{"second", 2}});
        CUnPackMessageCommon unpack;
        QVERIFY2(unpack.SetUnPackMsg(pack.GetPackedMsg(compressed), compressed),
                 qPrintable(unpack.errorString()));
        QCOMPARE(unpack.rowCount(), 2);
        const QVariant back = unpack.GetRowValue().value("v");
        QCOMPARE(back.userType(), value.userType());
        if (value.userType() == QMetaType::Double)
            QCOMPARE(std::signbit(back.toDouble()), std::signbit(value.toDouble()));
        QCOMPARE(back, value);
        QCOMPARE(unpack.rows().at(1), (QVariantMap{{"second", 2}}));
    }
}

void TestHost::hostileBytesGiveNoRows_data()
{
    QTest::addColumn<QVariant>("msg");
    QTest::addColumn<bool>("compressed");
    QTest::addColumn<QString>("error");

    const QByteArray good = CPackMessageCommon::pack({Fixture::tick("S")});
    CPackMessageCommon packer;
    packer.AddRowVaule(Fixture::tick("S"));
    const QByteArray zipped = packer.GetPackedMsg(true).toByteArray();
    QByteArray deep;
    {
        QDataStream out(&deep, QIODevice::WriteOnly);
        out << quint32(1) << quint32(1) << quint8('v');
        for (int i = 0; i < 100000; ++i)
            out << quint8(10) << quint32(1);
        out << quint8(0);
    }
    QTest::newRow("empty variant") << QVariant() << false << "empty";
    QTest::newRow("a map, not bytes") << QVariant(Fixture::tick("S")) << false << "QVariantMap";
    QTest::newRow("bad magic") << QVariant(QByteArray("VELN") + good.mid(4)) << false
                               << "bad magic";
    QTest::newRow("future version")
        << QVariant(good.left(4) + QByteArray("\0\2", 2) + good.mid(6)) << false << "version 2";
    QTest::newRow("stray bytes") << QVariant(good + "x") << false << "1 stray bytes";
    QTest::newRow("unknown tag") << QVariant(withHeader(entryWithTag(200))) << false
                                 << "unknown value tag 200";
    QTest::newRow("huge row count")
        << QVariant(withHeader(QByteArray(), 0xFFFFFFFFu)) << false << "exceeds";
    QTest::newRow("huge key length")
        << QVariant(withHeader(be32(1) + be32(0xFFFFFFF0u) + "k")) << false << "exceeds";
    QTest::newRow("huge string length")
        << QVariant(withHeader(entryWithTag(7) + be32(0x7FFFFFFF) + "abc")) << false << "exceeds";
    QTest::newRow("huge list count")
        << QVariant(withHeader(entryWithTag(10) + be32(0xFFFFFFFFu) + QByteArray(8, '\0'))) << false
        << "exceeds";
    QTest::newRow("huge time zone length")
        << QVariant(withHeader(entryWithTag(12) + QByteArray("\1", 1) + QByteArray(8, '\0') +
                               QByteArray("\3", 1) + be32(0x7FFFFFFF)))
        << false << "exceeds";
    QTest::newRow("33 maps deep") << QVariant(
                                         CPackMessageCommon::pack({{{"v", nested(33, false)}}}))
                                  << false << "nesting deeper than 32";
    QTest::newRow("100000 lists deep")
        << QVariant(withHeader(deep)) << false << "nesting deeper than 32";
    QTest::newRow("compressed, too short")
        << QVariant(QByteArray("\0\0", 2)) << true << "too short";
    QTest::newRow("compressed, huge declared size")
        << QVariant(be32(0x7FFFFFFF) + zipped.mid(4)) << true << "declares 2147483647 bytes";
    QTest::newRow("plain bytes read as compressed") << QVariant(good) << true << "declares";
}

void TestHost::hostileBytesGiveNoRows()
{
    QFETCH(QVariant, msg);
    QFETCH(bool, compressed);
    QFETCH(QString, error);
    Fixture::expectWarning(QRegularExpression(QStringLiteral("^cannot unpack message:")));
    CUnPackMessageCommon unpack;
    QVERIFY(!unpack.SetUnPackMsg(msg, compressed));
    QCOMPARE(unpack.rowCount(), 0);
    QVERIFY(unpack.GetRowValue().isEmpty());
    QVERIFY2(unpack.errorString().contains(error), qPrintable(unpack.errorString()));
}

void TestHost::everyTruncationIsRefused()
{
    const QVariantMap rich{{"list", QVariantList{1, "two", QVariantMap{{"x", true}}}},
                           {"when", QDateTime(QDate(2026, 12, 23), QTime(9, 30), Qt::UTC)},
                           {"raw", QByteArray("\0\1\2", 3)}};
    const QByteArray full = CPackMessageCommon::pack({rich, Fixture::tick("S")});
    for (int length = 0; length < full.size(); ++length) {
        QList<QVariantMap> rows{{{"stale", 1}}};
        QString error;
        QVERIFY2(!CUnPackMessageCommon::unpack(full.left(length), &rows, &error),
                 qPrintable(QString::number(length)));
        QVERIFY(rows.isEmpty() && !error.isEmpty());
    }
}

void TestHost::treeRows_data()
{
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("tree");
    QTest::newRow("children after parents") << "g1;g2;x>g1;y>g2;z>g1"
                                            << "g1[x z] g2[y]";
    QTest::newRow("children before parents") << "x>g1;y>g2;z>g1;g2;g1"
                                             << "g2[y] g1[x z]";
    QTest::newRow("grandchildren") << "c>b;a;b>a"
                                   << "a[b[c]]";
    QTest::newRow("parent not found: not shown") << "g1;x>nope;y>g1"
                                                 << "g1[y]";
    QTest::newRow("nor its children") << "x>nope;c>x;g1"
                                      << "g1";
    QTest::newRow("duplicate merges into the first") << "a;b=1;c;b=2"
                                                     << "a b=2 c";
    QTest::newRow("self link is top-level") << "a>a;b"
                                            << "a b";
    QTest::newRow("three-row cycle does not hang") << "a>c;b>a;c>b"
                                                   << "c[a[b]]";
    QTest::newRow("keyless rows stay apart") << "=x;a>=y"
                                             << "=x a=y";
}

void TestHost::treeRows()
{
    QFETCH(QString, rows);
    QFETCH(QString, tree);
    VelTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setKeyColumns({0});
    model.setLinkColumn(1);
    model.setMinimumColumnCount(5);
    model.setRows(parseRows(QStringLiteral("old;older>old")));
    QPersistentModelIndex stale = model.index(0, 0, model.index(0, 0));
    model.setRows(parseRows(rows));
    QCOMPARE(dump(model), tree);
    QVERIFY(!stale.isValid());
    QVERIFY(!model.updateRow(parseRow(QStringLiteral("older=gone"))));
    // An added row finds its parent too; one whose parent is missing waits
    // unseen, takes its updates, and appears under the parent when it comes.
    model.addRow(parseRow(QStringLiteral("late>older")));
    model.addRow(parseRow(QStringLiteral("later>late")));
    QCOMPARE(dump(model), tree);
    QVERIFY(model.updateRow(parseRow(QStringLiteral("late>older=held"))));
    QVERIFY(!model.indexOfIdentity(QStringLiteral("late")).isValid());
    model.addRow(parseRow(QStringLiteral("older")));
    QVERIFY2(dump(model).endsWith(QLatin1String(" older[late=held[later]]")),
             qPrintable(dump(model)));
    // Keyed anew, the rows held are rebuilt as a list of rows is (the early
    // child now finds its parent) and the views are told.
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QVERIFY(reset.isValid());
    model.setKeyColumns({0, 3});
    QCOMPARE(reset.count(), 1);
    QCOMPARE(dump(model), tree + QStringLiteral(" older[late=held[later]]"));
    // A waiting row whose parent arrives linked to it comes at the top.
    model.addRow(parseRow(QStringLiteral("p>q")));
    model.addRow(parseRow(QStringLiteral("q>p")));
    QCOMPARE(dump(model), tree + QStringLiteral(" older[late=held[later]] p[q]"));
    // Any role reads the key of its number.
    Row wide = parseRow(QStringLiteral("wide"));
    wide[2][QStringLiteral("40")] = QStringLiteral("mid");
    wide[2][QStringLiteral("300")] = QStringLiteral("far");
    model.addRow(wide);
    QCOMPARE(model.indexOfIdentity(QStringLiteral("wide"), 2).data(40).toString(), "mid");
    QCOMPARE(model.indexOfIdentity(QStringLiteral("wide"), 2).data(300).toString(), "far");
}

void TestHost::updateChangesOnlyChangedCells_data()
{
    QTest::addColumn<QString>("update");
    QTest::addColumn<int>("column"); // of the extra cell, -1: none
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QStringList>("changed");
    QTest::addColumn<QString>("tree");
    // Every case starts from "g[x=1 y=2]" with x's column 3 shown as "a".
    QTest::newRow("changed cell") << "x=5" << -1 << QVariant() << QStringList{"x:2"}
                                  << "g[x=5 y=2]";
    QTest::newRow("unchanged cells: nothing")
        << "x=1" << 3 << QVariant("a") << QStringList{} << "g[x=1 y=2]";
    QTest::newRow("only the changed of two")
        << "x=1" << 3 << QVariant("b") << QStringList{"x:3"} << "g[x=1 y=2]";
    QTest::newRow("adjacent cells: one span")
        << "x=5" << 3 << QVariant("b") << QStringList{"x:2-3"} << "g[x=5 y=2]";
    QTest::newRow("apart: one each")
        << "x>=1" << 3 << QVariant("b") << QStringList{"x:1", "x:3"} << "g[x=1 y=2]";
    QTest::newRow("type change is a change")
        << "x=1" << 3 << QVariant(1) << QStringList{"x:3"} << "g[x=1 y=2]";
    QTest::newRow("unshown column: silent")
        << "x=1" << 15 << QVariant("h") << QStringList{} << "g[x=1 y=2]";
    QTest::newRow("unknown identity ignored")
        << "nope=9" << -1 << QVariant() << QStringList{} << "g[x=1 y=2]";
    QTest::newRow("never reparents")
        << "x>=1" << -1 << QVariant() << QStringList{"x:1"} << "g[x=1 y=2]";
}

void TestHost::updateChangesOnlyChangedCells()
{
    QFETCH(QString, update);
    QFETCH(int, column);
    QFETCH(QVariant, value);
    QFETCH(QStringList, changed);
    QFETCH(QString, tree);
    VelTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setKeyColumns({0});
    model.setLinkColumn(1);
    model.setMinimumColumnCount(5);
    QList<Row> rows = parseRows(QStringLiteral("g;x>g=1;y>g=2"));
    rows[1][3][QStringLiteral("0")] = QStringLiteral("a");
    model.setRows(rows);
    QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(spy.isValid());
    int structural = 0;
    connect(&model, &QAbstractItemModel::layoutChanged, this, [&] { ++structural; });
    connect(&model, &QAbstractItemModel::rowsInserted, this, [&] { ++structural; });

    Row row = parseRow(update);
    if (column >= 0)
        row[column][QStringLiteral("0")] = value;
    QCOMPARE(model.updateRow(row), !update.startsWith(QLatin1String("nope")));
    QStringList cells;
    for (const QList<QVariant> &args : spy) {
        const QModelIndex from = args.at(0).toModelIndex(), to = args.at(1).toModelIndex();
        QCOMPARE(from.parent(), to.parent());
        QCOMPARE(from.row(), to.row());
        cells << from.siblingAtColumn(0).data(Qt::UserRole).toString() + ':' +
                     QString::number(from.column()) +
                     (to.column() > from.column() ? '-' + QString::number(to.column()) : QString());
    }
    QCOMPARE(cells, changed);
    QCOMPARE(dump(model), tree);
    QCOMPARE(structural, 0);
}

void TestHost::headsAnnounceEverySection()
{
    VelTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setMinimumColumnCount(15);
    model.setRows(parseRows(QStringLiteral("a;b")));
    qRegisterMetaType<Qt::Orientation>();
    QSignalSpy heads(&model, &QAbstractItemModel::headerDataChanged);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QVERIFY(heads.isValid() && reset.isValid());
    QList<QVariantMap> list;
    for (int i = 0; i < 15; ++i)
        list.append(
            {{"Head_DisplayRole", QString("c%1").arg(i)}, {"Head_UserRole", QString::number(i)}});
    model.setHeadList(list);
    // Same column count: captions change in place, every section announced.
    QCOMPARE(reset.count(), 0);
    QCOMPARE(heads.count(), 1);
    QCOMPARE(heads.at(0).at(1).toInt(), 0);
    QCOMPARE(heads.at(0).at(2).toInt(), 14);
    QCOMPARE(model.headerData(14, Qt::Horizontal).toString(), QStringLiteral("c14"));
    // A longer list changes the count: a reset instead.
    model.setHeadList(list + list.mid(0, 1));
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.columnCount(), 16);
    // No columns: no section to announce.
    VelTreeModel empty;
    QSignalSpy none(&empty, &QAbstractItemModel::headerDataChanged);
    empty.setHeadList({});
    QCOMPARE(none.count(), 0);
}

void TestHost::gridLinesAndWidths_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<bool>("horizontal");
    QTest::addColumn<bool>("vertical");
    QTest::newRow("none") << 0 << false << false;
    QTest::newRow("horizontal") << 1 << true << false;
    QTest::newRow("vertical") << 2 << false << true;
    QTest::newRow("both") << 3 << true << true;
    QTest::newRow("below the range: none") << -4 << false << false;
    QTest::newRow("above the range: both") << 9 << true << true;
}

void TestHost::gridLinesAndWidths()
{
    QFETCH(int, style);
    QFETCH(bool, horizontal);
    QFETCH(bool, vertical);
    const QColor grid(0x12, 0x34, 0x56);
    VelTreeView view;
    view.setItemGridColor(style > 3 ? grid : Qt::red); // handed on to the page's delegate
    view.setVelTableItemDelegate(new VelItemModelDeletage(&view));
    if (style <= 3)
        view.setItemGridColor(grid);
    view.setGridLineStyle(style);
    view.model()->setMinimumColumnCount(3);
    view.updateRecordDataList(parseRows(QStringLiteral("a;b")));
    // A width given to a column outlives a new default width.
    view.setColumnWidth(0, 80);
    view.setColumnDefaultWidth(50);
    view.resize(400, 200);
    QCOMPARE(view.treeView()->columnWidth(0), 80);
    QCOMPARE(view.treeView()->columnWidth(1), 50);
    view.setColumnWidth(3, 70); // a column beyond the model's is added
    QCOMPARE(view.treeView()->columnWidth(3), 70);
    const QRect cell = view.treeView()->visualRect(view.model()->index(0, 1));
    const QImage shot = view.treeView()->viewport()->grab().toImage();
    QCOMPARE(shot.pixelColor(cell.center().x(), cell.bottom()) == grid, horizontal);
    QCOMPARE(shot.pixelColor(cell.right(), cell.center().y()) == grid, vertical);
    // Shown, the last column keeps its width; a page may select cells, not rows.
    view.show();
    QTRY_VERIFY(view.treeView()->viewport()->isVisible());
    QCOMPARE(view.treeView()->columnWidth(3), 70);
    view.setSelectionBehavior(QAbstractItemView::SelectItems);
    QTest::mouseClick(view.treeView()->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(view.treeView()->selectionModel()->selectedIndexes().size(), 1);
}

// A page hears of its own resizes, and its loading overlay keeps covering it.
void TestHost::pageHearsItsResize()
{
    ResizedPage page;
    page.setLoadingState(1);
    page.resize(300, 200);
    page.show();
    QTRY_VERIFY(page.resized > 0);
    const int before = page.resized;
    page.resize(500, 400);
    QTRY_COMPARE(page.resized, before + 1);
    auto *overlay = page.findChild<QWidget *>(QStringLiteral("velLoadingOverlay"));
    QVERIFY(overlay && overlay->isVisible());
    QCOMPARE(overlay->geometry(), page.rect());
    // A box the page shows without waiting for it still keeps the page's input.
    Fixture::expectWarning(QRegularExpression(QStringLiteral("propagateSizeHints")));
    VelMessageBox box(QStringLiteral("提醒"), QStringLiteral("已成交"), 1, &page, 2);
    box.show();
    QCOMPARE(QApplication::activeModalWidget(), &box);
    QCOMPARE(box.text(), QStringLiteral("已成交"));
}

void TestHost::deadPresenterGetsNothing()
{
    const QString symbol = QStringLiteral("dead.SH");
    Fixture::load({Fixture::option(symbol, QStringLiteral("510050"), Fixture::day(10), 2.95,
                                   QStringLiteral("C"), QStringLiteral("x"))});
    alignas(Tombstone) alignas(
        PlainPresenter) unsigned char place[qMax(sizeof(Tombstone), sizeof(PlainPresenter))];
    auto *plain = new (place) PlainPresenter(QStringLiteral("plain"));
    plain->Sub(plain->pluginPid(), QStringLiteral("MDOPTIONRECORD"), 1);
    BusinessDataInterface::SubscribeSecurityQuotation(plain, QStringList{symbol}, 1, 2);
    QVERIFY(Fixture::settle());
    Fixture::publishOption(Fixture::tick(symbol));
    QVERIFY(Fixture::settle());
    QCOMPARE(plain->ticks.load(), 1);

    // Destroyed without leaving the bus itself, then its address reused.
    plain->~PlainPresenter();
    auto *tombstone = new (place) Tombstone;
    for (int i = 0; i < 20; ++i)
        Fixture::publishOption(Fixture::tick(symbol, {{"LastPrice", 0.2 + i / 100.0}}));
    QVERIFY(Fixture::settle());
    const int misdelivered = tombstone->misdelivered;
    tombstone->~Tombstone();
    QCOMPARE(misdelivered, 0);
}

// A page behind the feed gets each symbol's latest tick, not its backlog;
// an event published between ticks still comes between them.
void TestHost::burstArrivesAsItsLastValue()
{
    const QString symbol = QStringLiteral("burst.SH");
    Fixture::load({Fixture::option(symbol, QStringLiteral("510050"), Fixture::day(10), 2.95,
                                   QStringLiteral("C"), QStringLiteral("x"))});
    HoldingPresenter presenter(QStringLiteral("holding"));
    presenter.Sub(presenter.pluginPid(), QStringLiteral("MDOPTIONRECORD"), 1);
    presenter.SubEvent(presenter.pluginPid(), 7001, 1);
    BusinessDataInterface::SubscribeSecurityQuotation(&presenter, QStringList{symbol}, 1, 2);
    const auto publish = [&](int first, int last) {
        for (int i = first; i <= last; ++i)
            Fixture::publishOption(Fixture::tick(symbol, {{"LastPrice", i / 1000.0}}));
    };
    const quint64 merged = BusinessDataInterface::Counts().merged;
    publish(1, 1);
    TRY_COMPARE(presenter.seen().size(), 1); // the bus thread is held from here
    publish(2, 500);
    presenter.PutEvent(presenter.pluginPid(),
                       CEventMessageCommon::create(presenter.pluginPid(), 7001, {{"n", 1}}));
    publish(501, 1000);
    const quint64 mergedNow = BusinessDataInterface::Counts().merged - merged;
    presenter.held.release(1000);
    QCOMPARE(mergedNow, quint64(997));
    TRY_COMPARE(presenter.seen(), (QStringList{"0.001", "0.5", "event 7001", "1"}));
}

void TestHost::rowsSortByKeys_data()
{
    QTest::addColumn<QVariantList>("first"); // column 0's "256", the first key
    QTest::addColumn<bool>("descending");    // of the first key; column 1 ascending decides ties
    QTest::addColumn<QString>("order");      // column 1 of the rows as sorted; rows named a, b, ...
    const double nan = std::nan("");
    QTest::newRow("numbers as numbers") << QVariantList{10, 9, 9.5} << false << "b c a";
    QTest::newRow("text as text") << QVariantList{"10", "9", "9.5"} << false << "a b c";
    QTest::newRow("descending") << QVariantList{1, 3, 2} << true << "b c a";
    QTest::newRow("integers beyond a double's precision")
        << QVariantList{qlonglong(9007199254740993LL), qlonglong(9007199254740992LL)} << false
        << "b a";
    QTest::newRow("unsigned above every signed")
        << QVariantList{std::numeric_limits<qulonglong>::max(), qlonglong(-1), 5u} << false
        << "b c a";
    QTest::newRow("NaN first, and NaNs tie") << QVariantList{nan, 1.0, nan} << false << "a c b";
    QTest::newRow("a missing cell is empty text")
        << QVariantList{"x", QVariant()} << false << "b a";
}

void TestHost::rowsSortByKeys()
{
    QFETCH(QVariantList, first);
    QFETCH(bool, descending);
    QFETCH(QString, order);
    QList<Row> rows;
    for (int i = 0; i < first.size(); ++i) {
        Row row;
        if (first.at(i).isValid())
            row[0][QStringLiteral("256")] = first.at(i);
        row[1][QStringLiteral("256")] = QString(QLatin1Char(char('a' + i)));
        rows.prepend(row); // ties must not come out in the order given
    }
    VelCommonUtils::sortTableViewRecordListByKeys(
        rows, {qMakePair(0, descending ? Qt::DescendingOrder : Qt::AscendingOrder),
               qMakePair(1, Qt::AscendingOrder)});
    QStringList names;
    for (const Row &row : rows)
        names << row.value(1).value(QStringLiteral("256")).toString();
    QCOMPARE(names.join(QLatin1Char(' ')), order);
}

// A GUI thread busy elsewhere gets each symbol's latest tick once it is
// back, not the rows of every tick published meanwhile.
void TestHost::busyGuiGetsTheLastValue()
{
    const QString symbol = QStringLiteral("busy.SH");
    Fixture::load({Fixture::option(symbol, QStringLiteral("510050"), Fixture::day(10), 2.95,
                                   QStringLiteral("C"), QStringLiteral("x"))});
    ForwardingPresenter presenter(QStringLiteral("forwarding"));
    presenter.Sub(presenter.pluginPid(), QStringLiteral("MDOPTIONRECORD"), 1);
    BusinessDataInterface::SubscribeSecurityQuotation(&presenter, QStringList{symbol}, 1, 2);
    QVERIFY(Fixture::settle());
    // The GUI thread runs no events while it publishes, pausing now and
    // then so that the bus thread surely runs meanwhile.
    for (int i = 1; i <= 500; ++i) {
        Fixture::publishOption(Fixture::tick(symbol, {{"LastPrice", i / 1000.0}}));
        if (i % 50 == 0)
            QThread::msleep(2);
    }
    TRY_COMPARE(presenter.shown.value(presenter.shown.size() - 1), QStringLiteral("0.5"));
    QVERIFY2(presenter.shown.size() <= 3, qPrintable(QString::number(presenter.shown.size())));
}

FIXTURE_TEST_MAIN(TestHost)
// Prices and precisions are read from ticks and records by one rule: a
// number, or text that reads wholly as one.
void TestHost::numericFieldsOneRule_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<double>("last");   // as LastPrice, PreClosePrice 0.5
    QTest::addColumn<int>("precision"); // as an option's pricePrecision
    QTest::newRow("number") << QVariant(3.0) << 3.0 << 3;
    QTest::newRow("text") << QVariant(QStringLiteral(" 2 ")) << 2.0 << 2;
    QTest::newRow("fraction") << QVariant(0.1300) << 0.13 << 4;
    QTest::newRow("text fraction") << QVariant(QStringLiteral("0.1300")) << 0.13 << 4;
    QTest::newRow("no number") << QVariant(QStringLiteral("0.13x")) << 0.5 << 4;
    QTest::newRow("boolean") << QVariant(true) << 0.5 << 4;
    QTest::newRow("NaN text") << QVariant(QStringLiteral("nan")) << 0.5 << 4;
    QTest::newRow("negative") << QVariant(-1) << 0.5 << 0;
    QTest::newRow("too many decimals") << QVariant(12) << 12.0 << 8;
}

void TestHost::numericFieldsOneRule()
{
    QFETCH(QVariant, value);
    QFETCH(double, last);
    QFETCH(int, precision);
    QCOMPARE(PivoraBusiUtils::GetLastPriceFromTick(
                 {{QStringLiteral("LastPrice"), value}, {QStringLiteral("PreClosePrice"), 0.5}}),
             last);
    QVariantMap option =
        Fixture::option(QStringLiteral("PREC.SH"), QStringLiteral("510050"), Fixture::day(10), 2.95,
                        QStringLiteral("C"), QStringLiteral("x"));
    option.insert(QStringLiteral("pricePrecision"), value);
    Fixture::load({option});
    QCOMPARE(PivoraBusinessDataInterface::GetPricePrecisionBySymbol(QStringLiteral("PREC.SH"),
                                                                    QString()),
             precision);
}

// The fast price formatting must give Qt's text for every value, ties and
// signs included.
void TestHost::fixedTextIsQtsText()
{
    QList<double> values{0.0,
                         -0.0,
                         0.125,
                         2.675,
                         1.005,
                         -0.00004,
                         0.00005,
                         -1.5,
                         2.5,
                         1e9,
                         999999999.5,
                         0.1 + 0.2,
                         1e-12,
                         123456.78905,
                         1e15,
                         -1e300,
                         std::nan(""),
                         std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity()};
    quint32 seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const int decimals = int(seed % 7);
        values << (double(seed >> 8) / 1000.0 - 5000.0) / std::pow(10.0, decimals);
    }
    for (const double value : values) {
        for (int precision : {0, 1, 2, 3, 4, 6, 9, 10}) {
            const QString expected = QString::number(value, 'f', precision);
            QCOMPARE(VelCommonUtils::fixedText(value, precision), expected);
        }
    }
}

// Many changes of two cells rows apart between two frames: each cell is
// painted once more, and with its last value.
void TestHost::oneFramePaintsTheLastValue()
{
    struct Recorder : QStyledItemDelegate
    {
        QStringList painted;
        void paint(QPainter *painter, const QStyleOptionViewItem &option,
                   const QModelIndex &index) const override
        {
            const QString key = index.siblingAtColumn(0).data(Qt::UserRole).toString();
            if (index.column() == 2 && (key == "x" || key == "y"))
                const_cast<Recorder *>(this)->painted << key + index.data().toString();
            QStyledItemDelegate::paint(painter, option, index);
        }
    } recorder;
    VelTreeView view;
    view.setKeyColumn({0});
    view.setParentAndSubRowLinkColumnIndex(1);
    view.setVelTableItemDelegate(&recorder);
    view.model()->setMinimumColumnCount(3);
    view.updateRecordDataList(parseRows(QStringLiteral("g;x>g=0;z>g=0;y>g=0")));
    view.setIndexExpand(view.index(0, 0, QModelIndex()), true);
    view.resize(400, 200);
    Fixture::expectWarning(QRegularExpression(QStringLiteral("propagateSizeHints")));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTRY_VERIFY(!recorder.painted.isEmpty());
    QTest::qWait(50);
    recorder.painted.clear();
    for (int i = 1; i <= 50; ++i) {
        view.updataRecordData(parseRow(QStringLiteral("x>g=%1").arg(i)));
        view.updataRecordData(parseRow(QStringLiteral("y>g=%1").arg(i)));
    }
    QTRY_COMPARE(recorder.painted, (QStringList{"x50", "y50"}));
    QTest::qWait(50);
    QCOMPARE(recorder.painted, (QStringList{"x50", "y50"}));
}

// A hold past the threshold is reported with where it was taken and who waited.
void TestHost::slowHoldNamesItsSites()
{
    QMutex mutex;
    VelMutex::lock(&mutex, QStringLiteral("holder.cpp"), 7, QStringLiteral("hold"));
    QScopedPointer<QThread> waiter(QThread::create([&mutex] {
        VelMutex::lock(&mutex, QStringLiteral("waiter.cpp"), 9, QStringLiteral("wait"));
        VelMutex::unlock(&mutex);
    }));
    waiter->start();
    QTest::qSleep(VelMutex::slowHoldThresholdMs() + 100);
    for (const char *report :
         {R"(^held \d+ ms at holder.cpp:7 \(hold\) while waiter.cpp:9 \(wait\) waited$)",
          R"(^waited \d{3,4} ms at waiter.cpp:9 \(wait\) for the mutex held at holder.cpp:7)"}) {
        Fixture::expectWarning(QRegularExpression(report));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(report));
    }
    VelMutex::unlock(&mutex);
    QVERIFY(waiter->wait(5000));
}

#include "tst_host.moc"
