#include "ItemModelDeletage.h"
#include "TQuotationFrame.h"
#include "testsupport.h"
#include "viewtestsupport.h"

#include "PivoraUtils/pivorautils.h"
#include "veldefine/velconstants.h"
#include "velwidget/veltreemodel.h"
#include "velwidget/veltreeview.h"

#include <QImage>
#include <QPainter>
#include <QStandardItemModel>
#include <QTest>

#include <memory>

using Cells = QMap<int, QString>; // column -> "256" text

namespace {

const QColor kCanvas(0x80, 0x80, 0x80);
const QColor kUp(0x2a, 0x1a, 0x1a);
const QColor kDown(0x1a, 0x2a, 0x1a);
const QString kDate = QStringLiteral("20991231");

enum Ink { NoInk, RiseInk, FallInk, NeutralInk };

// Builds a strike row (or a group row when the strike is ALL_PRICE) with the
// given "256" texts and the two sides' change per cent under "257".
QMap<int, QVariantMap> makeRow(const QString &strike, const Cells &cells, double callChange,
                               double putChange)
{
    QMap<int, QVariantMap> row;
    for (auto it = cells.cbegin(); it != cells.cend(); ++it)
        row[it.key()][VelConst::RoleUser] = it.value();
    row[3][VelConst::RoleUser1] = callChange;
    row[11][VelConst::RoleUser1] = putChange;
    row[6][VelConst::RoleUser1] = QStringLiteral("12345");
    row[7][VelConst::RoleUser] = strike;
    row[15][VelConst::RoleUser] = kDate;
    if (strike != VelConst::ALL_PRICE)
        row[16][VelConst::RoleUser] = QString(VelConst::ALL_PRICE + kDate);
    return row;
}

// What ink the cell's text was drawn with, judged from the pixels that are
// neither the canvas nor the fill.
Ink inkOf(const QImage &image, const QColor &background)
{
    int red = 0, green = 0, grey = 0;
    for (int y = 2; y < image.height() - 2; ++y) {
        for (int x = 2; x < image.width() - 2; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - background.red()) + qAbs(c.green() - background.green()) +
                    qAbs(c.blue() - background.blue()) <
                60)
                continue;
            if (c.red() > c.green() + 60)
                ++red;
            else if (c.green() > c.red() + 60)
                ++green;
            else if (qAbs(c.red() - c.green()) < 20 && c.red() > background.red() + 40)
                ++grey;
        }
    }
    if (red > 5 && green == 0)
        return RiseInk;
    if (green > 5 && red == 0)
        return FallInk;
    if (grey > 5 && red == 0 && green == 0)
        return NeutralInk;
    return NoInk;
}

} // namespace

class TestItemModelDeletage : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> m_page;
    TQuotationFrame *m_frame = nullptr;

    VelTreeView *table() const { return m_frame->findChild<VelTreeView *>(); }
    ItemModelDeletage *delegate() const { return m_frame->findChild<ItemModelDeletage *>(); }

    // Shows the row alone in the table and paints one of its cells.
    QImage render(const QAbstractItemDelegate *painterDelegate, const QMap<int, QVariantMap> &row,
                  int column, QStyle::State state = QStyle::State_Enabled)
    {
        const bool group = row.value(7).value(VelConst::RoleUser) == VelConst::ALL_PRICE;
        QList<QMap<int, QVariantMap>> rows;
        rows << (group ? row : makeRow(VelConst::ALL_PRICE, {}, 0, 0));
        if (!group)
            rows << row;
        m_frame->slotPositionListUpdate(rows);
        QModelIndex index = table()->index(0, column);
        if (!group)
            index = table()->index(0, column, table()->index(0, 0));
        QImage image(120, 24, QImage::Format_ARGB32);
        image.fill(kCanvas);
        QPainter painter(&image);
        QFont font = painter.font();
        font.setPixelSize(18);
        font.setBold(true);
        painter.setFont(font);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        option.state = state;
        option.font = font;
        painterDelegate->paint(&painter, option, index);
        return image;
    }

