#include "velwidget/velpluginbasewidget.h"

#include "veltsan.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLoggingCategory>

#include <atomic>

namespace {

Q_LOGGING_CATEGORY(lcSkin, "velapp.skin", QtWarningMsg)

// A skin is a few kilobytes; anything this large is not a style sheet.
const qint64 kMaxSkinFileSize = 4 * 1024 * 1024;

std::atomic<quint64> g_instanceCounter{0};

struct SkinRoot
{
    QReadWriteLock lock;
    QString path;
};
Q_GLOBAL_STATIC(SkinRoot, g_skinRoot)

QString nextInstanceId()
{
    return QStringLiteral("page-%1").arg(++g_instanceCounter);
}

QLabel *createOverlay(QWidget *page)
{
    auto *overlay = new QLabel(QCoreApplication::translate("VelPluginBaseWidget", "加载中…"), page);
    overlay->setObjectName(QStringLiteral("velLoadingOverlay"));
    overlay->setAlignment(Qt::AlignCenter);
    overlay->setStyleSheet(QStringLiteral(
        "QLabel#velLoadingOverlay { background-color: rgba(0, 0, 0, 128); color: white; }"));
    // A load that never reports its end must not lock the page.
    overlay->setAttribute(Qt::WA_TransparentForMouseEvents);
    overlay->hide();
    return overlay;
}

} // namespace

VelPluginBaseWidget::VelPluginBaseWidget(QWidget *parent)
    : QWidget(parent)
    , m_instanceId(nextInstanceId())
{
    m_overlay = createOverlay(this);
}

VelPluginBaseWidget::VelPluginBaseWidget(const VelPluginBaseWidget &other)
    : QWidget(other.parentWidget())
    , IHSkin()
    , m_title(other.m_title)
    , m_refreshable(other.m_refreshable)
    , m_accountShowType(other.m_accountShowType)
    , m_instanceId(nextInstanceId())
    , m_skinFiles(other.m_skinFiles)
{
    m_overlay = createOverlay(this);
    setWindowTitle(m_title);
    const QString root = defaultSkinRoot();
    if (!root.isEmpty() && !m_skinFiles.isEmpty())
        applySkin(root);
}

VelPluginBaseWidget::~VelPluginBaseWidget() = default;

void VelPluginBaseWidget::setPluginWidgetTitle(const QString &title)
{
    if (title == m_title)
        return;
    m_title = title;
    setWindowTitle(title);
    emit pluginWidgetTitleChanged(title);
}

QString VelPluginBaseWidget::pluginWidgetTitle() const
{
    return m_title;
}

void VelPluginBaseWidget::setPluginRefreshable(bool refreshable)
{
    m_refreshable = refreshable;
}

bool VelPluginBaseWidget::isPluginRefreshable() const
{
    return m_refreshable;
}

void VelPluginBaseWidget::setPluginTitleAccountShowType(int type)
{
    m_accountShowType = type;
}

int VelPluginBaseWidget::pluginTitleAccountShowType() const
{
    return m_accountShowType;
}

void VelPluginBaseWidget::setLoadingState(int state)
{
    if (state == m_loadingState)
        return;
    m_loadingState = state;
    updateOverlay();
    emit loadingStateChanged(state);
}

int VelPluginBaseWidget::loadingState() const
{
    return m_loadingState;
}

QString VelPluginBaseWidget::pluginInstanceID() const
{
    return m_instanceId;
}

QList<QPair<QString, QString>> VelPluginBaseWidget::skinFiles() const
{
    return m_skinFiles;
}

void VelPluginBaseWidget::loadSkin(const QVariant &skinRoot)
{
    QString root = skinRoot.toString();
    if (root.isEmpty())
        root = defaultSkinRoot();
    if (!root.isEmpty())
        applySkin(root);
}

void VelPluginBaseWidget::setDefaultSkinRoot(const QString &root)
{
    VelTsan::WriteHold hold(&g_skinRoot->lock);
    g_skinRoot->path = root;
}

QString VelPluginBaseWidget::defaultSkinRoot()
{
    VelTsan::ReadHold hold(&g_skinRoot->lock);
    return g_skinRoot->path;
}

