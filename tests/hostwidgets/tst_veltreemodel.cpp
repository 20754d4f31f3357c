#include "testsupport.h"
#include "velwidget/veltreemodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString kDisplay = QStringLiteral("0");
const QString kUser = QStringLiteral("256");

QVariantMap cell(const QVariant &user, const QVariant &display = QVariant())
{
    QVariantMap record{{kUser, user}};
    if (display.isValid())
        record.insert(kDisplay, display);
    return record;
}

// "key>link=text": key in column 0, link in column 1, text shown in column 2.
Row parseRow(const QString &rowText)
{
    QString rest = rowText;
    QString text;
    const int eq = rest.indexOf(QLatin1Char('='));
    if (eq >= 0) {
        text = rest.mid(eq + 1);
        rest.truncate(eq);
    }
    const QStringList keyAndLink = rest.split(QLatin1Char('>'));
    Row row;
    row.insert(0, cell(keyAndLink.value(0)));
    if (keyAndLink.size() > 1)
        row.insert(1, cell(keyAndLink.value(1)));
    if (!text.isEmpty())
        row.insert(2, QVariantMap{{kDisplay, text}});
    return row;
}

QList<Row> parseRows(const QString &rowTexts)
{
    QList<Row> rows;
    for (const QString &rowText : rowTexts.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        rows.append(parseRow(rowText));
    return rows;
}

// The tree as "key=text[children] ...", the form the expectations are written in.
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

void setUpKeyed(VelTreeModel &model)
{
    model.setKeyColumns({0});
    model.setLinkColumn(1);
    model.setMinimumColumnCount(5);
}

// (key of the row, column) of every dataChanged; each must name one cell.
QStringList changedCells(const QSignalSpy &spy)
{
    QStringList cells;
    for (const QList<QVariant> &args : spy) {
        const QModelIndex topLeft = args.at(0).value<QModelIndex>();
        const QModelIndex bottomRight = args.at(1).value<QModelIndex>();
        if (topLeft != bottomRight)
            return {QStringLiteral("range!")};
        cells.append(topLeft.siblingAtColumn(0).data(Qt::UserRole).toString() + QLatin1Char(':') +
                     QString::number(topLeft.column()));
    }
    return cells;
}

} // namespace

class TestVelTreeModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void setRows_data();
    void setRows();
    void replaceAll();
    void updateRow_data();
    void updateRow();
    void addRow_data();
    void addRow();
    void compositeKeys();
    void keyChangeRebuilds();
    void columnsAndHeads();
    void alignmentRole();
    void otherColumnsOfRow();
};

void TestVelTreeModel::setRows_data()
{
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("tree");

    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("flat") << "a;b;c"
                          << "a b c";
    QTest::newRow("children after parents") << "g1;g2;x>g1;y>g2;z>g1"
                                            << "g1[x z] g2[y]";
    QTest::newRow("children before parents") << "x>g1;y>g2;z>g1;g2;g1"
                                             << "g2[y] g1[x z]";
    QTest::newRow("grandchildren") << "c>b;a;b>a"
                                   << "a[b[c]]";
    QTest::newRow("parent not found is top-level") << "g1;x>nope;y>g1"
                                                   << "g1[y] x";
    QTest::newRow("duplicate merges into first") << "a=1;b;a=2"
                                                 << "a=2 b";
    QTest::newRow("duplicate keeps first position") << "a;b=1;c;b=2"
                                                    << "a b=2 c";
    QTest::newRow("self link is top-level") << "a>a;b"
                                            << "a b";
    QTest::newRow("two-row cycle does not hang") << "a>b;b>a"
                                                 << "b[a]";
    QTest::newRow("three-row cycle does not hang") << "a>c;b>a;c>b"
                                                   << "c[a[b]]";
    QTest::newRow("rows without key stay apart") << "=x;=y;a"
                                                 << "=x =y a";
    QTest::newRow("empty link never matches a keyless row") << "=x;a>=y"
                                                            << "=x a=y";
}

void TestVelTreeModel::setRows()
{
    QFETCH(QString, rows);
    QFETCH(QString, tree);

    VelTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    setUpKeyed(model);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QVERIFY(reset.isValid());

    model.setRows(parseRows(rows));
    QCOMPARE(dump(model), tree);
    QCOMPARE(reset.count(), 1);
}

