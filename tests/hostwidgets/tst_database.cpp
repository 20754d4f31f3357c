#include "testsupport.h"
#include "veldatabase/database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QtTest>

namespace {

const QString kBoardKey = QStringLiteral("ostrel_optiontquotation");

QStringList boardCaptions()
{
    return {QStringLiteral("买价"),   QStringLiteral("卖价"),   QStringLiteral("最新价"),
            QStringLiteral("涨跌幅"), QStringLiteral("涨停价"), QStringLiteral("跌停价"),
            QStringLiteral("持仓量"), QStringLiteral("行权价"), QStringLiteral("持仓量"),
            QStringLiteral("跌停价"), QStringLiteral("涨停价"), QStringLiteral("涨跌幅"),
            QStringLiteral("最新价"), QStringLiteral("卖价"),   QStringLiteral("买价")};
}

} // namespace

class TestDataBase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestSupport::installWarningGuard();
        m_dir = TestSupport::scratchDir(QStringLiteral("hostwidgets_database"));
    }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }

    void seededOnFirstUse();
    void storeAndReplace();
    void seedOnlyWhenKeyEmpty();
    void otherThreadsShareTheFile();
    void unopenable_data();
    void unopenable();

private:
    QString freshPath(const QString &name)
    {
        const QString path = m_dir + QLatin1Char('/') + name + QStringLiteral("/velapp.sqlite");
        CDataBase::setDatabasePath(path);
        return path;
    }
    QString m_dir;
};

void TestDataBase::seededOnFirstUse()
{
    CDataBase *db = CDataBase::GetInstance();
    const QString path = freshPath(QStringLiteral("seed"));
    QCOMPARE(db->databasePath(), path);
    QVERIFY(!QFile::exists(path));

    QCOMPARE(db->getPluginHeadDataInfo(kBoardKey), boardCaptions());
    QVERIFY(QFileInfo(path).isFile());
    QVERIFY(db->getPluginHeadDataInfo(QStringLiteral("other_page")).isEmpty());
    QVERIFY(db->lastError().isEmpty());
}

void TestDataBase::storeAndReplace()
{
    CDataBase *db = CDataBase::GetInstance();
    const QString path = freshPath(QStringLiteral("store"));
    const QString key = QStringLiteral("some_page");

    QVERIFY(db->setPluginHeadDataInfo(
        key, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    QCOMPARE(db->getPluginHeadDataInfo(key),
             (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    // Replacing drops the columns the new list no longer has.
    QVERIFY(db->setPluginHeadDataInfo(key, {QStringLiteral("z")}));
    QCOMPARE(db->getPluginHeadDataInfo(key), QStringList{QStringLiteral("z")});
    QVERIFY(db->setPluginHeadDataInfo(key, {}));
    QVERIFY(db->getPluginHeadDataInfo(key).isEmpty());

    // Kept in the file: another file in between, then back.
    QVERIFY(db->setPluginHeadDataInfo(key, {QStringLiteral("kept")}));
    freshPath(QStringLiteral("elsewhere"));
    QVERIFY(db->getPluginHeadDataInfo(key).isEmpty());
    CDataBase::setDatabasePath(path);
    QCOMPARE(db->getPluginHeadDataInfo(key), QStringList{QStringLiteral("kept")});
    QCOMPARE(db->getPluginHeadDataInfo(kBoardKey), boardCaptions());
}

void TestDataBase::seedOnlyWhenKeyEmpty()
{
    CDataBase *db = CDataBase::GetInstance();
    const QString path = freshPath(QStringLiteral("custom"));
    const QStringList custom{QStringLiteral("x"), QStringLiteral("y")};
    QVERIFY(db->setPluginHeadDataInfo(kBoardKey, custom));

    // Opening the file again must not seed over the user's heads.
    freshPath(QStringLiteral("custom-other"));
    QCOMPARE(db->getPluginHeadDataInfo(kBoardKey), boardCaptions());
    CDataBase::setDatabasePath(path);
    QCOMPARE(db->getPluginHeadDataInfo(kBoardKey), custom);
}

void TestDataBase::otherThreadsShareTheFile()
{
    CDataBase *db = CDataBase::GetInstance();
    freshPath(QStringLiteral("threads"));
    QVERIFY(db->setPluginHeadDataInfo(QStringLiteral("k"), {QStringLiteral("main")}));

    QStringList seen;
    bool stored = false;
    QThread *worker = QThread::create([&] {
        seen = db->getPluginHeadDataInfo(QStringLiteral("k"));
        stored = db->setPluginHeadDataInfo(QStringLiteral("k"), {QStringLiteral("worker")});
    });
    worker->start();
    QVERIFY(worker->wait(60000));
    delete worker;

    QCOMPARE(seen, QStringList{QStringLiteral("main")});
    QVERIFY(stored);
    QCOMPARE(db->getPluginHeadDataInfo(QStringLiteral("k")), QStringList{QStringLiteral("worker")});
}

void TestDataBase::unopenable_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("path is a folder") << "folder";
    QTest::newRow("parent is a file") << "parent-file";
    QTest::newRow("file is not a database") << "garbage";
}

void TestDataBase::unopenable()
{
    QFETCH(QString, kind);
    const QString base = m_dir + QStringLiteral("/bad-") + kind;
    QVERIFY(QDir().mkpath(base));
    QString path;
    if (kind == QLatin1String("folder")) {
        path = base + QStringLiteral("/velapp.sqlite");
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QLatin1String("parent-file")) {
        QFile blocker(base + QStringLiteral("/blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.write("x");
        path = blocker.fileName() + QStringLiteral("/velapp.sqlite");
    } else {
        path = base + QStringLiteral("/velapp.sqlite");
        QFile garbage(path);
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(4096, 'z'));
    }

    CDataBase *db = CDataBase::GetInstance();
    CDataBase::setDatabasePath(path);
    QVERIFY(db->getPluginHeadDataInfo(kBoardKey).isEmpty());
    QVERIFY(!db->setPluginHeadDataInfo(QStringLiteral("k"), {QStringLiteral("a")}));
    QVERIFY(db->getPluginHeadDataInfo(QStringLiteral("k")).isEmpty());
    QVERIFY2(db->lastError().contains(path), qPrintable(db->lastError()));

    // Reported once, however often the store is asked.
    const QStringList warnings = TestSupport::takeUnexpectedWarnings();
    QCOMPARE(warnings.size(), 1);
    QVERIFY(warnings.first().contains(path));

    if (kind == QLatin1String("garbage")) {
        QFile garbage(path);
        QVERIFY(garbage.open(QIODevice::ReadOnly));
        QCOMPARE(garbage.readAll(), QByteArray(4096, 'z'));
    }
}

QTEST_MAIN(TestDataBase)
#include "tst_database.moc"
