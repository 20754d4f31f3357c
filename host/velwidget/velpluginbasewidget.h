#pragma once

#include "velhost_global.h"
#include "velwidget/ihskin.h"

#include <QMap>
#include <QPair>
#include <QWidget>

class QLabel;

// Base of every page the host shows: title, refresh ability, loading state,
// skin style sheets and a unique instance id.
class VELHOST_EXPORT VelPluginBaseWidget : public QWidget, public IHSkin
{
    Q_OBJECT
    Q_INTERFACES(IHSkin)
public:
    explicit VelPluginBaseWidget(QWidget *parent = nullptr);
    // A new page with the same settings (title, refresh ability, skin files)
    // and a fresh instance id; needed for meta-type registration.
    VelPluginBaseWidget(const VelPluginBaseWidget &other);
    ~VelPluginBaseWidget() override;

    void setPluginWidgetTitle(const QString &title);
    QString pluginWidgetTitle() const;
    void setPluginRefreshable(bool refreshable);
    bool isPluginRefreshable() const;
    void setPluginTitleAccountShowType(int type);
    int pluginTitleAccountShowType() const;
    // 1: shown as loading (an overlay) until the page's presenter emits
    // signalDataLoadFinished or the host sets 0.
    void setLoadingState(int state);
    int loadingState() const;
    QString pluginInstanceID() const;
    // (folder, file) pairs given with addSkinFile, in order.
    QList<QPair<QString, QString>> skinFiles() const;

    // Folder under which skin folders are looked up for every page; set once
    // by the application.
    static void setDefaultSkinRoot(const QString &root);
    static QString defaultSkinRoot();

    virtual void initPluginWidget();
    virtual void refreshPluginWidget();
    virtual void pluginWidgetReserved();
    virtual int isCloseable(QString &reason);
    virtual void doBeforeClose();
    virtual void pluginSelectStateChanged(bool selected);
    virtual void setPluginData(QVariant &data);
    virtual QVariant getPluginData();
    virtual void pressConfigurationButton();
    virtual QMap<QString, QWidget *> getPluginLayoutPropertiesSetWidgets();
    virtual QVariant getPluginLayoutPropertiesByWidgetName(QString name);
    virtual void setPluginLayoutPropertiesByWidgetName(QString name, const QVariant &value);
    virtual void pluginGeometryMoved();
    virtual void pluginResized();
    virtual void closeByUser();
    // After the page's own virtual operations, so that their slots keep
    // their order in the page's table of virtual functions.
    void loadSkin(const QVariant &skinRoot) override;

signals:
    void pluginWidgetTitleChanged(const QString &title);
    void loadingStateChanged(int state);

protected:
    void addSkinFile(const QString &folder, const QString &file, const QString &reserved);
    bool event(QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

private:
    void applySkin(const QString &root);
    void updateOverlay();

    QString m_title;
    bool m_refreshable = false;
    int m_accountShowType = 0;
    int m_loadingState = 0;
    QString m_instanceId;
    QList<QPair<QString, QString>> m_skinFiles;
    QVariant m_pluginData;
    QLabel *m_overlay = nullptr;
};