void TestVelTreeModel::replaceAll()
{
    VelTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    setUpKeyed(model);
    model.setRows(parseRows(QStringLiteral("g1;x>g1;y>g1")));
    QPersistentModelIndex child = model.index(0, 0, model.index(0, 0));
    QVERIFY(child.isValid());

    model.setRows(parseRows(QStringLiteral("g2;z>g2")));
    QCOMPARE(dump(model), QStringLiteral("g2[z]"));
    QCOMPARE(model.totalRowCount(), 2);
    QVERIFY(!child.isValid());
    // The old identities are gone with their rows.
    QVERIFY(!model.updateRow(parseRow(QStringLiteral("x=new"))));
    QVERIFY(!model.indexOfIdentity(QStringLiteral("g1")).isValid());

    model.clear();
    QCOMPARE(dump(model), QString());
    QCOMPARE(model.totalRowCount(), 0);
}

void TestVelTreeModel::updateRow_data()
{
    QTest::addColumn<Row>("update");
    QTest::addColumn<bool>("known");
    QTest::addColumn<QStringList>("changed");
    QTest::addColumn<QString>("tree");

    // Every case starts from "g[x=1 y=2]" with x's column 3 = {"0": "a"}.
    const QVariantMap keyX = cell(QStringLiteral("x"));
    const QVariantMap sameThree{{kDisplay, QStringLiteral("a")}};

    QTest::newRow("changed cell") << Row{{0, keyX},
                                         {2, QVariantMap{{kDisplay, QStringLiteral("5")}}}}
                                  << true << QStringList{QStringLiteral("x:2")} << "g[x=5 y=2]";
    QTest::newRow("unchanged cells emit nothing")
        << Row{{0, keyX}, {2, QVariantMap{{kDisplay, QStringLiteral("1")}}}, {3, sameThree}} << true
        << QStringList() << "g[x=1 y=2]";
    QTest::newRow("only the changed of several cells")
        << Row{{0, keyX},
               {2, QVariantMap{{kDisplay, QStringLiteral("1")}}},
               {3, QVariantMap{{kDisplay, QStringLiteral("b")}}},
               {4, QVariantMap{{kDisplay, QStringLiteral("new")}}}}
        << true << QStringList{QStringLiteral("x:3"), QStringLiteral("x:4")} << "g[x=1 y=2]";
    QTest::newRow("value type change is a change")
        << Row{{0, keyX}, {2, QVariantMap{{kDisplay, 1}}}} << true
        << QStringList{QStringLiteral("x:2")} << "g[x=1 y=2]";
    QTest::newRow("record replaced whole, not merged")
        << Row{{0, keyX}, {3, QVariantMap{{kUser, QStringLiteral("u")}}}} << true
        << QStringList{QStringLiteral("x:3")} << "g[x=1 y=2]";
    QTest::newRow("unshown column changes silently")
        << Row{{0, keyX}, {15, QVariantMap{{kDisplay, QStringLiteral("hidden")}}}} << true
        << QStringList() << "g[x=1 y=2]";
    QTest::newRow("unknown identity ignored")
        << Row{{0, cell(QStringLiteral("nope"))}, {2, QVariantMap{{kDisplay, QStringLiteral("9")}}}}
        << false << QStringList() << "g[x=1 y=2]";
    QTest::newRow("row without key ignored")
        << Row{{2, QVariantMap{{kDisplay, QStringLiteral("9")}}}} << false << QStringList()
        << "g[x=1 y=2]";
    QTest::newRow("never reparents") << Row{{0, keyX}, {1, cell(QString())}} << true
                                     << QStringList{QStringLiteral("x:1")} << "g[x=1 y=2]";
}

void TestVelTreeModel::updateRow()
{
    QFETCH(Row, update);
    QFETCH(bool, known);
    QFETCH(QStringList, changed);
    QFETCH(QString, tree);

    VelTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    setUpKeyed(model);
    QList<Row> rows = parseRows(QStringLiteral("g;x>g=1;y>g=2"));
    rows[1].insert(3, QVariantMap{{kDisplay, QStringLiteral("a")}});
    model.setRows(rows);
    const Row before = model.rowData(model.indexOfIdentity(QStringLiteral("x")));

    QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(spy.isValid());
    int structural = 0;
    auto count = [&structural] { ++structural; };
    connect(&model, &QAbstractItemModel::layoutChanged, this, count);
    connect(&model, &QAbstractItemModel::modelReset, this, count);
    connect(&model, &QAbstractItemModel::rowsInserted, this, count);
    connect(&model, &QAbstractItemModel::rowsRemoved, this, count);
    connect(&model, &QAbstractItemModel::rowsMoved, this, count);

    QCOMPARE(model.updateRow(update), known);
    QCOMPARE(changedCells(spy), changed);
    QCOMPARE(dump(model), tree);
    QCOMPARE(structural, 0);

    // Cells the update carries replace the old ones; the others stay.
    Row expected = before;
    if (known) {
        for (auto it = update.cbegin(); it != update.cend(); ++it)
            expected.insert(it.key(), it.value());
    }
    QCOMPARE(model.rowData(model.indexOfIdentity(QStringLiteral("x"))), expected);
}

