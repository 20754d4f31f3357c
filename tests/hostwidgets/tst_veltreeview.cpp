#include "testsupport.h"
#include "velwidget/velitemmodeldeletage.h"
#include "velwidget/velmessagebox.h"
#include "velwidget/veltreemodel.h"
#include "velwidget/veltreeview.h"

#include <QAbstractItemModelTester>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeView>
#include <QtTest>

namespace {

const QString kUser = QStringLiteral("256");

QVariantMap cell(const QString &user, const QString &display = QString())
{
    QVariantMap record{{kUser, user}};
    if (!display.isEmpty())
        record.insert(QStringLiteral("0"), display);
    return record;
}

Row groupRow(const QString &date)
{
    return {{0, cell(QString(), date)},
            {7, cell(QStringLiteral("ALL_PRICE"))},
            {15, cell(date)},
            {16, cell(QString())}};
}

Row strikeRow(const QString &strike, const QString &date)
{
    return {{0, cell(QStringLiteral("0.1###0"), QStringLiteral("0.1"))},
            {7, cell(strike, strike)},
            {15, cell(date)},
            {16, cell(QStringLiteral("ALL_PRICE") + date)}};
}

// Set up the way the T-board sets up its table.
void setUpBoard(VelTreeView &view, const QList<QVariantMap> &heads)
{
    view.setTreeViewCaption(QStringLiteral("T型行情"));
    view.setGridLineStyle(3);
    view.setColumnDefaultWidth(65);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setHeadSectionMovable(true);
    view.setKeyColumn({7, 15});
    view.setParentAndSubRowLinkColumnIndex(16);
    view.setItemSelectable(true);
    view.setHeadList(heads);
    for (int column : {0, 1, 2, 3, 11, 12, 13, 14})
        view.setColumnWidth(column, 100);
    view.setColumnWidth(6, 120);
    view.setColumnWidth(7, 160);
    view.setColumnWidth(8, 120);
    for (int column : {0, 1, 2, 3, 6, 7, 8, 11, 12, 13, 14})
        view.setColumnTextAlignment(column, Qt::AlignHCenter | Qt::AlignVCenter);
}

QList<QVariantMap> heads(int count)
{
    QList<QVariantMap> list;
    for (int i = 0; i < count; ++i)
        list.append({{QStringLiteral("Head_DisplayRole"), QStringLiteral("head%1").arg(i)},
                     {QStringLiteral("Head_UserRole"), QString::number(i)}});
    return list;
}

QImage paintCell(const VelItemModelDeletage &delegate, const QModelIndex &index)
{
    QImage image(60, 20, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = image.rect();
    option.state = QStyle::State_Enabled;
    delegate.paint(&painter, option, index);
    return image;
}

// The offscreen platform cannot pass size hints of a shown top-level window on.
void expectPlatformNotice()
{
    TestSupport::expectWarning(
        QRegularExpression(QStringLiteral("^This plugin does not support propagateSizeHints")));
}

bool columnHas(const QImage &image, int x, const QColor &color)
{
    for (int y = 0; y < image.height() - 1; ++y) {
        if (image.pixelColor(x, y) != color)
            return false;
    }
    return true;
}

bool rowHas(const QImage &image, int y, const QColor &color)
{
    for (int x = 0; x < image.width() - 1; ++x) {
        if (image.pixelColor(x, y) != color)
            return false;
    }
    return true;
}

} // namespace

class TestVelTreeView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void columns_data();
    void columns();
    void rowsAndExpansion();
    void clicks();
    void gridSettingsReachDelegate();
    void gridLines_data();
    void gridLines();
    void metricsText();
    void messageBox_data();
    void messageBox();
};

void TestVelTreeView::columns_data()
{
    QTest::addColumn<int>("headCount");
    QTest::addColumn<int>("shown");
    QTest::newRow("no heads still shows the board") << 0 << 15;
    QTest::newRow("fifteen heads") << 15 << 15;
    QTest::newRow("more heads than configured") << 18 << 18;
}

