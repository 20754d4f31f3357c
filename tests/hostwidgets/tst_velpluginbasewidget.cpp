#include "testsupport.h"
#include "velwidget/velpluginbasewidget.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

namespace {

class SkinnedPage : public VelPluginBaseWidget
{
public:
    explicit SkinnedPage(QWidget *parent = nullptr)
        : VelPluginBaseWidget(parent)
    {
        setPluginWidgetTitle(QStringLiteral("T型行情"));
        setPluginRefreshable(true);
        setPluginTitleAccountShowType(2);
        addSkinFile(QStringLiteral("Pivora/optiontrade/optiontquotation"),
                    QStringLiteral("optiontquotation.css"), QString());
    }
    using VelPluginBaseWidget::addSkinFile;
};

class GuardedPage : public VelPluginBaseWidget
{
public:
    int isCloseable(QString &reason) override
    {
        reason = QStringLiteral("busy");
        return closeable;
    }
    void doBeforeClose() override { ++beforeClose; }
    int closeable = 0;
    int beforeClose = 0;
};

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QLabel *overlayOf(QWidget &page)
{
    return page.findChild<QLabel *>(QStringLiteral("velLoadingOverlay"));
}

const QByteArray kBoardCss = "QWidget { color: #010203; }";

} // namespace

class TestVelPluginBaseWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSupport::installWarningGuard(); }
    void cleanup()
    {
        VelPluginBaseWidget::setDefaultSkinRoot(QString());
        VERIFY_NO_UNEXPECTED_WARNINGS();
    }

    void loadingOverlay();
    void instanceIdsAreUnique();
    void copyKeepsSettings();
    void skinFromDefaultRoot();
    void skinFromLoadSkin();
    void missingSkinFile();
    void defaults();
};

void TestVelPluginBaseWidget::loadingOverlay()
{
    VelPluginBaseWidget page;
    page.resize(400, 300);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QLabel *overlay = overlayOf(page);
    QVERIFY(overlay);
    QVERIFY(!overlay->isVisible());

    QSignalSpy spy(&page, &VelPluginBaseWidget::loadingStateChanged);
    QVERIFY(spy.isValid());
    page.setLoadingState(1);
    QVERIFY(overlay->isVisible());
    QCOMPARE(overlay->text(), QStringLiteral("加载中…"));
    QCOMPARE(overlay->geometry(), page.rect());

    // It keeps covering the page when the page grows or gains widgets.
    page.resize(500, 420);
    QTRY_COMPARE(overlay->geometry(), page.rect());
    auto *late = new QLabel(QStringLiteral("late"), &page);
    late->show();
    QWidgetList stacked;
    for (QObject *child : page.children()) {
        if (child->isWidgetType())
            stacked.append(static_cast<QWidget *>(child));
    }
    QCOMPARE(stacked.last(), overlay);

    page.setLoadingState(1);
    page.setLoadingState(0);
    QVERIFY(!overlay->isVisible());
    QCOMPARE(page.loadingState(), 0);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toInt(), 1);
    QCOMPARE(spy.at(1).at(0).toInt(), 0);
}

void TestVelPluginBaseWidget::instanceIdsAreUnique()
{
    QWidget host;
    SkinnedPage first(&host);
    SkinnedPage second;
    VelPluginBaseWidget copyOfFirst(first);
    VelPluginBaseWidget copyOfCopy(copyOfFirst);

    const QStringList ids{first.pluginInstanceID(), second.pluginInstanceID(),
                          copyOfFirst.pluginInstanceID(), copyOfCopy.pluginInstanceID()};
    for (const QString &id : ids)
        QVERIFY(!id.isEmpty());
    QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), ids.size());
    QCOMPARE(first.pluginInstanceID(), first.pluginInstanceID());
}

void TestVelPluginBaseWidget::copyKeepsSettings()
{
    QWidget host;
    SkinnedPage page(&host);
    QSignalSpy titles(&page, &VelPluginBaseWidget::pluginWidgetTitleChanged);
    QVERIFY(titles.isValid());
    page.setPluginWidgetTitle(QStringLiteral("T型行情"));
    QCOMPARE(titles.count(), 0);
    page.setPluginWidgetTitle(QStringLiteral("T型行情 2"));
    page.setPluginWidgetTitle(QStringLiteral("T型行情"));
    QCOMPARE(titles.count(), 2);
    VelPluginBaseWidget copy(page);
    QCOMPARE(copy.parentWidget(), &host);
    QCOMPARE(copy.pluginWidgetTitle(), QStringLiteral("T型行情"));
    QVERIFY(copy.isPluginRefreshable());
    QCOMPARE(copy.pluginTitleAccountShowType(), 2);
    QCOMPARE(copy.skinFiles(), page.skinFiles());
    QCOMPARE(copy.loadingState(), 0);
    QVERIFY(overlayOf(copy));
    QVERIFY(overlayOf(copy) != overlayOf(page));
}