private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }

    void init()
    {
        m_page.reset(new QWidget);
        m_frame = new TQuotationFrame(m_page.get());
        QList<QVariantMap> heads;
        m_frame->setTableHeadList(heads);
    }

    void cleanup()
    {
        m_page.reset();
        VERIFY_NO_UNEXPECTED_WARNINGS();
    }

    void cells_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("callChange");
        QTest::addColumn<double>("putChange");
        QTest::addColumn<QColor>("fill"); // invalid: no fill
        QTest::addColumn<int>("ink");

        QTest::newRow("call bid falling, level 3")
            << 0 << "2.9500###3" << -1.5 << 2.0 << QColor(0, 0, 96) << int(FallInk);
        QTest::newRow("call bid falling, level 0")
            << 0 << "2.9500###0" << -1.5 << 2.0 << QColor() << int(FallInk);
        QTest::newRow("call last rising, level 2")
            << 2 << "0.1000###2" << 1.0 << -2.0 << QColor(0, 0, 64) << int(RiseInk);
        QTest::newRow("call ask unchanged, level 1")
            << 1 << "0.1000###1" << 0.0 << -2.0 << QColor(0, 0, 32) << int(RiseInk);
        QTest::newRow("unknown level fills full blue")
            << 4 << "0.5000###x" << 1.0 << 1.0 << QColor(0, 0, 255) << int(RiseInk);
        QTest::newRow("put bid follows column 11")
            << 14 << "0.2000###0" << -3.0 << 1.0 << QColor() << int(RiseInk);
        QTest::newRow("put last falling")
            << 12 << "0.2000###3" << 3.0 << -1.0 << QColor(0, 0, 96) << int(FallInk);
        QTest::newRow("strike neutral")
            << 7 << "2.950 " << 1.0 << 1.0 << QColor() << int(NeutralInk);
    }

    void cells()
    {
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(double, callChange);
        QFETCH(double, putChange);
        QFETCH(QColor, fill);
        QFETCH(int, ink);
        // The view's tints never change the blink colours.
        m_frame->setProperty("upBackgroudColor", QColor(Qt::yellow));
        m_frame->setProperty("downBackgroudColor", QColor(Qt::cyan));
        const QString strike = column == 7 ? text : QStringLiteral("2.950 ");
        const QImage image =
            render(delegate(), makeRow(strike, {{column, text}}, callChange, putChange), column);
        const QColor corner = image.pixelColor(1, 1);
        QCOMPARE(corner, fill.isValid() ? fill : kCanvas);
        QCOMPARE(int(inkOf(image, corner)), ink);
        if (fill.isValid())
            QCOMPARE(image.pixelColor(image.width() - 1, image.height() - 1), fill);
    }

    // Cells the delegate leaves to the host's painting alone.
    void baseOnly_data()
    {
        QTest::addColumn<QString>("strike");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::newRow("group row strike") << VelConst::ALL_PRICE << 7 << VelConst::ALL_PRICE;
        QTest::newRow("no separator") << QStringLiteral("2.950 ") << 0 << QStringLiteral("2.9500");
        QTest::newRow("two separators")
            << QStringLiteral("2.950 ") << 1 << QStringLiteral("1###2###3");
        QTest::newRow("column 15")
            << QStringLiteral("2.950 ") << 15 << QStringLiteral("2.9500###3");
        QTest::newRow("column 16")
            << QStringLiteral("2.950 ") << 16 << QStringLiteral("2.9500###3");
    }

    void baseOnly()
    {
        QFETCH(QString, strike);
        QFETCH(int, column);
        QFETCH(QString, text);
        const auto row = makeRow(strike, {{column, text}}, -1, -1);
        VelItemModelDeletage base;
        const QImage expected = render(&base, row, column);
        QCOMPARE(render(delegate(), row, column), expected);
        // Outside the view the delegate paints as the host does.
        ItemModelDeletage orphan(nullptr);
        QCOMPARE(
            render(&orphan,
                   makeRow(QStringLiteral("2.950 "), {{0, QStringLiteral("1.0###3")}}, 0, 0), 0),
            render(&base, makeRow(QStringLiteral("2.950 "), {{0, QStringLiteral("1.0###3")}}, 0, 0),
                   0));
    }

    void openInterestDrawn()
    {
        VelItemModelDeletage base;
        const auto row = makeRow(QStringLiteral("2.950 "), {}, 0, 0);
        QVERIFY(render(delegate(), row, 6) != render(&base, row, 6));
    }

    void inTheMoney_data()
    {
        QTest::addColumn<QString>("underlying");
        QTest::addColumn<QString>("strike");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("state");
        QTest::addColumn<QColor>("tint"); // invalid: none
        const int normal = QStyle::State_Enabled;
        const int selected = QStyle::State_Enabled | QStyle::State_Selected;
        QTest::newRow("call below price") << "3.000"
                                          << "2.950 " << 0 << normal << kUp;
        QTest::newRow("call open interest below price") << "3.000"
                                                        << "2.950 " << 6 << normal << kUp;
        QTest::newRow("put below price") << "3.000"
                                         << "2.950 " << 14 << normal << QColor();
        QTest::newRow("put above price") << "3.000"
                                         << "3.050A" << 8 << normal << kDown;
        QTest::newRow("call above price") << "3.000"
                                          << "3.050A" << 2 << normal << QColor();
        QTest::newRow("strikes compare as numbers") << "9.800"
                                                    << "10.000 " << 12 << normal << kDown;
        QTest::newRow("at the money") << "3.000"
                                      << "3.000 " << 0 << normal << QColor();
        QTest::newRow("no price yet") << ""
                                      << "2.950 " << 0 << normal << QColor();
        QTest::newRow("price not a number") << "abc"
                                            << "2.950 " << 0 << normal << QColor();
        QTest::newRow("strike column") << "3.000"
                                       << "2.950 " << 7 << normal << QColor();
        QTest::newRow("selected row") << "3.000"
                                      << "2.950 " << 0 << selected << QColor();
        QTest::newRow("group row") << "3.000" << VelConst::ALL_PRICE << 0 << normal << QColor();
    }

    void inTheMoney()
    {
        QFETCH(QString, underlying);
        QFETCH(QString, strike);
        QFETCH(int, column);
        QFETCH(int, state);
        QFETCH(QColor, tint);
        m_frame->setProperty("upBackgroudColor", kUp);
        m_frame->setProperty("downBackgroudColor", kDown);
        m_frame->slotSetSymmetryShortName(underlying);
        const auto row = makeRow(strike, {{column, QStringLiteral("1.0###0")}}, 1, 1);
        const QImage image = render(delegate(), row, column, QStyle::State(state));
        if (tint.isValid()) {
            QCOMPARE(image.pixelColor(1, 1), tint);
        } else {
            VelItemModelDeletage base;
            QCOMPARE(image.pixelColor(1, 1),
                     render(&base, row, column, QStyle::State(state)).pixelColor(1, 1));
        }
        // A blinking cell still shows the blink fill over the tint.
        if (column != 7 && strike != VelConst::ALL_PRICE) {
            const auto blinking = makeRow(strike, {{column, QStringLiteral("1.0###3")}}, 1, 1);
            if (column != 6 && column != 8)
                QCOMPARE(render(delegate(), blinking, column).pixelColor(1, 1), QColor(0, 0, 96));
        }
    }
};

QTEST_MAIN(TestItemModelDeletage)
#include "tst_itemmodeldeletage.moc"