void VelPluginBaseWidget::initPluginWidget() {}

void VelPluginBaseWidget::refreshPluginWidget() {}

void VelPluginBaseWidget::pluginWidgetReserved() {}

int VelPluginBaseWidget::isCloseable(QString &reason)
{
    Q_UNUSED(reason)
    return 1;
}

void VelPluginBaseWidget::doBeforeClose() {}

void VelPluginBaseWidget::pluginSelectStateChanged(bool selected)
{
    Q_UNUSED(selected)
}

void VelPluginBaseWidget::setPluginData(QVariant &data)
{
    m_pluginData = data;
}

QVariant VelPluginBaseWidget::getPluginData()
{
    return m_pluginData;
}

void VelPluginBaseWidget::pressConfigurationButton() {}

QMap<QString, QWidget *> VelPluginBaseWidget::getPluginLayoutPropertiesSetWidgets()
{
    return {};
}

QVariant VelPluginBaseWidget::getPluginLayoutPropertiesByWidgetName(QString name)
{
    Q_UNUSED(name)
    return {};
}

void VelPluginBaseWidget::setPluginLayoutPropertiesByWidgetName(QString name, const QVariant &value)
{
    Q_UNUSED(name)
    Q_UNUSED(value)
}

void VelPluginBaseWidget::pluginGeometryMoved() {}

void VelPluginBaseWidget::pluginResized() {}

void VelPluginBaseWidget::closeByUser() {}

void VelPluginBaseWidget::addSkinFile(const QString &folder, const QString &file,
                                      const QString &reserved)
{
    Q_UNUSED(reserved)
    const QPair<QString, QString> entry(folder, file);
    if (!m_skinFiles.contains(entry))
        m_skinFiles.append(entry);
    const QString root = defaultSkinRoot();
    if (!root.isEmpty())
        applySkin(root);
}

bool VelPluginBaseWidget::event(QEvent *e)
{
    // Widgets the page adds later stack above the overlay unless it is raised again.
    if (e->type() == QEvent::ChildAdded && m_overlay && m_loadingState == 1)
        m_overlay->raise();
    return QWidget::event(e);
}

void VelPluginBaseWidget::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    if (m_overlay)
        m_overlay->setGeometry(rect());
    pluginResized();
}

void VelPluginBaseWidget::closeEvent(QCloseEvent *e)
{
    QString reason;
    if (isCloseable(reason) == 0) {
        e->ignore();
        return;
    }
    doBeforeClose();
    QWidget::closeEvent(e);
}

// The style sheet is every skin file of the page, in the order added. Files
// that cannot be read are reported and skipped; when none can be read the
// current style sheet stays.
void VelPluginBaseWidget::applySkin(const QString &root)
{
    if (m_skinFiles.isEmpty())
        return;
    QStringList parts;
    const QDir rootDir(root);
    for (const QPair<QString, QString> &entry : qAsConst(m_skinFiles)) {
        const QString path = rootDir.filePath(entry.first + QLatin1Char('/') + entry.second);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            qCWarning(lcSkin, "cannot read skin file %s: %s", qUtf8Printable(path),
                      qUtf8Printable(file.errorString()));
            continue;
        }
        if (file.size() > kMaxSkinFileSize) {
            qCWarning(lcSkin, "skin file %s is too large (%lld bytes)", qUtf8Printable(path),
                      file.size());
            continue;
        }
        parts.append(QString::fromUtf8(file.readAll()));
    }
    if (parts.isEmpty())
        return;
    const QString sheet = parts.join(QLatin1Char('\n'));
    if (sheet == styleSheet())
        return;
    // Qt keeps the first sheet's palette when a page that has children and
    // is not polished yet gets a second sheet; polishing in between avoids it.
    if (!styleSheet().isEmpty())
        ensurePolished();
    setStyleSheet(sheet);
}

void VelPluginBaseWidget::updateOverlay()
{
    if (!m_overlay)
        return;
    if (m_loadingState == 1) {
        m_overlay->setGeometry(rect());
        m_overlay->raise();
        m_overlay->show();
    } else {
        m_overlay->hide();
    }
}
