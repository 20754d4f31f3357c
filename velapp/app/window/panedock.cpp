#include "window/panedock.h"

#include "velwidget/velpluginbasewidget.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

PaneDock::PaneDock(const QString &kind, const QString &title, QWidget *parent)
    : QDockWidget(title, parent)
    , m_kind(kind)
    , m_title(title)
    , m_keep(new QToolButton)
{
    setObjectName(QStringLiteral("velapp_%1Pane").arg(kind));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                QDockWidget::DockWidgetFloatable);
    m_keep->setObjectName(QStringLiteral("keepButton"));
    m_keep->setText(tr("保留为页面"));
    m_keep->setToolTip(tr("把此窗格的内容复制到一个固定显示该期权的页面"));
    m_keep->setEnabled(false);
    connect(m_keep, &QToolButton::clicked, this, [this] {
        if (m_page)
            emit keepRequested(m_page);
    });
    auto *body = new QWidget;
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(4, 2, 4, 2);
    bar->addStretch(1);
    bar->addWidget(m_keep);
    layout->addLayout(bar);
    setWidget(body);
}

void PaneDock::setPage(VelPluginBaseWidget *page)
{
    auto *layout = static_cast<QVBoxLayout *>(widget()->layout());
    delete m_page.data(); // its layout lets go of it as it goes
    m_page = page;
    layout->addWidget(page, 1);
    setWindowTitle(page->pluginWidgetTitle());
    m_keep->setEnabled(true);
    if (isHidden())
        show();
    raise();
}

bool PaneDock::isShowing() const
{
    return m_page && !isHidden();
}
