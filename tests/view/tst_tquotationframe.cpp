#include "TQuotationFrame.h"
#include "testsupport.h"
#include "viewtestsupport.h"

#include "velbusinessdata/businessdatabase.h"
#include "veldefine/velconstants.h"
#include "velwidget/velmessagebox.h"
#include "velwidget/veltreemodel.h"
#include "velwidget/veltreeview.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <memory>

using namespace ViewTest;
using Rows = QList<QMap<int, QVariantMap>>;

namespace {

QString dateKey(int daysAhead)
{
    return QDate::currentDate().addDays(daysAhead).toString(QStringLiteral("yyyyMMdd"));
}

QStringList dateKeys(int count)
{
    QStringList keys;
    for (int i = 0; i < count; ++i)
        keys << dateKey(10 * (i + 1));
    return keys;
}

QMap<int, QVariantMap> groupRow(const QString &date)
{
    QMap<int, QVariantMap> row;
    row[0] = {{VelConst::RoleDisplay, date}};
    row[7] = {{VelConst::RoleUser, VelConst::ALL_PRICE}};
    row[15] = {{VelConst::RoleDisplay, date}, {VelConst::RoleUser, date}};
    row[16] = {{VelConst::RoleDisplay, QString()}};
    return row;
}

QMap<int, QVariantMap> strikeRow(const QString &date, const QString &shortName)
{
    QMap<int, QVariantMap> row;
    row[7] = {{VelConst::RoleUser, shortName}, {VelConst::RoleUser1, shortName}};
    row[15] = {{VelConst::RoleDisplay, date}, {VelConst::RoleUser, date}};
    const QString link = VelConst::ALL_PRICE + date;
    row[16] = {{VelConst::RoleDisplay, link}, {VelConst::RoleUser, link}};
    return row;
}

const char *const kUnderlyingChanged = SIGNAL(currentIndexChanged(QString));

} // namespace

class TestTQuotationFrame : public QObject
{
    Q_OBJECT

private:
    QPushButton *button(const QString &name) const
    {
        return m_frame->findChild<QPushButton *>(name);
    }
    QPushButton *dateButton(int i) const
    {
        return button(QStringLiteral("pushButton_%1").arg(i + 1));
    }
    QComboBox *combo(const QString &name) const { return m_frame->findChild<QComboBox *>(name); }
    QComboBox *categories() const { return combo(QStringLiteral("comboBox_underlyingCategory")); }
    QComboBox *underlyings() const { return combo(QStringLiteral("comboBox_underlying")); }
    QString caption(const QString &name) const
    {
        return m_frame->findChild<QLabel *>(name)->text();
    }
    VelTreeView *table() const { return m_frame->findChild<VelTreeView *>(); }