void TestVelTreeModel::addRow_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<QString>("added");
    QTest::addColumn<int>("inserted");
    QTest::addColumn<QString>("tree");

    QTest::newRow("child of existing row") << "g;x>g"
                                           << "y>g" << 1 << "g[x y]";
    QTest::newRow("top-level row") << "g"
                                   << "h" << 1 << "g h";
    QTest::newRow("unknown parent is top-level") << "g"
                                                 << "y>nope" << 1 << "g y";
    QTest::newRow("known identity updates") << "g;x>g=1"
                                            << "x>g=2" << 0 << "g[x=2]";
    QTest::newRow("into empty model") << ""
                                      << "a" << 1 << "a";
}

void TestVelTreeModel::addRow()
{
    QFETCH(QString, initial);
    QFETCH(QString, added);
    QFETCH(int, inserted);
    QFETCH(QString, tree);

    VelTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    setUpKeyed(model);
    model.setRows(parseRows(initial));
    QSignalSpy spy(&model, &QAbstractItemModel::rowsInserted);
    QVERIFY(spy.isValid());

    model.addRow(parseRow(added));
    QCOMPARE(spy.count(), inserted);
    QCOMPARE(dump(model), tree);
    // The added row can be updated like any other.
    const Row key{{0, parseRow(added).value(0)}};
    QVERIFY(model.updateRow(key));
}

// The T-board's layout: columns 7 and 15 identify a row, column 16 links it.
void TestVelTreeModel::compositeKeys()
{
    VelTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setKeyColumns({7, 15});
    model.setLinkColumn(16);
    model.setMinimumColumnCount(15);

    auto strike = [](const QString &strikeKey, const QString &date) {
        return Row{{7, cell(strikeKey)},
                   {15, cell(date)},
                   {16, cell(QString(QStringLiteral("ALL_PRICE") + date))}};
    };
    auto group = [](const QString &date) {
        return Row{{0, cell(QVariant(), date)},
                   {7, cell(QStringLiteral("ALL_PRICE"))},
                   {15, cell(date)},
                   {16, cell(QString())}};
    };
    model.setRows({group(QStringLiteral("20261223")), group(QStringLiteral("20270127")),
                   strike(QStringLiteral("2.950 "), QStringLiteral("20270127")),
                   strike(QStringLiteral("2.950 "), QStringLiteral("20261223")),
                   strike(QStringLiteral("3.000 "), QStringLiteral("20261223"))});

    QCOMPARE(model.identityOf(group(QStringLiteral("20261223"))),
             QStringLiteral("ALL_PRICE20261223"));
    QCOMPARE(model.rowCount(), 2);
    const QModelIndex first = model.index(0, 0);
    QCOMPARE(first.data().toString(), QStringLiteral("20261223"));
    QCOMPARE(model.rowCount(first), 2);
    QCOMPARE(model.rowCount(model.index(1, 0)), 1);

    // The same strike under two dates is two rows.
    const QModelIndex later = model.indexOfIdentity(QStringLiteral("2.950 20270127"), 7);
    QCOMPARE(later.parent(), model.index(1, 0));
    QCOMPARE(later.column(), 7);
    QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(spy.isValid());
    QVERIFY(model.updateRow(Row{{7, cell(QStringLiteral("2.950 "))},
                                {15, cell(QStringLiteral("20261223"))},
                                {2, cell(QStringLiteral("0.1234###3"))}}));
    QCOMPARE(spy.count(), 1);
    const QModelIndex changed = spy.at(0).at(0).value<QModelIndex>();
    QCOMPARE(changed.parent(), first);
    QCOMPARE(changed.row(), 0);
    QCOMPARE(changed.column(), 2);
    QCOMPARE(changed.data(Qt::UserRole).toString(), QStringLiteral("0.1234###3"));
}