void TestVelPluginBaseWidget::skinFromDefaultRoot()
{
    const QString root = TestSupport::scratchDir(QStringLiteral("skin-default"));
    writeFile(root + QStringLiteral("/Pivora/optiontrade/optiontquotation/optiontquotation.css"),
              kBoardCss);
    writeFile(root + QStringLiteral("/extra/more.css"), "QLabel { color: red; }");
    VelPluginBaseWidget::setDefaultSkinRoot(root);

    SkinnedPage page;
    QCOMPARE(page.styleSheet(), QString::fromLatin1(kBoardCss));
    // A further file is added to the sheet, after the first; a repeated one is not.
    page.addSkinFile(QStringLiteral("extra"), QStringLiteral("more.css"), QString());
    page.addSkinFile(QStringLiteral("extra"), QStringLiteral("more.css"), QString());
    QCOMPARE(page.skinFiles().size(), 2);
    QCOMPARE(page.styleSheet(),
             QString::fromLatin1(kBoardCss) + QStringLiteral("\nQLabel { color: red; }"));
    VelPluginBaseWidget copy(page);
    QCOMPARE(copy.styleSheet(), page.styleSheet());
}

void TestVelPluginBaseWidget::skinFromLoadSkin()
{
    SkinnedPage page;
    QVERIFY(page.styleSheet().isEmpty());
    QCOMPARE(page.skinFiles(),
             (QList<QPair<QString, QString>>{{QStringLiteral("Pivora/optiontrade/optiontquotation"),
                                              QStringLiteral("optiontquotation.css")}}));

    const QString root = TestSupport::scratchDir(QStringLiteral("skin-load"));
    const QString css = root + QStringLiteral("/Pivora/optiontrade/optiontquotation/"
                                              "optiontquotation.css");
    writeFile(css, kBoardCss);
    page.loadSkin(root);
    QCOMPARE(page.styleSheet(), QString::fromLatin1(kBoardCss));

    writeFile(css, "QWidget { color: #0A0B0C; }");
    page.loadSkin(QVariant(root));
    QCOMPARE(page.styleSheet(), QStringLiteral("QWidget { color: #0A0B0C; }"));
    page.show();
    QCOMPARE(page.palette().color(QPalette::WindowText), QColor(0x0A, 0x0B, 0x0C));
}

void TestVelPluginBaseWidget::missingSkinFile()
{
    const QString root = TestSupport::scratchDir(QStringLiteral("skin-missing"));
    SkinnedPage page;
    page.setStyleSheet(QString::fromLatin1(kBoardCss));
    TestSupport::expectWarning(QRegularExpression(
        QStringLiteral("cannot read skin file .*skin-missing/Pivora/optiontrade/optiontquotation/"
                       "optiontquotation\\.css")));
    page.loadSkin(root);
    QCOMPARE(page.styleSheet(), QString::fromLatin1(kBoardCss));

    // A folder where the file should be is refused the same way.
    QDir().mkpath(root + QStringLiteral("/Pivora/optiontrade/optiontquotation/"
                                        "optiontquotation.css"));
    page.loadSkin(root);
    QCOMPARE(page.styleSheet(), QString::fromLatin1(kBoardCss));
}

void TestVelPluginBaseWidget::defaults()
{
    VelPluginBaseWidget page;
    QString reason;
    QCOMPARE(page.isCloseable(reason), 1);
    QVERIFY(!page.isPluginRefreshable());
    QVariant data(QStringLiteral("layout"));
    page.setPluginData(data);
    QCOMPARE(page.getPluginData(), data);
    QVERIFY(page.getPluginLayoutPropertiesSetWidgets().isEmpty());

    GuardedPage guarded;
    guarded.show();
    QVERIFY(!guarded.close());
    QCOMPARE(guarded.beforeClose, 0);
    guarded.closeable = 1;
    QVERIFY(guarded.close());
    QCOMPARE(guarded.beforeClose, 1);
}

QTEST_MAIN(TestVelPluginBaseWidget)
#include "tst_velpluginbasewidget.moc"
