#include "testsupport.h"

#include "velutils/velcommonutils.h"
#include "velutils/velmutex.h"

#include <QMutex>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <thread>

Q_DECLARE_METATYPE(Qt::SortOrder)

namespace {

// Collects the warnings of every thread while it lives, instead of the
// usual handler (whose ignore list is not meant for several threads).
class WarningCapture
{
public:
    WarningCapture() { s_previous = qInstallMessageHandler(&WarningCapture::handler); }
    ~WarningCapture() { qInstallMessageHandler(s_previous); }
    QStringList messages() const
    {
        std::lock_guard<std::mutex> locker(s_lock);
        return s_messages;
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type != QtWarningMsg)
            return;
        std::lock_guard<std::mutex> locker(s_lock);
        s_messages << message;
    }
    static QtMessageHandler s_previous;
    static std::mutex s_lock;
    static QStringList s_messages;
};
QtMessageHandler WarningCapture::s_previous = nullptr;
std::mutex WarningCapture::s_lock;
QStringList WarningCapture::s_messages;

const int kIdColumn = 99;
using Keys = QList<QPair<int, Qt::SortOrder>>;

// Rows written as {id, cell of column 0, cell of column 1}; an invalid
// QVariant leaves the cell out altogether.
QList<Row> makeRows(const QList<QVariantList> &rowText)
{
    QList<Row> rows;
    for (const QVariantList &cells : rowText) {
        Row row;
        row.insert(kIdColumn, {{QStringLiteral("256"), cells.at(0)}});
        for (int c = 1; c < cells.size(); ++c)
            if (cells.at(c).isValid())
                row.insert(c - 1, {{QStringLiteral("256"), cells.at(c)},
                                   {QStringLiteral("0"), QStringLiteral("shown")}});
        rows.append(row);
    }
    return rows;
}

QStringList ids(const QList<Row> &rows)
{
    QStringList result;
    for (const Row &row : rows)
        result << row.value(kIdColumn).value(QStringLiteral("256")).toString();
    return result;
}

} // namespace

class TestVelUtils : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void sortsRecords_data();
    void sortsRecords();
    void slowHoldIsReported();
    void slowWaitNamesBothSites();
    void nullMutexIsRefused();
};

void TestVelUtils::sortsRecords_data()
{
    QTest::addColumn<QList<QVariantList>>("rows");
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<QStringList>("order");

    const auto asc = [](int c) { return qMakePair(c, Qt::AscendingOrder); };
    const auto desc = [](int c) { return qMakePair(c, Qt::DescendingOrder); };

    QTest::newRow("numbers compare as numbers")
        << QList<QVariantList>{{"a", 10}, {"b", 9}, {"c", 100}, {"d", -1.5}} << Keys{asc(0)}
        << QStringList{"d", "b", "a", "c"};
    QTest::newRow("strike keys as texts")
        << QList<QVariantList>{{"a", "3.000A"}, {"b", "2.950M"}, {"c", "3.000M"}, {"d", "10.000M"}}
        << Keys{asc(0)} << QStringList{"d", "b", "a", "c"};
    QTest::newRow("number against text compares as text")
        << QList<QVariantList>{{"a", 9}, {"b", "10"}} << Keys{asc(0)} << QStringList{"b", "a"};
    QTest::newRow("integers beyond double precision")
        << QList<QVariantList>{{"a", qlonglong(9007199254740993LL)},
                               {"b", qlonglong(9007199254740992LL)}}
        << Keys{asc(0)} << QStringList{"b", "a"};
    QTest::newRow("NaN first, order stays strict")
        << QList<QVariantList>{{"a", 1.0}, {"b", std::nan("")}, {"c", 0.5}, {"d", std::nan("")}}
        << Keys{asc(0)} << QStringList{"b", "d", "c", "a"};
    QTest::newRow("equal keys keep their order")
        << QList<QVariantList>{{"a", 1}, {"b", 0}, {"c", 1}, {"d", 0}, {"e", 1}} << Keys{asc(0)}
        << QStringList{"b", "d", "a", "c", "e"};
    QTest::newRow("descending keeps equal keys in order")
        << QList<QVariantList>{{"a", 1}, {"b", 0}, {"c", 1}, {"d", 0}} << Keys{desc(0)}
        << QStringList{"a", "c", "b", "d"};
    QTest::newRow("second key breaks ties")
        << QList<QVariantList>{{"a", "20261223", "3.000M"},
                               {"b", "20260122", "2.950M"},
                               {"c", "20261223", "2.950M"},
                               {"d", "20260122", "3.000M"}}
        << Keys{asc(0), asc(1)} << QStringList{"b", "d", "c", "a"};
    QTest::newRow("mixed directions")
        << QList<QVariantList>{{"a", 1, 1}, {"b", 2, 1}, {"c", 1, 2}, {"d", 2, 2}}
        << Keys{desc(0), asc(1)} << QStringList{"b", "d", "a", "c"};
    QTest::newRow("missing cells read as empty text")
        << QList<QVariantList>{{"a", "x"}, {"b", QVariant()}, {"c", ""}, {"d", "a"}} << Keys{asc(0)}
        << QStringList{"b", "c", "d", "a"};
    QTest::newRow("no keys leaves rows alone")
        << QList<QVariantList>{{"b", 2}, {"a", 1}} << Keys{} << QStringList{"b", "a"};
}