void TestVelTreeView::columns()
{
    QFETCH(int, headCount);
    QFETCH(int, shown);

    VelTreeView view;
    QAbstractItemModelTester tester(view.model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    setUpBoard(view, heads(headCount));
    QHeaderView *header = view.treeView()->header();
    QCOMPARE(header->count(), shown);
    QCOMPARE(view.treeViewCaption(), QStringLiteral("T型行情"));
    QCOMPARE(view.model()->headerData(3, Qt::Horizontal).toString(),
             headCount ? QStringLiteral("head3") : QString());

    // Widths survive the replacing of the rows.
    view.updateRecordDataList({groupRow(QStringLiteral("20261223")),
                               strikeRow(QStringLiteral("2.950 "), QStringLiteral("20261223"))});
    const QList<int> widths{100, 100, 100, 100, 65, 65, 120, 160, 120, 65, 65, 100, 100, 100, 100};
    for (int column = 0; column < widths.size(); ++column)
        QCOMPARE(header->sectionSize(column), widths.at(column));
    QVERIFY(header->sectionsMovable());
    QCOMPARE(header->sectionResizeMode(4), QHeaderView::Interactive);
    QCOMPARE(view.model()->index(0, 7).data(Qt::TextAlignmentRole).toInt(), 132);
    QVERIFY(!view.model()->index(0, 4).data(Qt::TextAlignmentRole).isValid());

    // A later, longer head list keeps them too.
    view.setHeadList(heads(shown + 1));
    QCOMPARE(header->count(), shown + 1);
    for (int column = 0; column < widths.size(); ++column)
        QCOMPARE(header->sectionSize(column), widths.at(column));
}

void TestVelTreeView::rowsAndExpansion()
{
    VelTreeView view;
    setUpBoard(view, heads(15));
    const QString date1 = QStringLiteral("20261223");
    const QString date2 = QStringLiteral("20270127");
    view.updateRecordDataList({groupRow(date1), groupRow(date2),
                               strikeRow(QStringLiteral("3.000 "), date2),
                               strikeRow(QStringLiteral("2.950 "), date1)});
    QCOMPARE(view.model()->rowCount(), 2);

    const QModelIndex group = view.index(1, 0, QModelIndex());
    QCOMPARE(group.data().toString(), date2);
    QVERIFY(!view.treeView()->isExpanded(group));
    view.setIndexExpand(group, true);
    QVERIFY(view.treeView()->isExpanded(group));
    view.setIndexExpand(group, false);
    QVERIFY(!view.treeView()->isExpanded(group));

    const Row row = view.getRowData(view.index(0, 3, group));
    QCOMPARE(row.value(7).value(kUser).toString(), QStringLiteral("3.000 "));
    QVERIFY(view.getRowData(QModelIndex()).isEmpty());

    view.addRecordData(strikeRow(QStringLiteral("3.100 "), date2));
    QCOMPARE(view.model()->rowCount(group), 2);
    Row update{{7, cell(QStringLiteral("3.100 "))},
               {15, cell(date2)},
               {2, cell(QStringLiteral("0.2###3"))}};
    view.updataRecordData(update);
    QCOMPARE(view.model()->index(1, 2, group).data(Qt::UserRole).toString(),
             QStringLiteral("0.2###3"));
}

void TestVelTreeView::clicks()
{
    VelTreeView view;
    setUpBoard(view, heads(15));
    const QString date = QStringLiteral("20261223");
    view.updateRecordDataList({groupRow(date), strikeRow(QStringLiteral("2.950 "), date),
                               strikeRow(QStringLiteral("3.000 "), date)});
    view.setIndexExpand(view.index(0, 0), true);
    view.resize(1800, 400);
    expectPlatformNotice();
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    QSignalSpy clicked(&view, &VelTreeView::clicked);
    QSignalSpy doubleClicked(&view, &VelTreeView::doubleClicked);
    QVERIFY(clicked.isValid());
    QVERIFY(doubleClicked.isValid());

    const QModelIndex target = view.index(1, 14, view.index(0, 0));
    QTreeView *tree = view.treeView();
    tree->scrollTo(target);
    const QPoint centre = tree->visualRect(target).center();
    QVERIFY(tree->viewport()->rect().contains(centre));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    QTRY_COMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).value<QModelIndex>(), target);
    QCOMPARE(view.currentIndex().row(), 1);
    QCOMPARE(tree->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(view.getRowData(view.currentIndex()).value(7).value(kUser).toString(),
             QStringLiteral("3.000 "));

    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    QTRY_COMPARE(doubleClicked.count(), 1);
    QCOMPARE(doubleClicked.at(0).at(0).value<QModelIndex>(), target);
}

