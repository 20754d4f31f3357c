#include "boardprinter.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

class TestBoardPrinter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void cellText_data();
    void cellText();
    void board();
};

void TestBoardPrinter::cellText_data()
{
    QTest::addColumn<QByteArray>("cell");
    QTest::addColumn<QString>("expected");
    QTest::newRow("display text wins") << QByteArray(R"J({"0": "2026年12月23日", "256": "x###3"})J")
                                       << QStringLiteral("2026年12月23日");
    QTest::newRow("empty display falls back")
        << QByteArray(R"J({"0": "", "256": "ALL_PRICE"})J") << QStringLiteral("ALL_PRICE");
    QTest::newRow("just changed") << QByteArray(R"J({"256": "0.1234###3", "257": 0.1234})J")
                                  << QStringLiteral("0.1234*3");
    QTest::newRow("fading") << QByteArray(R"J({"256": "-1.25%###1"})J")
                            << QStringLiteral("-1.25%*1");
    QTest::newRow("level 0 shows the value only")
        << QByteArray(R"J({"256": "0.4269###0"})J") << QStringLiteral("0.4269");
    QTest::newRow("open interest number")
        << QByteArray(R"J({"256": 12345, "257": "12345"})J") << QStringLiteral("12345");
    QTest::newRow("fraction keeps its digits")
        << QByteArray(R"J({"256": 2.95})J") << QStringLiteral("2.95");
    QTest::newRow("empty cell") << QByteArray("{}") << QString();
}

void TestBoardPrinter::cellText()
{
    QFETCH(QByteArray, cell);
    QFETCH(QString, expected);
    QCOMPARE(BoardPrinter::cellText(QJsonDocument::fromJson(cell).object()), expected);
}

void TestBoardPrinter::board()
{
    const QByteArray json = R"J({
      "title": "T型行情",
      "category": {"index": 0, "text": "上证ETF"},
      "underlying": {"index": 0, "text": "50ETF", "symbol": "510050.SH", "items": []},
      "allButton": {"text": "所有", "visible": true, "checked": false},
      "dateButtons": [{"text": "20261223(18日)", "visible": true, "checked": true},
                      {"text": "", "visible": false, "checked": false}],
      "callCaption": "认购期权", "putCaption": "认沽期权(10007002)",
      "rows": [{"cells": {"0": {"0": "2026年12月23日"}, "7": {"256": "ALL_PRICE"}},
                "children": [{"cells": {"0": {"256": "0.1233###3"}, "7": {"256": "2.950 "},
                                        "14": {"256": "0.0456###0"}}, "children": []}]}]
    })J";
    QStringList captions;
    for (int i = 0; i < 15; ++i)
        captions.append(QStringLiteral("c%1").arg(i));
    const QString text = BoardPrinter::format(QJsonDocument::fromJson(json).object(), captions);
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines.at(0), QStringLiteral("== T型行情 =="));
    QCOMPARE(lines.at(1), QStringLiteral("标的: 上证ETF / 50ETF (510050.SH)"));
    // Hidden buttons are left out, checked ones marked.
    QCOMPARE(lines.at(2), QStringLiteral("日期: [所有] [20261223(18日)]*"));
    QCOMPARE(lines.at(3), QStringLiteral("认购期权 | 认沽期权(10007002)"));
    QVERIFY(lines.at(4).startsWith(QStringLiteral("c0 ")));
    QVERIFY(lines.at(5).startsWith(QStringLiteral("2026年12月23日 |")));
    QVERIFY2(lines.at(6).startsWith(QStringLiteral("  0.1233*3 ")), qPrintable(lines.at(6)));
    QVERIFY(lines.at(6).contains(QStringLiteral("| 2.950 ")));
    QVERIFY(lines.at(6).endsWith(QStringLiteral("| 0.0456")));
    // Columns line up: the separators sit at the same display positions.
    auto separators = [](const QString &line) {
        QList<int> at;
        int width = 0;
        for (const QChar c : line) {
            if (c == QLatin1Char('|'))
                at.append(width);
            width += BoardPrinter::displayWidth(QString(c));
        }
        return at;
    };
    QCOMPARE(separators(lines.at(5)), separators(lines.at(4)));
    QCOMPARE(separators(lines.at(6)).size(), 14);
    QCOMPARE(separators(lines.at(6)), separators(lines.at(4)));
}

QTEST_GUILESS_MAIN(TestBoardPrinter)
#include "tst_boardprinter.moc"