void TestVelUtils::sortsRecords()
{
    QFETCH(QList<QVariantList>, rows);
    QFETCH(Keys, keys);
    QFETCH(QStringList, order);

    const QList<Row> original = makeRows(rows);
    QList<Row> records = original;
    VelCommonUtils::sortTableViewRecordListByKeys(records, keys);
    QCOMPARE(ids(records), order);
    // Rows move whole: every cell stays with its row.
    for (const Row &row : qAsConst(records))
        QCOMPARE(row, original.at(ids(original).indexOf(ids({row}).first())));
}

void TestVelUtils::slowHoldIsReported()
{
    const QRegularExpression re(
        QStringLiteral("^held \\d+ ms at .*tst_velutils\\.cpp:4242 \\(holder\\(\\)\\)"));
    TestSupport::expectWarning(re);
    QTest::ignoreMessage(QtWarningMsg, re);
    QMutex mutex;
    VelMutex::lock(&mutex, QStringLiteral(__FILE__), 4242, QStringLiteral("holder()"));
    QVERIFY(!mutex.tryLock());
    QThread::msleep(VelMutex::slowHoldThresholdMs() + 30);
    VelMutex::unlock(&mutex);
    QVERIFY(mutex.tryLock());
    mutex.unlock();
}

void TestVelUtils::slowWaitNamesBothSites()
{
    QMutex mutex;
    std::atomic<bool> held{false}, waiting{false};
    std::thread holder([&]() {
        VelMutex::lock(&mutex, QStringLiteral("holder.cpp"), 11, QStringLiteral("hold()"));
        held = true;
        while (!waiting)
            QThread::msleep(1);
        // The main thread is about to block on the mutex (or already does).
        QThread::msleep(VelMutex::slowHoldThresholdMs() * 4);
        VelMutex::unlock(&mutex);
    });
    QStringList warnings;
    {
        WarningCapture capture;
        while (!held)
            QThread::msleep(1);
        waiting = true;
        VelMutex::lock(&mutex, QStringLiteral("waiter.cpp"), 22, QStringLiteral("wait()"));
        VelMutex::unlock(&mutex);
        holder.join();
        warnings = capture.messages();
    }
    const QRegularExpression waited(
        QStringLiteral("^waited \\d+ ms at waiter\\.cpp:22 \\(wait\\(\\)\\) for the mutex held at "
                       "holder\\.cpp:11 \\(hold\\(\\)\\)$"));
    const QRegularExpression heldLong(
        QStringLiteral("^held \\d+ ms at holder\\.cpp:11 \\(hold\\(\\)\\)"));
    QCOMPARE(warnings.size(), 2);
    QVERIFY2(!warnings.filter(waited).isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
    QVERIFY2(!warnings.filter(heldLong).isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
}

void TestVelUtils::nullMutexIsRefused()
{
    const QRegularExpression lockRe(QStringLiteral("lock of a null mutex at f\\.cpp:1"));
    const QRegularExpression unlockRe(QStringLiteral("unlock of a null mutex"));
    TestSupport::expectWarning(lockRe);
    TestSupport::expectWarning(unlockRe);
    QTest::ignoreMessage(QtWarningMsg, lockRe);
    QTest::ignoreMessage(QtWarningMsg, unlockRe);
    VelMutex::lock(nullptr, QStringLiteral("f.cpp"), 1, QStringLiteral("f()"));
    VelMutex::unlock(nullptr);
}

QTEST_MAIN(TestVelUtils)
#include "tst_velutils.moc"