void TestVelTreeModel::keyChangeRebuilds()
{
    VelTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setMinimumColumnCount(3);
    model.setRows(parseRows(QStringLiteral("g;x>g")));
    // Without keys nothing is linked or updatable.
    QCOMPARE(dump(model), QStringLiteral("g x"));
    QVERIFY(!model.updateRow(parseRow(QStringLiteral("x=1"))));

    model.setKeyColumns({0});
    model.setLinkColumn(1);
    QCOMPARE(dump(model), QStringLiteral("g[x]"));
    QVERIFY(model.updateRow(parseRow(QStringLiteral("x=1"))));
    model.setLinkColumn(-1);
    QCOMPARE(dump(model), QStringLiteral("g x=1"));
}

void TestVelTreeModel::columnsAndHeads()
{
    VelTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    setUpKeyed(model);
    model.setRows(parseRows(QStringLiteral("g;x>g")));
    QCOMPARE(model.columnCount(), 5);

    QList<QVariantMap> heads;
    for (int i = 0; i < 7; ++i)
        heads.append({{QStringLiteral("Head_DisplayRole"), QStringLiteral("c%1").arg(i)},
                      {QStringLiteral("Head_UserRole"), QString::number(i)}});
    model.setHeadList(heads);
    QCOMPARE(model.columnCount(), 7);
    QCOMPARE(model.columnCount(model.index(0, 0)), 7);
    QCOMPARE(model.headerData(6, Qt::Horizontal).toString(), QStringLiteral("c6"));
    QCOMPARE(model.headerData(6, Qt::Horizontal, Qt::UserRole).toString(), QStringLiteral("6"));
    QVERIFY(!model.headerData(7, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(0, Qt::Vertical).isValid());

    // Shorter heads: the minimum count still holds, extra sections have no caption.
    model.setHeadList(heads.mid(0, 2));
    QCOMPARE(model.columnCount(), 5);
    QVERIFY(!model.headerData(3, Qt::Horizontal).isValid());
    QCOMPARE(dump(model), QStringLiteral("g[x]"));
    QVERIFY(!model.index(0, 5).isValid());
    QVERIFY(!(model.flags(model.index(0, 1)) & Qt::ItemIsEditable));
}

void TestVelTreeModel::alignmentRole()
{
    VelTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    setUpKeyed(model);
    Row own = parseRow(QStringLiteral("b"));
    own.insert(2, QVariantMap{{QString::number(Qt::TextAlignmentRole), int(Qt::AlignRight)}});
    model.setRows({parseRow(QStringLiteral("a")), own});

    QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(spy.isValid());
    model.setColumnTextAlignment(2, Qt::AlignHCenter | Qt::AlignVCenter);
    QCOMPARE(spy.count(), 1);
    QVERIFY(spy.at(0).at(2).value<QVector<int>>().contains(Qt::TextAlignmentRole));

    QCOMPARE(model.index(0, 2).data(Qt::TextAlignmentRole).toInt(), 132);
    // A cell's own alignment wins over its column's.
    QCOMPARE(model.index(1, 2).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight));
    QVERIFY(!model.index(0, 3).data(Qt::TextAlignmentRole).isValid());
    QCOMPARE(model.getIndexData(model.index(0, 0), 2, Qt::TextAlignmentRole).toInt(), 132);
}

// The delegate reads columns of the same row that are not shown (15, 16) or
// another role than the painted one.
void TestVelTreeModel::otherColumnsOfRow()
{
    VelTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    setUpKeyed(model);
    Row row = parseRow(QStringLiteral("a"));
    row.insert(3, QVariantMap{{QStringLiteral("257"), -1.5}});
    row.insert(15, cell(QStringLiteral("20261223")));
    row.insert(16, cell(QStringLiteral("ALL_PRICE20261223")));
    model.setRows({row});

    const QModelIndex index = model.index(0, 1);
    QCOMPARE(model.getIndexData(index, 3, Qt::UserRole + 1).toDouble(), -1.5);
    QCOMPARE(model.getIndexData(index, 15, Qt::UserRole).toString(), QStringLiteral("20261223"));
    QCOMPARE(model.getIndexData(index, 16, Qt::UserRole).toString(),
             QStringLiteral("ALL_PRICE20261223"));
    QVERIFY(!model.getIndexData(index, 99, Qt::UserRole).isValid());
    QVERIFY(!model.getIndexData(QModelIndex(), 3, Qt::UserRole + 1).isValid());
    QCOMPARE(VelModelIndex::column(index), 1);

    VelTreeModel other;
    other.setMinimumColumnCount(2);
    other.setRows({row});
    QVERIFY(!model.getIndexData(other.index(0, 0), 3, Qt::UserRole + 1).isValid());
    QVERIFY(model.rowData(other.index(0, 0)).isEmpty());
}

QTEST_MAIN(TestVelTreeModel)
#include "tst_veltreemodel.moc"
