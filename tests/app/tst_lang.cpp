#include "appcontroller.h"
#include "applanguage.h"
#include "fixture.h"
#include "market/builtinmarket.h"
#include "window/mainwindow.h"

#include <QtCharts/QChartView>
#include <QtTest>
#include <QtWidgets>

// Every text property of object and all it holds, tab texts, view heads and cells.
static void collectTexts(const QObject *object, QStringList *texts)
{
    const QMetaObject *meta = object->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i)
        if (meta->property(i).type() == QVariant::String)
            *texts << meta->property(i).read(object).toString();
    if (const auto *tabs = qobject_cast<const QTabBar *>(object))
        for (int i = 0; i < tabs->count(); ++i)
            *texts << tabs->tabText(i);
    const auto *view = qobject_cast<const QAbstractItemView *>(object);
    const QAbstractItemModel *model = view ? view->model() : nullptr;
    for (int c = 0; model && c < model->columnCount(); ++c)
        *texts << model->headerData(c, Qt::Horizontal).toString();
    for (QModelIndexList parents{QModelIndex()}; model && !parents.isEmpty();) {
        const QModelIndex parent = parents.takeFirst();
        for (int r = 0; r < model->rowCount(parent); ++r) {
            parents << model->index(r, 0, parent);
            for (int c = 0; c < model->columnCount(parent); ++c) // the board paints role 256 too
                *texts << model->index(r, c, parent).data().toString()
                       << model->index(r, c, parent).data(Qt::UserRole).toString();
        }
    }
    if (const auto *chart = qobject_cast<const QtCharts::QChartView *>(object))
        collectTexts(chart->chart(), texts);
    for (const QObject *child : object->children())
        collectTexts(child, texts);
}

// The window in English (--lang, locale): all it shows and --print writes.
class TestLang : public QObject
{
    Q_OBJECT
    QStringList m_names; // the built-in market's, "50ETF购12月2950", "科创50": data
    QString m_actions;
    // The texts that keep Chinese once the security names are taken out.
    QStringList chineseIn(QStringList texts) const
    {
        for (QString &text : texts)
            for (const QString &name : m_names)
                text.remove(name);
        return texts.filter(QRegularExpression("[\\x{2E80}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]"));
    }

private slots:
    void initTestCase()
    {
        Fixture::installWarningGuard();
        Fixture::expectEnvironmentNoise();
        for (const QVariantMap &record : BuiltinMarket::securities(QDate::currentDate()))
            m_names << record.value("chineseName").toString();
        // Longer names first: none is cut by a shorter one it contains.
        std::sort(m_names.begin(), m_names.end(),
                  [](const QString &a, const QString &b) { return a.size() > b.size(); });
        // 50ETF's 2.950 at the first expiry clicked (the chart pane), then double-clicked (detail).
        const QString click =
            QString(R"({"date": "%1", "t": %2, "do": "%3", "strike": "2.950", "column": 2})")
                .arg(BuiltinMarket::expiries(QDate::currentDate()).first().toString("yyyyMMdd"));
        m_actions = Fixture::scratchDir("lang") + "/actions.jsonl";
        QVERIFY(Fixture::writeFile(
            m_actions,
            (click.arg(300).arg("click") + '\n' + click.arg(600).arg("dblclick")).toUtf8()));
    }
    void cleanup() { VERIFY_NO_UNEXPECTED_WARNINGS(); }
    void everyWidgetInEnglish()
    {
        AppOptions options;
        QString error;
        const QStringList args{"velapp", "--lang", "en", "--seed", "7", "--actions", m_actions};
        QVERIFY(AppOptions::parse(args, &options, &error) == AppOptions::ParseResult::Ok);
        QVERIFY2(AppLanguage::install(options.language, &error), qPrintable(error));
        AppController app(options);
        QVERIFY2(app.prepare(&error), qPrintable(error));
        app.start();
        TRY_COMPARE(app.window()->panePages().size(), 2); // the board's chart and detail panes
        QStringList texts;
        collectTexts(app.window(), &texts);
        QVERIFY2(chineseIn(texts).isEmpty(), qPrintable(chineseIn(texts).join(" | ")));
        for (const char *english :
             {"T-Board", "&Pages", "Strike", "SSE ETF", "All", "Keep as a tab", "Loading…",
              "Simulated market (seed 7)", "Implied volatility"})
            QVERIFY2(texts.contains(QString::fromUtf8(english)), english);
    }
    void printedLanguage_data()
    {
        QTest::addColumn<QStringList>("run"); // LANG, then the arguments
        QTest::addColumn<QString>("start");
        QTest::newRow("--lang en")
            << QStringList{"C", "--lang", "en"} << "== T-Board ==\nUnderlying: SSE ETF / 50ETF";
        QTest::newRow("default") << QStringList{"C"} << "== T型行情 ==\n标的: 上证ETF";
        QTest::newRow("English locale") << QStringList{"en_US.UTF-8"} << "== T-Board";
        QTest::newRow("--lang zh") << QStringList{"en_GB", "--lang", "zh"} << "== T型";
    }
    void printedLanguage()
    {
        QFETCH(QStringList, run);
        QFETCH(QString, start);
        qputenv("LANG", run.takeFirst().toUtf8()); // velapp's locale
        const Fixture::VelappRun velapp =
            Fixture::runVelapp(run + QStringList{"--actions", m_actions, "--print"});
        QCOMPARE(velapp.exitCode, 0);
        const QString out = velapp.out;
        QVERIFY2(out.startsWith(start) && out.count("\n== ") == 2, qPrintable(out)); // and 2 panes
        if (start.contains("T-Board"))
            QVERIFY2(chineseIn(out.split('\n')).isEmpty(), qPrintable(out));
    }
    // English where its translation is missing: said once, and the board stays Chinese.
    void englishWithoutItsTranslation()
    {
        const QString dir = Fixture::scratchDir("lang-bare");
        QFile::remove(dir + "/velapp");
        QVERIFY(QFile::copy(VELAPP_BINARY, dir + "/velapp"));
        QFile::link(QFileInfo(VELAPP_BINARY).dir().filePath("skin"), dir + "/skin");
        QProcess process;
        process.start(dir + "/velapp", {"-platform", "offscreen", "--plugins",
                                        qEnvironmentVariable("VELAPP_PLUGIN_DIR"), "--lang", "en",
                                        "--no-feed", "--quit-after", "300", "--print"});
        const Fixture::VelappRun run = Fixture::runVelapp({}, &process);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.errLines, QStringList{"velapp: no translation velapp_en.qm in " + dir +
                                           "/translations; the window stays Chinese"});
        QVERIFY2(run.out.startsWith("== T型行情 =="), qPrintable(run.out));
    }
};

FIXTURE_TEST_MAIN(TestLang)
#include "tst_lang.moc"
