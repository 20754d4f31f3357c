#include "testsupport.h"

#include "velmsg/packmessage.h"

#include <QDataStream>
#include <QDateTime>
#include <QRandomGenerator>
#include <QTimeZone>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

QByteArray bytesOf(const QVariant &packed)
{
    return packed.toByteArray();
}

// Values the bus carries must come back with their type and value; NaN is
// the one value that is not equal to itself.
bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.userType() != b.userType())
        return false;
    if (a.userType() == QMetaType::Double && std::isnan(a.toDouble()))
        return std::isnan(b.toDouble());
    if (a.userType() == QMetaType::Double)
        return std::signbit(a.toDouble()) == std::signbit(b.toDouble()) && a == b;
    if (a.userType() == QMetaType::QDateTime)
        return a.toDateTime() == b.toDateTime() &&
               a.toDateTime().timeSpec() == b.toDateTime().timeSpec() &&
               a.toDateTime().offsetFromUtc() == b.toDateTime().offsetFromUtc();
    return a == b;
}

// A message header followed by body, written the way the packer writes it.
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

QVariantMap sampleTick()
{
    return QVariantMap{{QStringLiteral("Symbol"), QStringLiteral("10007001.SH")},
                       {QStringLiteral("LastPrice"), 0.1234},
                       {QStringLiteral("Buy1Price"), 0.1233},
                       {QStringLiteral("Sell1Price"), 0.1235},
                       {QStringLiteral("PreSettlePrice"), 0.12},
                       {QStringLiteral("PreClosePrice"), 0.121},
                       {QStringLiteral("OpenInterest"), qlonglong(12345)},
                       {QStringLiteral("MaxPx"), 0.42},
                       {QStringLiteral("MinPx"), 0.0001},
                       {QStringLiteral("t"), qlonglong(1500)}};
}

QVariantMap richRow()
{
    QVariantMap row = sampleTick();
    row.insert(QStringLiteral("list"),
               QVariantList{1, QStringLiteral("two"), QVariantMap{{QStringLiteral("x"), true}}});
    row.insert(QStringLiteral("names"), QStringList{QStringLiteral("a"), QStringLiteral("乙")});
    row.insert(QStringLiteral("when"), QDateTime(QDate(2026, 12, 23), QTime(9, 30), Qt::UTC));
    row.insert(QStringLiteral("day"), QDate(2026, 12, 23));
    row.insert(QStringLiteral("raw"), QByteArray("\0\1\2", 3));
    return row;
}

void expectUnpackWarning()
{
    TestSupport::expectWarning(QRegularExpression(QStringLiteral("^cannot unpack message:")));
}

} // namespace

class TestPackMessage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void valuesSurviveRoundTrip_data();
    void valuesSurviveRoundTrip();
    void otherTypesTravelAsText_data();
    void otherTypesTravelAsText();
    void rowsFollowAddRow_data();
    void rowsFollowAddRow();
    void compressedRoundTrip();
    void nonMessagesGiveNoRows_data();
    void nonMessagesGiveNoRows();
    void everyTruncationIsRefused();
    void hugeDeclaredLengthsAreRefused_data();
    void hugeDeclaredLengthsAreRefused();
    void nestingIsBounded_data();
    void nestingIsBounded();
    void randomBytesNeverCrash();
    void corruptCompressedMessageIsRefused_data();
    void corruptCompressedMessageIsRefused();
};

