#include "../view/viewtestsupport.h"
#include "testsupport.h"

#include "businessdatamanager/businessdatainterface.h"
#include "velbusinessdata/businessdatabase.h"
#include "velcm/id.h"
#include "veldatabase/database.h"
#include "veldefine/velconstants.h"
#include "velplugin/iplugin.h"
#include "velplugin/pluginmanager.h"
#include "velwidget/velpluginbasewidget.h"
#include "velwidget/velpresenterclass.h"
#include "velwidget/veltreemodel.h"
#include "velwidget/veltreeview.h"

#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QLibrary>
#include <QLineEdit>
#include <QPluginLoader>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

using namespace ViewTest;

namespace {

QString pluginPath()
{
    return qEnvironmentVariable("VELAPP_PLUGIN_DIR") + QStringLiteral("/libTQuotationPlugin.so");
}

QList<QVariantMap> referenceData()
{
    QList<QVariantMap> records{
        fund(QStringLiteral("510050.SH"), QStringLiteral("50ETF"), QStringLiteral("SH")),
        fund(QStringLiteral("159919.SZ"), QStringLiteral("深300ETF"), QStringLiteral("SZ")),
        option(QStringLiteral("90000001"), QStringLiteral("159919"), QStringLiteral("SZ"),
               QStringLiteral("C"), 4.0)};
    int id = 10000001;
    for (int days : {20, 50})
        for (double strike : {2.9, 2.95, 3.0})
            for (const char *side : {"C", "P"})
                records << option(QString::number(id++), QStringLiteral("510050"),
                                  QStringLiteral("SH"), QString::fromLatin1(side), strike, days);
    return records;
}

} // namespace

class TestTQuotationPlugin : public QObject
{
    Q_OBJECT

private:
    QPluginLoader m_loader;
    IPlugin *m_plugin = nullptr;
    int m_metaId = QMetaType::UnknownType;
    QObject *m_page = nullptr;

    QObject *createPage() { return static_cast<QObject *>(QMetaType::create(m_metaId)); }
    VelPluginBaseWidget *page() const { return qobject_cast<VelPluginBaseWidget *>(m_page); }
    QFrame *frame() const { return m_page->findChild<QFrame *>(QStringLiteral("TQuotationFrame")); }
    VelPresenterClass *presenter() const { return m_page->findChild<VelPresenterClass *>(); }
    VelTreeView *table() const { return m_page->findChild<VelTreeView *>(); }
    QPushButton *dateButton(int i) const
    {
        return m_page->findChild<QPushButton *>(QStringLiteral("pushButton_%1").arg(i + 1));
    }

    // The way velapp opens a page.
    void buildPage()
    {
        TestSupport::expectWarning(
            QRegularExpression(QStringLiteral("does not support propagateSizeHints")));
        m_page = createPage();
        QVERIFY(page());
        page()->setLoadingState(1);
        page()->loadSkin(
            QString(qEnvironmentVariable("VELAPP_PLUGIN_DIR") + QStringLiteral("/../skin")));
        page()->initPluginWidget();
        page()->resize(1400, 600);
        page()->show();
    }

private slots:
    void initTestCase()
    {
        TestSupport::installWarningGuard();
        CDataBase::setDatabasePath(TestSupport::scratchDir(QStringLiteral("plugin")) +
                                   QStringLiteral("/velapp.sqlite"));
        m_loader.setFileName(pluginPath());
        QVERIFY2(m_loader.load(), qPrintable(m_loader.errorString()));
        m_plugin = qobject_cast<IPlugin *>(m_loader.instance());
        QVERIFY(m_plugin);
    }

    void init() { CBusinessDataBase::GetInstance()->loadSecurities(referenceData()); }

    void cleanup()
    {
        delete m_page;
        m_page = nullptr;
        VERIFY_NO_UNEXPECTED_WARNINGS();
    }