void TestVelTreeView::gridSettingsReachDelegate()
{
    VelTreeView view;
    auto *early = new VelItemModelDeletage(&view);
    const QColor defaultColor = early->gridColor();
    QVERIFY(defaultColor.isValid());

    // A colour given before the delegate is installed reaches it on install.
    view.setItemGridColor(QColor(0x12, 0x34, 0x56));
    view.setGridLineStyle(1);
    view.setVelTableItemDelegate(early);
    QCOMPARE(view.treeView()->itemDelegate(), early);
    QCOMPARE(early->gridColor(), QColor(0x12, 0x34, 0x56));
    QCOMPARE(early->gridLineStyle(), 1);

    view.setItemGridColor(QColor(0x65, 0x43, 0x21));
    view.setGridLineStyle(2);
    QCOMPARE(early->gridColor(), QColor(0x65, 0x43, 0x21));
    QCOMPARE(early->gridLineStyle(), 2);
    QCOMPARE(view.itemGridColor(), QColor(0x65, 0x43, 0x21));

    auto *later = new VelItemModelDeletage(&view);
    view.setVelTableItemDelegate(later);
    QCOMPARE(later->gridColor(), QColor(0x65, 0x43, 0x21));
    QCOMPARE(later->gridLineStyle(), 2);

    // Any other delegate is installed as it is.
    auto *plain = new QStyledItemDelegate(&view);
    view.setVelTableItemDelegate(plain);
    view.setItemGridColor(Qt::red);
    QCOMPARE(view.treeView()->itemDelegate(), plain);
    QCOMPARE(later->gridColor(), QColor(0x65, 0x43, 0x21));
}

void TestVelTreeView::gridLines_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<bool>("bottom");
    QTest::addColumn<bool>("right");
    QTest::newRow("none") << 0 << false << false;
    QTest::newRow("horizontal") << 1 << true << false;
    QTest::newRow("vertical") << 2 << false << true;
    QTest::newRow("both") << 3 << true << true;
}

void TestVelTreeView::gridLines()
{
    QFETCH(int, style);
    QFETCH(bool, bottom);
    QFETCH(bool, right);

    VelTreeModel model;
    model.setMinimumColumnCount(1);
    model.setRows({Row{{0, cell(QString())}}});
    VelItemModelDeletage delegate;
    const QColor grid(0x10, 0x80, 0x20);
    delegate.setGridColor(grid);
    delegate.setGridLineStyle(style);

    const QImage image = paintCell(delegate, model.index(0, 0));
    QCOMPARE(rowHas(image, image.height() - 1, grid), bottom);
    QCOMPARE(columnHas(image, image.width() - 1, grid), right);
    QCOMPARE(image.pixelColor(0, 0), QColor(Qt::white));
}

void TestVelTreeView::metricsText()
{
    VelItemModelDeletage delegate;
    QImage image(200, 30, QImage::Format_ARGB32);
    image.fill(Qt::white);
    const QRect rect(50, 0, 40, 30);
    {
        QPainter painter(&image);
        painter.setPen(Qt::red);
        delegate.drawMetricsText(&painter, rect, Qt::AlignLeft | Qt::AlignVCenter,
                                 QStringLiteral("a rather long text that cannot fit at all"));
    }
    int inside = 0;
    int outside = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) == QColor(Qt::white))
                continue;
            (rect.contains(x, y) ? inside : outside) += 1;
        }
    }
    QVERIFY(inside > 0);
    QCOMPARE(outside, 0);
}

void TestVelTreeView::messageBox_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("buttonCount");
    QTest::addColumn<bool>("hasIcon");
    QTest::newRow("ok, information") << 1 << 2 << 1 << true;
    QTest::newRow("ok cancel, question") << 2 << 1 << 2 << true;
    QTest::newRow("no icon") << 1 << 0 << 1 << false;
    QTest::newRow("unknown values") << 9 << 42 << 1 << false;
}

void TestVelTreeView::messageBox()
{
    QFETCH(int, buttons);
    QFETCH(int, icon);
    QFETCH(int, buttonCount);
    QFETCH(bool, hasIcon);

    QWidget parent;
    VelMessageBox box(QStringLiteral("提醒"), QStringLiteral("<b>not bold</b>"), buttons, &parent,
                      icon);
    QCOMPARE(box.windowTitle(), QStringLiteral("提醒"));
    QCOMPARE(box.text(), QStringLiteral("<b>not bold</b>"));
    QCOMPARE(box.findChild<QLabel *>(QStringLiteral("velMessageBoxText"))->textFormat(),
             Qt::PlainText);
    QCOMPARE(box.findChild<QDialogButtonBox *>()->buttons().size(), buttonCount);
    QCOMPARE(box.findChild<QLabel *>(QStringLiteral("velMessageBoxIcon")) != nullptr, hasIcon);

    // Runs modally and returns with the button pressed.
    expectPlatformNotice();
    QTimer::singleShot(0, &box, [&box] {
        box.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    QCOMPARE(box.exec(), int(QDialog::Accepted));
}

QTEST_MAIN(TestVelTreeView)
#include "tst_veltreeview.moc"