void TestPackMessage::valuesSurviveRoundTrip_data()
{
    QTest::addColumn<QVariant>("value");
    const double inf = std::numeric_limits<double>::infinity();

    QTest::newRow("invalid") << QVariant();
    QTest::newRow("bool true") << QVariant(true);
    QTest::newRow("bool false") << QVariant(false);
    QTest::newRow("int min") << QVariant(std::numeric_limits<int>::min());
    QTest::newRow("int max") << QVariant(std::numeric_limits<int>::max());
    QTest::newRow("uint max") << QVariant(std::numeric_limits<uint>::max());
    QTest::newRow("qlonglong min") << QVariant(std::numeric_limits<qlonglong>::min());
    QTest::newRow("qulonglong max") << QVariant(std::numeric_limits<qulonglong>::max());
    QTest::newRow("double") << QVariant(2.95);
    QTest::newRow("double -0") << QVariant(-0.0);
    QTest::newRow("double NaN") << QVariant(std::nan(""));
    QTest::newRow("double +inf") << QVariant(inf);
    QTest::newRow("double -inf") << QVariant(-inf);
    QTest::newRow("string") << QVariant(QStringLiteral("50ETF购12月2950"));
    QTest::newRow("string empty") << QVariant(QString(""));
    QTest::newRow("string with NUL")
        << QVariant(QString(QStringLiteral("a")) + QChar(0) + QStringLiteral("b"));
    QTest::newRow("byte array") << QVariant(QByteArray("\0\xff\x80x", 4));
    QTest::newRow("byte array empty") << QVariant(QByteArray(""));
    QTest::newRow("string list") << QVariant(
        QStringList{QStringLiteral("C"), QString(), QStringLiteral("认沽")});
    QTest::newRow("list nested") << QVariant(QVariantList{1, 2.5, QStringLiteral("x"),
                                                          QVariantList{QVariant(), true},
                                                          QVariantMap{{QStringLiteral("k"), 7u}}});
    QTest::newRow("map nested") << QVariant(QVariantMap{
        {QStringLiteral("a"), QVariantMap{{QStringLiteral("b"), QVariantList{qlonglong(1)}}}},
        {QStringLiteral(""), QStringLiteral("empty key")}});
    QTest::newRow("date-time UTC")
        << QVariant(QDateTime(QDate(2026, 12, 23), QTime(9, 30, 0, 125), Qt::UTC));
    QTest::newRow("date-time local")
        << QVariant(QDateTime(QDate(2026, 1, 5), QTime(14, 59), Qt::LocalTime));
    QTest::newRow("date-time offset")
        << QVariant(QDateTime(QDate(2026, 6, 1), QTime(8, 0), Qt::OffsetFromUTC, 8 * 3600));
    QTest::newRow("date-time zone") << QVariant(
        QDateTime(QDate(2026, 6, 1), QTime(8, 0), QTimeZone(QByteArrayLiteral("UTC+08:00"))));
    QTest::newRow("date-time invalid") << QVariant(QDateTime());
    QTest::newRow("date") << QVariant(QDate(2026, 12, 23));
    QTest::newRow("date far past") << QVariant(QDate(-4000, 1, 1));
    QTest::newRow("date invalid") << QVariant(QDate());
}

void TestPackMessage::valuesSurviveRoundTrip()
{
    QFETCH(QVariant, value);

    CPackMessageCommon pack;
    pack.AddRowVaule(
        QVariantMap{{QStringLiteral("v"), value}, {QStringLiteral("Symbol"), QStringLiteral("S")}});
    const QVariant packed = pack.GetPackedMsg(false);
    QCOMPARE(packed.userType(), int(QMetaType::QByteArray));

    CUnPackMessageCommon unpack;
    QVERIFY2(unpack.SetUnPackMsg(packed, false), qPrintable(unpack.errorString()));
    QCOMPARE(unpack.rowCount(), 1);
    const QVariantMap row = unpack.GetRowValue();
    QCOMPARE(row.size(), 2);
    QVERIFY2(sameValue(row.value(QStringLiteral("v")), value),
             qPrintable(QStringLiteral("got %1 (%2)")
                            .arg(row.value(QStringLiteral("v")).toString(),
                                 QString::fromLatin1(row.value(QStringLiteral("v")).typeName()))));
}

void TestPackMessage::otherTypesTravelAsText_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("time") << QVariant(QTime(9, 30)) << QStringLiteral("09:30:00.000");
    QTest::newRow("float") << QVariant(1.5f) << QStringLiteral("1.5");
}