    void metaData_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("value");
        QTest::newRow("Name") << "Name" << QJsonValue(QStringLiteral("TQuotationPlugin"));
        QTest::newRow("Version") << "Version" << QJsonValue(QStringLiteral("2.0.0"));
        QTest::newRow("CompatVersion") << "CompatVersion" << QJsonValue(QStringLiteral("2.0.0"));
        QTest::newRow("Required") << "Required" << QJsonValue(false);
        QTest::newRow("Category") << "Category" << QJsonValue(QStringLiteral("Page"));
        QTest::newRow("Description")
            << "Description" << QJsonValue(QStringLiteral("The option plugin for the VELApp."));
        QTest::newRow("Dependencies") << "Dependencies" << QJsonValue(QJsonArray());
        QTest::newRow("Arguments") << "Arguments" << QJsonValue(QJsonArray());
    }

    void metaData()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, value);
        const QJsonObject meta = m_loader.metaData();
        QCOMPARE(meta.value(QStringLiteral("IID")).toString(), QStringLiteral("VELAppPlugin"));
        QCOMPARE(meta.value(QStringLiteral("className")).toString(),
                 QStringLiteral("TQuotationWidgetPlugin"));
        const QJsonObject data = meta.value(QStringLiteral("MetaData")).toObject();
        QCOMPARE(data.value(key), value);
        for (const char *present : {"Vendor", "Copyright", "Url"})
            QVERIFY(data.value(QLatin1String(present)).isString());
        QVERIFY(data.value(QStringLiteral("License")).isArray());
    }

    void rootObject()
    {
        QObject *root = m_loader.instance();
        QCOMPARE(m_loader.instance(), root);
        QLibrary library(pluginPath());
        using InstanceFunction = QObject *(*)();
        const auto instance =
            reinterpret_cast<InstanceFunction>(library.resolve("qt_plugin_instance"));
        QVERIFY(instance);
        QCOMPARE(instance(), root);
        QCOMPARE(instance(), root);
        QCOMPARE(root->metaObject()->className(), "TQuotationWidgetPlugin");
        QCOMPARE(root->qt_metacast("TQuotationWidgetPlugin"), static_cast<void *>(root));
        QCOMPARE(root->qt_metacast(VelApp_IPlugin_iid), static_cast<void *>(m_plugin));
        QCOMPARE(root->metaObject()->methodCount(), root->metaObject()->methodOffset());

        // Only a destroyed root is replaced.
        delete root;
        QObject *second = instance();
        QVERIFY(second);
        QCOMPARE(instance(), second);
        QCOMPARE(m_loader.instance(), second);
        m_plugin = qobject_cast<IPlugin *>(second);
        QVERIFY(m_plugin);
    }

    void initialize()
    {
        const int before = PluginManager::instance()->allObjects().size();
        QString error = QStringLiteral("untouched");
        QVERIFY(
            m_plugin->initialize(QStringList(), &error, QStringLiteral("libTQuotationPlugin.so")));
        QCOMPARE(error, QStringLiteral("untouched"));
        QVERIFY(m_plugin->initialize(QStringList(), nullptr, QStringLiteral("again")));
        const QList<QObject *> objects = PluginManager::instance()->allObjects();
        QCOMPARE(objects.size(), before + 2);
        for (int i = 0; i < 2; ++i) {
            QObject *descriptor = objects.at(before + i);
            QCOMPARE(descriptor->objectName(), QStringLiteral("TQuotationWidget"));
            QVERIFY(!descriptor->parent());
            QCOMPARE(descriptor->dynamicPropertyNames().size(), 3);
            QCOMPARE(descriptor->property("id"), Id("VELApp.TQuotationWidget").toSetting());
            QCOMPARE(descriptor->property("dllname"),
                     QVariant(i == 0 ? QStringLiteral("libTQuotationPlugin.so")
                                     : QStringLiteral("again")));
            QCOMPARE(descriptor->property("metaId").userType(), int(QMetaType::Int));
            m_metaId = descriptor->property("metaId").toInt();
        }
        QCOMPARE(m_metaId, QMetaType::type("TQuotationWidget"));
    }

    void unbuiltPage()
    {
        QVERIFY(m_metaId != QMetaType::UnknownType);
        m_page = createPage();
        QVERIFY(page());
        QCOMPARE(m_page->metaObject()->className(), "TQuotationWidget");
        QVERIFY(!m_page->parent());
        QVERIFY(!frame());
        QVERIFY(!presenter());
        QCOMPARE(m_page->qt_metacast("TQuotationWidget"), static_cast<void *>(m_page));
        QCOMPARE(m_page->qt_metacast(VelApp_ISkin_iid),
                 static_cast<void *>(static_cast<IHSkin *>(page())));
        QCOMPARE(page()->pluginWidgetTitle(), QStringLiteral("T型行情"));
        QVERIFY(page()->isPluginRefreshable());
        QCOMPARE(page()->pluginTitleAccountShowType(), 0);
        QCOMPARE(page()->skinFiles(), (QList<QPair<QString, QString>>{
                                          {QStringLiteral("Pivora/optiontrade/optiontquotation"),
                                           QStringLiteral("optiontquotation.css")}}));
        const QMetaObject *mo = m_page->metaObject();
        QCOMPARE(mo->methodCount() - mo->methodOffset(), 3);
        QCOMPARE(mo->method(mo->methodOffset()).methodSignature(), QByteArray("signalRefresh()"));
        QCOMPARE(mo->method(mo->methodOffset() + 1).methodSignature(),
                 QByteArray("signalInitOptionData(QVariantMap)"));
        QCOMPARE(mo->method(mo->methodOffset() + 2).methodSignature(),
                 QByteArray("signalRefreshAccount(QVariantMap)"));

        // A refresh before the page is built does nothing.
        QSignalSpy refresh(m_page, SIGNAL(signalRefresh()));
        QVERIFY(refresh.isValid());
        page()->refreshPluginWidget();
        QCOMPARE(refresh.count(), 0);
        QCOMPARE(page()->loadingState(), 0);

        // A copy is a page of its own; either may go first.
        QObject *copy = static_cast<QObject *>(QMetaType::create(m_metaId, m_page));
        QVERIFY(copy && copy != m_page);
        QCOMPARE(qobject_cast<VelPluginBaseWidget *>(copy)->pluginWidgetTitle(),
                 QStringLiteral("T型行情"));
        QVERIFY(qobject_cast<VelPluginBaseWidget *>(copy)->pluginInstanceID() !=
                page()->pluginInstanceID());
        QMetaType::destroy(m_metaId, copy);
    }

    void wholePage()
    {
        buildPage();
        QVERIFY(frame());
        QCOMPARE(frame()->parent(), m_page);
        auto *layout = qobject_cast<QHBoxLayout *>(page()->layout());
        QVERIFY(layout);
        QCOMPARE(layout->spacing(), 0);
        QCOMPARE(layout->contentsMargins(), QMargins(4, 0, 4, 10));
        QCOMPARE(layout->itemAt(0)->widget(), frame());
        QCOMPARE(presenter()->metaObject()->className(), "PresenterClass");
        QCOMPARE(presenter()->parent(), m_page);
        QCOMPARE(presenter()->pluginPid(), page()->pluginInstanceID());

        // The selectors are filled at once; the rows follow through the event loop.
        auto *category =
            m_page->findChild<QComboBox *>(QStringLiteral("comboBox_underlyingCategory"));
        QCOMPARE(category->count(), 2);
        QCOMPARE(m_page->findChild<QComboBox *>(QStringLiteral("comboBox_underlying"))
                     ->currentData()
                     .toString(),
                 QStringLiteral("510050.SH"));
        VelTreeModel *model = table()->model();
        QCOMPARE(model->rowCount(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 2, 20000);
        for (int r = 0; r < 2; ++r) {
            QCOMPARE(model->rowCount(model->index(r, 0)), 3);
            QVERIFY(table()->treeView()->isExpanded(model->index(r, 0)));
        }
        QTRY_VERIFY_WITH_TIMEOUT(dateButton(1)->isVisible(), 20000);
        QVERIFY(!dateButton(2)->isVisible());
        QCOMPARE(model->headerData(7, Qt::Horizontal).toString(), QStringLiteral("行权价"));

        // The skin sets the view's properties.
        QCOMPARE(frame()->property("upBackgroudColor").value<QColor>(), QColor(0x2a1a1a));
        QCOMPARE(frame()->property("downBackgroudColor").value<QColor>(), QColor(0x1a2a1a));
        QVERIFY(table()->itemGridColor().isValid());
        QCOMPARE(table()->itemGridColor(), frame()->property("gridlinecolor").value<QColor>());

        // A tick of a shown option reaches its cell.
        const QModelIndex strike = model->index(0, 7, model->index(0, 0));
        const QString callSymbol = QStringLiteral("10000001.SH");
        QVariantMap tick{{QStringLiteral("Symbol"), callSymbol},
                         {QStringLiteral("LastPrice"), 0.1234},
                         {QStringLiteral("PreSettlePrice"), 0.12},
                         {QStringLiteral("Buy1Price"), 0.1233}};
        BusinessDataInterface::PublishQuotation(QStringLiteral("MDOPTIONRECORD"), tick);
        QTRY_VERIFY_WITH_TIMEOUT(strike.siblingAtColumn(2)
                                     .data(Qt::UserRole)
                                     .toString()
                                     .startsWith(QStringLiteral("0.1234###")),
                                 20000);
        QVERIFY(strike.siblingAtColumn(12).data(Qt::UserRole).isNull());
    }

    void wiring()
    {
        buildPage();
        QTRY_COMPARE_WITH_TIMEOUT(table()->model()->rowCount(), 2, 20000);
        QObject *view = frame();
        QObject *logic = presenter();
        // Every connection exists once.
        const QList<QPair<QObject *, const char *>> once = {
            {logic, SIGNAL(PositionListUpdate(QList<QMap<int, QVariantMap>>))},
            {logic, SIGNAL(PositionAdd(QMap<int, QVariantMap>))},
            {logic, SIGNAL(PositionUpdate(QMap<int, QVariantMap>))},
            {logic, SIGNAL(quotationUpdate(QVariantMap))},
            {logic, SIGNAL(signalClearTableSelection())},
            {logic, SIGNAL(signalUpdateStrikeDate(QStringList))},
            {logic, SIGNAL(signalSetSymmetryShortName(QString))},
            {logic, SIGNAL(signalUpdateComboxUnderlying(QString))},
            {logic, SIGNAL(signalUpdateCallPutSecurity(QVariantMap, QVariantMap))},
            {logic, SIGNAL(signalBaseDataLoadQuatationFinish())},
            {m_page, SIGNAL(signalInitOptionData(QVariantMap))},
            {m_page, SIGNAL(signalRefreshAccount(QVariantMap))},
            {view, SIGNAL(signalChooseStrikeDate(QStringList))},
            {view, SIGNAL(signalSetFilter(int, QString))},
            {view, SIGNAL(signalShowChart(QString, QString))},
            {view, SIGNAL(signalSetUnderlying(QString, QVariantMap))},
            {view, SIGNAL(signalShowSymbol(QString, QString, int))},
        };
        for (const auto &connection : once)
            QVERIFY2(receiverCount(connection.first, connection.second) == 1, connection.second);
        QCOMPARE(receiverCount(m_page, SIGNAL(signalRefresh())), 2);
        QCOMPARE(receiverCount(view, SIGNAL(signalIndex(int))), 0);

        // Presenter to view: queued.
        const QString date = QDate::currentDate().addDays(3).toString(QStringLiteral("yyyyMMdd"));
        QVERIFY(QMetaObject::invokeMethod(logic, "signalUpdateStrikeDate",
                                          Q_ARG(QStringList, QStringList{date})));
        QVERIFY(QMetaObject::invokeMethod(logic, "signalSetSymmetryShortName",
                                          Q_ARG(QString, QStringLiteral("2.961"))));
        QVERIFY(dateButton(1)->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!dateButton(1)->isVisible(), 20000);
        QString shortName;
        QVERIFY(QMetaObject::invokeMethod(view, "getSymmetryShortName",
                                          Q_RETURN_ARG(QString, shortName)));
        QCOMPARE(shortName, QStringLiteral("2.961"));

        // View to presenter: queued.
        QSignalSpy rows(logic, SIGNAL(PositionListUpdate(QList<QMap<int, QVariantMap>>)));
        QSignalSpy captions(logic, SIGNAL(signalUpdateCallPutSecurity(QVariantMap, QVariantMap)));
        QVERIFY(rows.isValid() && captions.isValid());
        QVERIFY(QMetaObject::invokeMethod(view, "signalSetFilter", Q_ARG(int, 1),
                                          Q_ARG(QString, QStringLiteral("2.95"))));
        QVERIFY(QMetaObject::invokeMethod(view, "signalShowChart", Q_ARG(QString, date),
                                          Q_ARG(QString, QStringLiteral("2.950 "))));
        QCOMPARE(rows.count() + captions.count(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(rows.count() == 1 && captions.count() == 1, 20000);

        // Page to presenter and view: direct, the presenter's refresh first.
        QSignalSpy finished(logic, SIGNAL(signalDataLoadFinished()));
        QVERIFY(finished.isValid());
        auto *limit = m_page->findChild<QLineEdit *>(QStringLiteral("lineEdit_limitNumber"));
        limit->setText(QStringLiteral("5"));
        int finishedWhenViewRefreshed = -1;
        connect(limit, &QLineEdit::textChanged, this,
                [&] { finishedWhenViewRefreshed = finished.count(); });
        page()->setLoadingState(0);
        QSignalSpy loading(page(), &VelPluginBaseWidget::loadingStateChanged);
        QVERIFY(loading.isValid());
        page()->refreshPluginWidget();
        QVERIFY(!loading.isEmpty());
        QCOMPARE(loading.at(0).at(0).toInt(), 1);
        QCOMPARE(limit->text(), QStringLiteral("99"));
        QCOMPARE(finishedWhenViewRefreshed, 2);
        QVERIFY(QMetaObject::invokeMethod(m_page, "signalInitOptionData",
                                          Q_ARG(QVariantMap, QVariantMap())));
        QCOMPARE(finished.count(), 3);
    }

    void closeWhileTicking()
    {
        buildPage();
        QTRY_COMPARE_WITH_TIMEOUT(table()->model()->rowCount(), 2, 20000);
        const QModelIndex last = table()->model()->index(1, 12, table()->model()->index(0, 0));
        const auto tick = [](int i) {
            BusinessDataInterface::PublishQuotation(
                QStringLiteral("MDOPTIONRECORD"),
                {{QStringLiteral("Symbol"), QStringLiteral("10000004.SH")},
                 {QStringLiteral("LastPrice"), 0.1 + i * 0.001}});
        };
        tick(0);
        QTRY_VERIFY_WITH_TIMEOUT(
            last.data(Qt::UserRole).toString().startsWith(QStringLiteral("0.1000###")), 20000);
        QPointer<QObject> view = frame();
        QPointer<QObject> logic = presenter();
        for (int i = 1; i < 200; ++i)
            tick(i);
        delete m_page;
        m_page = nullptr;
        QVERIFY(view.isNull() && logic.isNull());
        tick(500);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
};

QTEST_MAIN(TestTQuotationPlugin)
#include "tst_tquotationplugin.moc"
