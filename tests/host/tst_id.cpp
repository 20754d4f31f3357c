#include "testsupport.h"

#include "velcm/id.h"

#include <QtTest>

#include <thread>
#include <vector>

class TestId : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void interns_data();
    void interns();
    void settingRoundTrip_data();
    void settingRoundTrip();
    void concurrentInterningAgrees();
};

void TestId::interns_data()
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<bool>("same");

    QTest::newRow("same text") << QByteArray("VELApp.A") << QByteArray("VELApp.A") << true;
    QTest::newRow("different text") << QByteArray("VELApp.A") << QByteArray("VELApp.B") << false;
    QTest::newRow("case matters") << QByteArray("VELApp.a") << QByteArray("VELApp.A") << false;
}

void TestId::interns()
{
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(bool, same);

    const Id x(a), y(b);
    QVERIFY(x.isValid() && y.isValid());
    QCOMPARE(x == y, same);
    QCOMPARE(x.uniqueIdentifier() == y.uniqueIdentifier(), same);
    QCOMPARE(x.name(), a);
    QCOMPARE(Id(a.constData()), x);
}

void TestId::settingRoundTrip_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("page id") << QByteArray("VELApp.TQuotationWidget");
    QTest::newRow("utf-8") << QByteArray("VELApp.\xe8\xa1\x8c\xe6\x83\x85");
    QTest::newRow("empty") << QByteArray();
}

void TestId::settingRoundTrip()
{
    QFETCH(QByteArray, name);
    const Id id(name);
    QCOMPARE(id.isValid(), !name.isEmpty());
    const QVariant setting = id.toSetting();
    // Stored as its text, so that host and plugin compare string forms.
    QCOMPARE(setting.userType(), int(QMetaType::QString));
    QCOMPARE(setting.toString(), QString::fromUtf8(name));
    QCOMPARE(id.toString(), QString::fromUtf8(name));
    QCOMPARE(Id::fromSetting(setting), id);
}

void TestId::concurrentInterningAgrees()
{
    // Each thread interns the same fresh names; every thread must get the
    // same id for a name, and different names different ids.
    const int names = 500;
    std::vector<std::vector<quintptr>> results(4, std::vector<quintptr>(names));
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t) {
        threads.emplace_back([&results, t, names]() {
            for (int i = 0; i < names; ++i)
                results[t][size_t(i)] =
                    Id(QByteArray("concurrent.") + QByteArray::number(i)).uniqueIdentifier();
        });
    }
    for (auto &thread : threads)
        thread.join();
    QSet<quintptr> distinct;
    for (int i = 0; i < names; ++i) {
        for (size_t t = 1; t < results.size(); ++t)
            QCOMPARE(results[t][size_t(i)], results[0][size_t(i)]);
        distinct.insert(results[0][size_t(i)]);
        QCOMPARE(Id(QByteArray("concurrent.") + QByteArray::number(i)).uniqueIdentifier(),
                 results[0][size_t(i)]);
    }
    QCOMPARE(distinct.size(), names);
}

QTEST_MAIN(TestId)
#include "tst_id.moc"