void TestPackMessage::otherTypesTravelAsText()
{
    QFETCH(QVariant, value);
    QFETCH(QString, text);

    QList<QVariantMap> rows;
    QString error;
    QVERIFY(CUnPackMessageCommon::unpack(CPackMessageCommon::pack({{{QStringLiteral("v"), value}}}),
                                         &rows, &error));
    QCOMPARE(rows.size(), 1);
    const QVariant back = rows.first().value(QStringLiteral("v"));
    QCOMPARE(back.userType(), int(QMetaType::QString));
    QCOMPARE(back.toString(), text);
}

void TestPackMessage::rowsFollowAddRow_data()
{
    // Steps: "+k=v" adds a record to the current row, "|" starts a row.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("nothing") << QStringList() << QStringList();
    QTest::newRow("one record") << QStringList{QStringLiteral("+a=1")}
                                << QStringList{QStringLiteral("a=1")};
    QTest::newRow("records merge into the row")
        << QStringList{QStringLiteral("+a=1"), QStringLiteral("+b=2"), QStringLiteral("+a=3")}
        << QStringList{QStringLiteral("a=3,b=2")};
    QTest::newRow("call then put")
        << QStringList{QStringLiteral("+call=C"), QStringLiteral("|"), QStringLiteral("+put=P")}
        << QStringList{QStringLiteral("call=C"), QStringLiteral("put=P")};
    QTest::newRow("AddRow first keeps an empty first row")
        << QStringList{QStringLiteral("|"), QStringLiteral("+a=1")}
        << QStringList{QString(), QStringLiteral("a=1")};
}

void TestPackMessage::rowsFollowAddRow()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, rows);

    CPackMessageCommon pack;
    for (const QString &step : steps) {
        if (step == QLatin1String("|")) {
            pack.AddRow();
        } else {
            const QStringList kv = step.mid(1).split(QLatin1Char('='));
            pack.AddRowVaule(QVariantMap{{kv.at(0), kv.at(1)}});
        }
    }
    CUnPackMessageCommon unpack;
    QVERIFY(unpack.SetUnPackMsg(pack.GetPackedMsg(false), false));
    QStringList got;
    for (const QVariantMap &row : unpack.rows()) {
        QStringList pairs;
        for (auto it = row.cbegin(); it != row.cend(); ++it)
            pairs << it.key() + QLatin1Char('=') + it.value().toString();
        got << pairs.join(QLatin1Char(','));
    }
    QCOMPARE(got, rows);
    QCOMPARE(unpack.GetRowValue().isEmpty(), rows.isEmpty() || rows.first().isEmpty());
}

void TestPackMessage::compressedRoundTrip()
{
    CPackMessageCommon pack;
    pack.AddRowVaule(richRow());
    pack.AddRow();
    pack.AddRowVaule(sampleTick());
    const QVariant compressed = pack.GetPackedMsg(true);
    QVERIFY(bytesOf(compressed) != bytesOf(pack.GetPackedMsg(false)));

    CUnPackMessageCommon unpack;
    QVERIFY2(unpack.SetUnPackMsg(compressed, true), qPrintable(unpack.errorString()));
    QCOMPARE(unpack.rows(), (QList<QVariantMap>{richRow(), sampleTick()}));
}

void TestPackMessage::nonMessagesGiveNoRows_data()
{
    QTest::addColumn<QVariant>("msg");
    QTest::addColumn<QString>("error");

    const QByteArray good = CPackMessageCommon::pack({sampleTick()});
    QTest::newRow("empty variant") << QVariant() << QStringLiteral("empty");
    QTest::newRow("a string") << QVariant(QStringLiteral("Symbol=1")) << QStringLiteral("QString");
    QTest::newRow("a map") << QVariant(sampleTick()) << QStringLiteral("QVariantMap");
    QTest::newRow("empty bytes") << QVariant(QByteArray()) << QStringLiteral("truncated at byte 0");
    QTest::newRow("bad magic") << QVariant(QByteArray("VELN") + good.mid(4))
                               << QStringLiteral("bad magic");
    QTest::newRow("future version") << QVariant(good.left(4) + QByteArray("\0\2", 2) + good.mid(6))
                                    << QStringLiteral("version 2");
    QTest::newRow("stray bytes") << QVariant(good + QByteArray("x"))
                                 << QStringLiteral("1 stray bytes");
    QTest::newRow("unknown tag") << QVariant(withHeader(entryWithTag(200)))
                                 << QStringLiteral("unknown value tag 200");
    QTest::newRow("bad time basis")
        << QVariant(withHeader(entryWithTag(12) + QByteArray("\1", 1) + QByteArray(8, '\0') +
                               QByteArray("\7", 1)))
        << QStringLiteral("unknown time basis 7");
    QTest::newRow("date-time out of range")
        << QVariant(withHeader(entryWithTag(12) + QByteArray("\1", 1) + QByteArray("\x7f", 1) +
                               QByteArray(7, '\xff') + QByteArray("\1", 1)))
        << QStringLiteral("out of range");
}