    std::unique_ptr<QWidget> m_page;
    TQuotationFrame *m_frame = nullptr;

private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }

    void init()
    {
        CBusinessDataBase::GetInstance()->loadSecurities(
            {fund(QStringLiteral("510050.SH"), QStringLiteral("50ETF"), QStringLiteral("SH")),
             fund(QStringLiteral("510300.SH"), QStringLiteral("300ETF"), QStringLiteral("SH")),
             fund(QStringLiteral("159919.SZ"), QStringLiteral("深300ETF"), QStringLiteral("SZ")),
             option(QStringLiteral("10000001"), QStringLiteral("510050"), QStringLiteral("SH"),
                    QStringLiteral("C"), 2.95),
             option(QStringLiteral("10000002"), QStringLiteral("510300.SH"), QStringLiteral("SH"),
                    QStringLiteral("C"), 4.0),
             option(QStringLiteral("10000003"), QStringLiteral("510050"), QStringLiteral("SH"),
                    QStringLiteral("P"), 2.95),
             option(QStringLiteral("90000001"), QStringLiteral("159919"), QStringLiteral("SZ"),
                    QStringLiteral("C"), 4.0)});
        // The host parents the view in a page that is shown.
        TestSupport::expectWarning(
            QRegularExpression(QStringLiteral("does not support propagateSizeHints")));
        m_page.reset(new QWidget);
        m_page->resize(1600, 700);
        m_frame = new TQuotationFrame(m_page.get());
        QList<QVariantMap> noHeads;
        m_frame->setTableHeadList(noHeads);
        auto *layout = new QVBoxLayout(m_page.get());
        layout->addWidget(m_frame);
        m_page->show();
    }

    void cleanup()
    {
        m_page.reset();
        VERIFY_NO_UNEXPECTED_WARNINGS();
    }

    void construction()
    {
        QCOMPARE(m_frame->objectName(), QStringLiteral("TQuotationFrame"));
        QVERIFY(m_frame->testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(m_frame->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(m_frame->windowTitle(), QStringLiteral("Form"));

        auto *layout = qobject_cast<QVBoxLayout *>(m_frame->layout());
        QVERIFY(layout);
        QCOMPARE(layout->count(), 4);
        const QStringList order = {QStringLiteral("frame_setting"), QStringLiteral("frame"),
                                   QStringLiteral("frame_Underlying")};
        for (int i = 0; i < order.size(); ++i)
            QCOMPARE(layout->itemAt(i)->widget()->objectName(), order.at(i));
        QCOMPARE(layout->itemAt(3)->widget(), table());
        QVERIFY(!m_frame->findChild<QFrame *>(QStringLiteral("frame_setting"))->isVisible());

        for (int i = 0; i < 10; ++i)
            QVERIFY(dateButton(i)->isHidden());
        QCOMPARE(dateButton(0)->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
        QVERIFY(button(QStringLiteral("pushButton_allDate"))->isVisible());
        QVERIFY(!button(QStringLiteral("pushButton_allDate"))->isCheckable());
        QCOMPARE(button(QStringLiteral("pushButton_allDate"))->text(), QStringLiteral("所有"));
        QCOMPARE(caption(QStringLiteral("label_Call")), QStringLiteral("认购期权"));
        QCOMPARE(caption(QStringLiteral("label_Put")), QStringLiteral("认沽期权"));
        QCOMPARE(m_frame->findChild<QLineEdit *>(QStringLiteral("lineEdit_limitNumber"))->text(),
                 QStringLiteral("99"));
        QCOMPARE(m_frame->findChild<QLineEdit *>(QStringLiteral("lineEdit_SymmetryPrice"))->text(),
                 QStringLiteral("0.000"));
        QCOMPARE(categories()->width(), 100);
        QCOMPARE(underlyings()->width(), 100);
        QCOMPARE(categories()->count(), 0);
        QCOMPARE(table()->treeViewCaption(), QStringLiteral("T型行情"));
        QCOMPARE(table()->model()->keyColumns(), QList<int>({7, 15}));
        QCOMPARE(table()->model()->linkColumn(), 16);
    }

    // Signals and slots in the order other code reaches them by number.
    void metaObjectOrder()
    {
        const QStringList expected = {"signalIndex(int)",
                                      "signalChooseStrikeDate(QStringList)",
                                      "signalSetFilter(int,QString)",
                                      "signalShowChart(QString,QString)",
                                      "signalSetUnderlying(QString,QVariantMap)",
                                      "signalShowSymbol(QString,QString,int)",
                                      "slotClickedIndexModel(QModelIndex)",
                                      "slotTableItemDoubleClicked(QModelIndex)",
                                      "slotPositionListUpdate(QList<QMap<int,QVariantMap> >)",
                                      "slotPositionAdd(QMap<int,QVariantMap>)",
                                      "slotPositionUpdate(QMap<int,QVariantMap>)",
                                      "slotQuotationUpdate(QVariantMap)",
                                      "slotCoveredTransReport(QString)",
                                      "slotRefreshAccount(QVariantMap)",
                                      "slotClearTableSelection()",
                                      "slotUpdateStrikeDate(QStringList)",
                                      "slotChooseStrikeDate(bool)",
                                      "getCurrentSelectTreeRowIndex()",
                                      "getSymmetryShortName()",
                                      "slotSetSymmetryShortName(QString)",
                                      "slotRefresh()",
                                      "setUnderlyingSecurityCategory()",
                                      "setUnderlyingSecurity()",
                                      "slotCurrentIndexChange(QString)",
                                      "slotCurrentCategoryIndexChange(QString)",
                                      "slotUpdateComboxUnderlying(QString)",
                                      "slotUpdateCallPutSecurity(QVariantMap,QVariantMap)",
                                      "on_pushButton_clicked()"};
        const QMetaObject *mo = m_frame->metaObject();
        QCOMPARE(mo->methodCount() - mo->methodOffset(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(QString::fromLatin1(mo->method(mo->methodOffset() + i).methodSignature()),
                     expected.at(i));
        QCOMPARE(mo->method(mo->methodOffset() + 27).access(), QMetaMethod::Private);
    }

    void properties_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QVariant>("initial");
        QTest::addColumn<QVariant>("written");
        QTest::newRow("checkPath") << QByteArray("checkPath") << QVariant(QUrl())
                                   << QVariant(QUrl(QStringLiteral("file:///c.png")));
        QTest::newRow("uncheckPath") << QByteArray("uncheckPath") << QVariant(QUrl())
                                     << QVariant(QUrl(QStringLiteral("file:///u.png")));
        QTest::newRow("tristatePath") << QByteArray("tristatePath") << QVariant(QUrl())
                                      << QVariant(QUrl(QStringLiteral("file:///t.png")));
        QTest::newRow("itemHeight") << QByteArray("itemHeight") << QVariant(20) << QVariant(31);
        QTest::newRow("lineheight") << QByteArray("lineheight") << QVariant(20) << QVariant(22);
        QTest::newRow("linenamewidth")
            << QByteArray("linenamewidth") << QVariant(50) << QVariant(60);
        QTest::newRow("lineinfowidth")
            << QByteArray("lineinfowidth") << QVariant(110) << QVariant(90);
        QTest::newRow("gridlinecolor")
            << QByteArray("gridlinecolor") << QVariant(QColor()) << QVariant(QColor(Qt::red));
        QTest::newRow("upBackgroudColor")
            << QByteArray("upBackgroudColor") << QVariant(QColor()) << QVariant(QColor(0x2a1a1a));
        QTest::newRow("downBackgroudColor")
            << QByteArray("downBackgroudColor") << QVariant(QColor()) << QVariant(QColor(0x1a2a1a));
    }

    void properties()
    {
        QFETCH(QByteArray, name);
        QFETCH(QVariant, initial);
        QFETCH(QVariant, written);
        const QMetaProperty property =
            m_frame->metaObject()->property(m_frame->metaObject()->indexOfProperty(name));
        QVERIFY(property.isValid() && property.isReadable() && property.isWritable());
        QVERIFY(!property.hasNotifySignal());
        QCOMPARE(property.userType(), initial.userType());
        QCOMPARE(m_frame->property(name), initial);
        QVERIFY(m_frame->setProperty(name, written));
        QCOMPARE(m_frame->property(name), written);
        if (name == "gridlinecolor")
            QCOMPARE(table()->itemGridColor(), written.value<QColor>());
    }

    void fillDateButtons_data()
    {
        QTest::addColumn<QStringList>("dates");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<int>("tooManyLogs");
        const QString past = QDate::currentDate().addDays(-8).toString(QStringLiteral("yyyyMMdd"));
        QTest::newRow("empty") << QStringList() << QStringList() << 0;
        QTest::newRow("past date")
            << QStringList{past} << QStringList{past + QStringLiteral("(-8日)")} << 0;
        QTest::newRow("not a date")
            << QStringList{QStringLiteral("2026-1-1")} << QStringList{QStringLiteral("(0日)")} << 0;
        QStringList ten = dateKeys(10), tenTexts;
        for (int i = 0; i < 10; ++i)
            tenTexts << ten.at(i) + QStringLiteral("(%1日)").arg(10 * (i + 1));
        QTest::newRow("exactly ten") << ten << tenTexts << 0;
        QTest::newRow("eleven") << dateKeys(11) << tenTexts << 1;
    }

    void fillDateButtons()
    {
        QFETCH(QStringList, dates);
        QFETCH(QStringList, texts);
        QFETCH(int, tooManyLogs);
        m_frame->slotUpdateCallPutSecurity({}, {});
        QSignalSpy chosen(m_frame, &TQuotationFrame::signalChooseStrikeDate);
        QVERIFY(chosen.isValid());
        {
            MessageCounter logs(QRegularExpression(QStringLiteral("too many strike date")));
            m_frame->slotUpdateStrikeDate(dates);
            QCOMPARE(logs.count(), tooManyLogs);
        }
        QStringList shown;
        for (int i = 0; i < 10; ++i) {
            if (!dateButton(i)->isVisible())
                continue;
            QVERIFY(dateButton(i)->isChecked());
            QCOMPARE(dateButton(i)->width(), 120);
            shown << dateButton(i)->text();
        }
        QCOMPARE(shown, texts);
        QVERIFY(button(QStringLiteral("pushButton_allDate"))->isChecked());
        // Captions are reset by a complete fill only.
        QCOMPARE(caption(QStringLiteral("label_Call")) == QStringLiteral("认购期权"),
                 tooManyLogs == 0);
        QCOMPARE(chosen.count(), 0);

        button(QStringLiteral("pushButton_allDate"))->click();
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.at(0).at(0).toStringList(), dates.mid(0, 10));
    }

    void chooseOneThenAll()
    {
        const QStringList dates = dateKeys(4);
        m_frame->slotUpdateStrikeDate(dates);
        QSignalSpy chosen(m_frame, &TQuotationFrame::signalChooseStrikeDate);
        QVERIFY(chosen.isValid());
        dateButton(2)->click();
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.at(0).at(0).toStringList(), QStringList{dates.at(2)});
        QVERIFY(!button(QStringLiteral("pushButton_allDate"))->isChecked());
        for (int i = 0; i < 4; ++i)
            QCOMPARE(dateButton(i)->isChecked(), i == 2);
        dateButton(2)->click(); // stays chosen and chooses again
        QVERIFY(dateButton(2)->isChecked());
        QCOMPARE(chosen.at(1).at(0).toStringList(), QStringList{dates.at(2)});
        button(QStringLiteral("pushButton_allDate"))->click();
        QCOMPARE(chosen.at(2).at(0).toStringList(), dates);
        for (int i = 0; i < 4; ++i)
            QVERIFY(dateButton(i)->isChecked());
    }

    void refillShrinks()
    {
        m_frame->slotUpdateStrikeDate(dateKeys(8));
        const QStringList five = dateKeys(5);
        m_frame->slotUpdateStrikeDate(five);
        for (int i = 5; i < 8; ++i) {
            QVERIFY(dateButton(i)->isHidden());
            QCOMPARE(receiverCount(dateButton(i), SIGNAL(clicked(bool))), 0);
        }
        QSignalSpy chosen(m_frame, &TQuotationFrame::signalChooseStrikeDate);
        QVERIFY(chosen.isValid());
        button(QStringLiteral("pushButton_allDate"))->click();
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.at(0).at(0).toStringList(), five);
    }

    void refillConnectsOnce()
    {
        const QStringList dates = dateKeys(3);
        m_frame->slotUpdateStrikeDate(dates);
        m_frame->slotUpdateStrikeDate(dates);
        QCOMPARE(receiverCount(button(QStringLiteral("pushButton_allDate")), SIGNAL(clicked(bool))),
                 1);
        QSignalSpy chosen(m_frame, &TQuotationFrame::signalChooseStrikeDate);
        QVERIFY(chosen.isValid());
        dateButton(1)->click();
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.at(0).at(0).toStringList(), QStringList{dates.at(1)});
    }

    void typing_data()
    {
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        const QString limit = QStringLiteral("lineEdit_limitNumber");
        const QString centre = QStringLiteral("lineEdit_SymmetryPrice");
        QTest::newRow("limit digits") << limit << QStringLiteral("120") << QStringLiteral("120");
        QTest::newRow("limit letters refused")
            << limit << QStringLiteral("1a2-") << QStringLiteral("12");
        QTest::newRow("limit at most 13 digits")
            << limit << QStringLiteral("12345678901234") << QStringLiteral("1234567890123");
        QTest::newRow("centre 2.75") << centre << QStringLiteral("2.75") << QStringLiteral("2.75");
        QTest::newRow("centre 1000") << centre << QStringLiteral("1000") << QStringLiteral("1000");
        QTest::newRow("centre 10000 refused")
            << centre << QStringLiteral("10000") << QStringLiteral("1000");
        QTest::newRow("centre five decimals refused")
            << centre << QStringLiteral("1.23456") << QStringLiteral("1.2345");
        QTest::newRow("centre comma refused")
            << centre << QStringLiteral("1,5") << QStringLiteral("15");
    }

    void typing()
    {
        QFETCH(QString, editor);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        auto *edit = m_frame->findChild<QLineEdit *>(editor);
        edit->clear();
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), kept);
    }

    void filterButton_data()
    {
        QTest::addColumn<QString>("limitText");
        QTest::addColumn<QString>("centreText");
        QTest::addColumn<int>("limit");
        QTest::newRow("defaults") << QStringLiteral("99") << QStringLiteral("0.000") << 99;
        QTest::newRow("empty limit") << QString() << QStringLiteral("2.95") << 0;
        QTest::newRow("limit beyond 32 bits")
            << QStringLiteral("9999999999999") << QStringLiteral("3") << 0;
        QTest::newRow("incomplete centre sent as typed")
            << QStringLiteral("4") << QStringLiteral("12.") << 4;
    }

    void filterButton()
    {
        QFETCH(QString, limitText);
        QFETCH(QString, centreText);
        QFETCH(int, limit);
        m_frame->findChild<QLineEdit *>(QStringLiteral("lineEdit_limitNumber"))->setText(limitText);
        m_frame->findChild<QLineEdit *>(QStringLiteral("lineEdit_SymmetryPrice"))
            ->setText(centreText);
        QSignalSpy filter(m_frame, &TQuotationFrame::signalSetFilter);
        QVERIFY(filter.isValid());
        button(QStringLiteral("pushButton"))->click();
        QCOMPARE(filter.count(), 1);
        QCOMPARE(filter.at(0).at(0).toInt(), limit);
        QCOMPARE(filter.at(0).at(1).toString(), centreText);

        m_frame->slotRefresh();
        QCOMPARE(m_frame->findChild<QLineEdit *>(QStringLiteral("lineEdit_limitNumber"))->text(),
                 QStringLiteral("99"));
        QCOMPARE(m_frame->findChild<QLineEdit *>(QStringLiteral("lineEdit_SymmetryPrice"))->text(),
                 QStringLiteral("0.000"));
    }

    void categoryFill()
    {
        QSignalSpy announced(m_frame, &TQuotationFrame::signalSetUnderlying);
        QVERIFY(announced.isValid());
        for (int reload = 0; reload < 3; ++reload) {
            underlyings()->setCurrentIndex(1); // a user choice between reloads
            announced.clear();
            m_frame->setUnderlyingSecurityCategory();
            QCOMPARE(categories()->count(), 2);
            QCOMPARE(categories()->itemText(0), QStringLiteral("上证ETF"));
            QCOMPARE(categories()->itemText(1), QStringLiteral("深证ETF"));
            const QVariantMap sh = categories()->itemData(0).toMap();
            QCOMPARE(sh.value(Ostrel_Fields::UserAccount::SymbolPost).toString(),
                     QStringLiteral("SH"));
            QCOMPARE(sh.value(Ostrel_Fields::MDCFieldDefine::mdcSubSecurityType).toString(),
                     QStringLiteral("ETFOPTION"));
            QCOMPARE(categories()
                         ->itemData(1)
                         .toMap()
                         .value(Ostrel_Fields::UserAccount::SymbolPost)
                         .toString(),
                     QStringLiteral("SZ"));
            QCOMPARE(categories()->currentIndex(), 0);
            QCOMPARE(underlyings()->count(), 2);
            QCOMPARE(underlyings()->itemText(0), QStringLiteral("50ETF"));
            QCOMPARE(underlyings()->itemData(1).toString(), QStringLiteral("510300.SH"));
            // One announcement per fill, never an empty category first.
            QCOMPARE(announced.count(), 1);
            QCOMPARE(announced.at(0).at(0).toString(), QStringLiteral("510050.SH"));
            QCOMPARE(announced.at(0).at(1).toMap(), sh);
            QCOMPARE(receiverCount(categories(), kUnderlyingChanged), 1);
            QCOMPARE(receiverCount(underlyings(), kUnderlyingChanged), 1);
        }
        underlyings()->setCurrentIndex(1);
        QCOMPARE(announced.count(), 2);
        QCOMPARE(announced.at(1).at(0).toString(), QStringLiteral("510300.SH"));
    }

    void followOtherPage()
    {
        m_frame->setUnderlyingSecurityCategory();
        QSignalSpy announced(m_frame, &TQuotationFrame::signalSetUnderlying);
        QVERIFY(announced.isValid());

        m_frame->slotUpdateComboxUnderlying(QStringLiteral("510050.SH")); // already current
        m_frame->slotUpdateComboxUnderlying(QStringLiteral("600000.SH")); // in no category
        QCOMPARE(categories()->currentIndex(), 0);
        QCOMPARE(underlyings()->currentData().toString(), QStringLiteral("510050.SH"));

        m_frame->slotUpdateComboxUnderlying(QStringLiteral("159919.SZ"));
        QCOMPARE(categories()->currentIndex(), 1);
        QCOMPARE(underlyings()->count(), 1);
        QCOMPARE(underlyings()->currentText(), QStringLiteral("深300ETF"));
        QCOMPARE(announced.count(), 0);
        QCOMPARE(receiverCount(categories(), kUnderlyingChanged), 1);
        QCOMPARE(receiverCount(underlyings(), kUnderlyingChanged), 1);

        categories()->setCurrentIndex(0); // the user again
        QCOMPARE(announced.count(), 1);
        QCOMPARE(announced.at(0).at(0).toString(), QStringLiteral("510050.SH"));
        underlyings()->setCurrentIndex(1);
        QCOMPARE(announced.count(), 2);
        QCOMPARE(announced.at(1).at(0).toString(), QStringLiteral("510300.SH"));
    }

    void sameNameTakesFirst()
    {
        CBusinessDataBase::GetInstance()->loadSecurities(
            {fund(QStringLiteral("510050.SH"), QStringLiteral("同名ETF"), QStringLiteral("SH")),
             fund(QStringLiteral("510300.SH"), QStringLiteral("同名ETF"), QStringLiteral("SH")),
             option(QStringLiteral("1"), QStringLiteral("510050"), QStringLiteral("SH"),
                    QStringLiteral("C"), 3),
             option(QStringLiteral("2"), QStringLiteral("510300"), QStringLiteral("SH"),
                    QStringLiteral("C"), 3),
             option(QStringLiteral("3"), QStringLiteral("510300"), QStringLiteral("SH"),
                    QStringLiteral("P"), 3)});
        m_frame->setUnderlyingSecurityCategory();
        underlyings()->setCurrentIndex(1);
        m_frame->slotUpdateComboxUnderlying(QStringLiteral("510050.SH"));
        QCOMPARE(underlyings()->currentIndex(), 0);
        m_frame->slotUpdateComboxUnderlying(QStringLiteral("510300.SH")); // the first by name
        QCOMPARE(underlyings()->currentIndex(), 0);
    }

    void emptyReferenceData()
    {
        CBusinessDataBase::GetInstance()->clear();
        QSignalSpy announced(m_frame, &TQuotationFrame::signalSetUnderlying);
        QVERIFY(announced.isValid());
        m_frame->setUnderlyingSecurityCategory();
        QCOMPARE(underlyings()->count(), 0);
        QCOMPARE(announced.count(), 1);
        QCOMPARE(announced.at(0).at(0).toString(), QString());
        QCOMPARE(announced.at(0).at(1).toMap(), categories()->itemData(0).toMap());
    }

    void rowList_data()
    {
        QTest::addColumn<QList<int>>("strikeOrder");
        QTest::newRow("ascending") << QList<int>{0, 1, 2, 3, 4};
        QTest::newRow("descending") << QList<int>{4, 3, 2, 1, 0};
        QTest::newRow("shuffled") << QList<int>{2, 0, 4, 1, 3};
    }

    void rowList()
    {
        QFETCH(QList<int>, strikeOrder);
        QAbstractItemModelTester tester(table()->model());
        const QString d1 = dateKey(5), d2 = dateKey(40);
        Rows rows{groupRow(d1), groupRow(d2)};
        for (const QString &date : {d2, d1})
            for (int i : strikeOrder)
                rows << strikeRow(date, QStringLiteral("%1 ").arg(2.5 + 0.05 * i, 0, 'f', 3));
        m_frame->slotPositionListUpdate(rows);
        VelTreeModel *model = table()->model();
        QCOMPARE(model->rowCount(), 2);
        for (int r = 0; r < 2; ++r) {
            QCOMPARE(model->rowCount(model->index(r, 0)), 5);
            QVERIFY(table()->treeView()->isExpanded(model->index(r, 0)));
        }
        m_frame->slotPositionListUpdate({});
        QCOMPARE(model->rowCount(), 0);
    }

    void clicks()
    {
        const QString date = dateKey(12);
        m_frame->slotPositionListUpdate(
            {groupRow(date), strikeRow(date, QStringLiteral("2.950 "))});
        QTreeView *view = table()->treeView();
        const QModelIndex group = table()->index(0, 0);
        const QModelIndex putBid = table()->index(0, 14, group);
        view->scrollTo(putBid);
        QSignalSpy chart(m_frame, &TQuotationFrame::signalShowChart);
        QSignalSpy symbol(m_frame, &TQuotationFrame::signalShowSymbol);
        QVERIFY(chart.isValid() && symbol.isValid());

        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(putBid).center());
        QCOMPARE(chart.count(), 1);
        QCOMPARE(chart.at(0), QVariantList({date, QStringLiteral("2.950 ")}));

        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(putBid).center());
        QCOMPARE(symbol.count(), 1);
        QCOMPARE(symbol.at(0), QVariantList({date, QStringLiteral("2.950 "), 14}));

        chart.clear();
        symbol.clear();
        m_frame->slotUpdateCallPutSecurity(
            {{Ostrel_Fields::Security::symbol, QStringLiteral("10000001.SH")}},
            {{Ostrel_Fields::Security::symbol, QStringLiteral("10000003.SH")}});
        QCOMPARE(caption(QStringLiteral("label_Call")), QStringLiteral("认购期权(10000001)"));
        QCOMPARE(caption(QStringLiteral("label_Put")), QStringLiteral("认沽期权(10000003)"));
        view->scrollTo(table()->index(0, 3));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualRect(table()->index(0, 3)).center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {},
                           view->visualRect(table()->index(0, 3)).center());
        m_frame->slotClickedIndexModel(QModelIndex());
        QCOMPARE(chart.count() + symbol.count(), 0);
        QCOMPARE(caption(QStringLiteral("label_Call")), QStringLiteral("认购期权"));
        QCOMPARE(caption(QStringLiteral("label_Put")), QStringLiteral("认沽期权"));

        m_frame->slotUpdateCallPutSecurity({}, {});
        QCOMPARE(caption(QStringLiteral("label_Call")), QStringLiteral("认购期权()"));
    }

    void columns_data()
    {
        QTest::addColumn<bool>("withHeads");
        QTest::newRow("no heads") << false;
        QTest::newRow("fifteen heads") << true;
    }

    void columns()
    {
        QFETCH(bool, withHeads);
        QList<QVariantMap> heads;
        for (int i = 0; withHeads && i < 15; ++i)
            heads << QVariantMap{{VelConst::Head_DisplayRole, QStringLiteral("c%1").arg(i)},
                                 {VelConst::Head_UserRole, QString::number(i)}};
        m_frame->setTableHeadList(heads);
        const QString date = dateKey(3);
        m_frame->slotPositionListUpdate(
            {groupRow(date), strikeRow(date, QStringLiteral("3.000 "))});
        const QModelIndex strike = table()->index(0, 0, table()->index(0, 0));
        const QList<int> widths = {100, 100, 100, 100, 65,  65,  120, 160,
                                   120, 65,  65,  100, 100, 100, 100};
        QVERIFY(table()->model()->columnCount() >= 15);
        for (int c = 0; c < 15; ++c) {
            QCOMPARE(table()->treeView()->header()->sectionSize(c), widths.at(c));
            const bool centred = widths.at(c) != 65;
            QCOMPARE(strike.siblingAtColumn(c).data(Qt::TextAlignmentRole).toInt() == 132, centred);
        }
        if (withHeads)
            QCOMPARE(table()->model()->headerData(8, Qt::Horizontal).toString(),
                     QStringLiteral("c8"));
    }

    void symmetryShortName()
    {
        int paints = 0;
        struct PaintCounter : QObject
        {
            int *count;
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::Paint)
                    ++*count;
                return false;
            }
        } counter;
        counter.count = &paints;
        table()->installEventFilter(&counter);
        m_frame->slotSetSymmetryShortName(QStringLiteral("2.951"));
        QCOMPARE(m_frame->getSymmetryShortName(), QStringLiteral("2.951"));
        QTRY_VERIFY_WITH_TIMEOUT(paints > 0, 10000);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        paints = 0;
        m_frame->slotSetSymmetryShortName(QStringLiteral("2.951"));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QCOMPARE(paints, 0);
        table()->removeEventFilter(&counter);
    }

    void coveredTransReport()
    {
        QString shown;
        QTimer::singleShot(0, this, [&shown] {
            auto *box = qobject_cast<VelMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            shown = box->windowTitle() + QLatin1Char('|') + box->text();
            box->accept();
        });
        m_frame->slotCoveredTransReport(QStringLiteral("已成交"));
        QCOMPARE(shown, QStringLiteral("提醒|已成交"));
        QVERIFY(!m_frame->findChild<VelMessageBox *>());
    }
};

QTEST_MAIN(TestTQuotationFrame)
#include "tst_tquotationframe.moc"