void TestPackMessage::nonMessagesGiveNoRows()
{
    QFETCH(QVariant, msg);
    QFETCH(QString, error);

    expectUnpackWarning();
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^cannot unpack message:")));
    CUnPackMessageCommon unpack;
    QVERIFY(!unpack.SetUnPackMsg(msg, false));
    QCOMPARE(unpack.rowCount(), 0);
    QVERIFY(unpack.GetRowValue().isEmpty());
    QVERIFY2(unpack.errorString().contains(error), qPrintable(unpack.errorString()));
}

void TestPackMessage::everyTruncationIsRefused()
{
    const QByteArray full = CPackMessageCommon::pack({richRow(), sampleTick()});
    for (int length = 0; length < full.size(); ++length) {
        QList<QVariantMap> rows{QVariantMap{{QStringLiteral("stale"), 1}}};
        QString error;
        QVERIFY2(
            !CUnPackMessageCommon::unpack(full.left(length), &rows, &error),
            qPrintable(QStringLiteral("accepted %1 of %2 bytes").arg(length).arg(full.size())));
        QVERIFY(rows.isEmpty());
        QVERIFY(!error.isEmpty());
    }
    QList<QVariantMap> rows;
    QVERIFY(CUnPackMessageCommon::unpack(full, &rows, nullptr));
    QCOMPARE(rows.size(), 2);
}

void TestPackMessage::hugeDeclaredLengthsAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("row count") << withHeader(QByteArray(), 0xFFFFFFFFu);
    QTest::newRow("map entries") << withHeader(be32(0x7FFFFFFF));
    QTest::newRow("key length") << withHeader(be32(1) + be32(0xFFFFFFF0u) + QByteArray("k"));
    QTest::newRow("string length")
        << withHeader(entryWithTag(7) + be32(0x7FFFFFFF) + QByteArray("abc"));
    QTest::newRow("byte array length") << withHeader(entryWithTag(8) + be32(0xFFFFFFFFu));
    QTest::newRow("string list count") << withHeader(entryWithTag(9) + be32(0x40000000));
    QTest::newRow("list count") << withHeader(entryWithTag(10) + be32(0xFFFFFFFFu) +
                                              QByteArray(8, '\0'));
    QTest::newRow("nested map entries") << withHeader(entryWithTag(11) + be32(0x10000000));
    QTest::newRow("time zone length")
        << withHeader(entryWithTag(12) + QByteArray("\1", 1) + QByteArray(8, '\0') +
                      QByteArray("\3", 1) + be32(0x7FFFFFFF));
}

void TestPackMessage::hugeDeclaredLengthsAreRefused()
{
    QFETCH(QByteArray, bytes);

    QList<QVariantMap> rows;
    QString error;
    QVERIFY(!CUnPackMessageCommon::unpack(bytes, &rows, &error));
    QVERIFY(rows.isEmpty());
    QVERIFY2(error.contains(QLatin1String("exceeds")), qPrintable(error));
}

void TestPackMessage::nestingIsBounded_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("list");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("32 lists") << 32 << true << true;
    QTest::newRow("33 lists") << 33 << true << false;
    QTest::newRow("32 maps") << 32 << false << true;
    QTest::newRow("33 maps") << 33 << false << false;
    QTest::newRow("100000 lists") << 100000 << true << false;
}

void TestPackMessage::nestingIsBounded()
{
    QFETCH(int, depth);
    QFETCH(bool, list);
    QFETCH(bool, accepted);

    QByteArray bytes;
    if (depth <= 64) {
        QVariant value = 1;
        for (int i = 0; i < depth; ++i)
            value = list ? QVariant(QVariantList{value})
                         : QVariant(QVariantMap{{QStringLiteral("n"), value}});
        bytes = CPackMessageCommon::pack({{{QStringLiteral("v"), value}}});
    } else {
        // Too deep to build as QVariants; write the bytes directly: a row
        // with one entry "v" holding a list holding a list ...
        QByteArray body;
        QDataStream out(&body, QIODevice::WriteOnly);
        out << quint32(1) << quint32(1) << quint8('v');
        for (int i = 0; i < depth; ++i)
            out << quint8(10) << quint32(1);
        out << quint8(0);
        bytes = withHeader(body);
    }
    QList<QVariantMap> rows;
    QString error;
    QCOMPARE(CUnPackMessageCommon::unpack(bytes, &rows, &error), accepted);
    QCOMPARE(rows.size(), accepted ? 1 : 0);
    if (!accepted)
        QVERIFY2(error.contains(QLatin1String("nesting deeper than 32")), qPrintable(error));
}

void TestPackMessage::randomBytesNeverCrash()
{
    QRandomGenerator random(20261223);
    // magic and version only: the row count and the rest are noise
    const QByteArray header = CPackMessageCommon::pack({}).left(6);
    const QByteArray good = CPackMessageCommon::pack({richRow()});
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        QByteArray bytes;
        switch (i % 3) {
        case 0: // pure noise
            bytes.resize(int(random.bounded(64)));
            break;
        case 1: // a plausible header, then noise
            bytes = header;
            bytes.resize(header.size() + int(random.bounded(64)));
            break;
        case 2: // a real message with a few bytes flipped
            bytes = good;
            break;
        }
        const int from = i % 3 == 1 ? header.size() : 0;
        if (i % 3 == 2) {
            for (int k = 0; k < 3; ++k)
                bytes[int(random.bounded(bytes.size()))] = char(random.bounded(256));
        } else {
            for (int k = from; k < bytes.size(); ++k)
                bytes[k] = char(random.bounded(256));
        }
        QList<QVariantMap> rows;
        QString error;
        if (CUnPackMessageCommon::unpack(bytes, &rows, &error)) {
            if (i % 3 != 2)
                ++accepted;
            QVERIFY(error.isEmpty());
        } else {
            QVERIFY(rows.isEmpty());
            QVERIFY(!error.isEmpty());
        }
    }
    // Noise must almost never form a message.
    QVERIFY2(accepted < 100, qPrintable(QString::number(accepted)));
}

void TestPackMessage::corruptCompressedMessageIsRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");

    const QByteArray compressed = bytesOf([] {
        CPackMessageCommon pack;
        pack.AddRowVaule(sampleTick());
        return pack.GetPackedMsg(true);
    }());
    QTest::newRow("too short") << QByteArray("\0\0", 2) << QStringLiteral("too short");
    QTest::newRow("huge declared size")
        << be32(0x7FFFFFFF) + compressed.mid(4) << QStringLiteral("declares 2147483647 bytes");
    QTest::newRow("declared size beyond the ratio")
        << be32(quint32(compressed.size()) * 2000) + compressed.mid(4)
        << QStringLiteral("declares");
    QTest::newRow("not compressed at all")
        << CPackMessageCommon::pack({sampleTick()}) << QStringLiteral("declares");
}

void TestPackMessage::corruptCompressedMessageIsRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);

    expectUnpackWarning();
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^cannot unpack message:")));
    CUnPackMessageCommon unpack;
    QVERIFY(!unpack.SetUnPackMsg(QVariant(bytes), true));
    QCOMPARE(unpack.rowCount(), 0);
    QVERIFY2(unpack.errorString().contains(error), qPrintable(unpack.errorString()));
}

QTEST_MAIN(TestPackMessage)
#include "tst_packmessage.moc"
