#pragma once

#include <QColor>
#include <QFrame>
#include <QList>
#include <QMap>
#include <QModelIndex>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

QT_BEGIN_NAMESPACE
class QPushButton;
namespace Ui {
class TQuotation;
}
QT_END_NAMESPACE

class VelTreeView;

// The T-board's view: date buttons, underlying selectors and the T table.
// It shows what the presenter sends and turns user actions into signals.
class TQuotationFrame : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QUrl checkPath READ getCheckPath WRITE setCheckPath)
    Q_PROPERTY(QUrl uncheckPath READ getUncheckPath WRITE setUncheckPath)
    Q_PROPERTY(QUrl tristatePath READ getTristatePath WRITE setTristatePath)
    Q_PROPERTY(int itemHeight READ getItemHeight WRITE setItemHeight)
    Q_PROPERTY(QColor gridlinecolor READ getGridlinecolor WRITE setGridlinecolor)
    Q_PROPERTY(int lineheight READ getLineheight WRITE setLineheight)
    Q_PROPERTY(int linenamewidth READ getLinenamewidth WRITE setLinenamewidth)
    Q_PROPERTY(int lineinfowidth READ getLineinfowidth WRITE setLineinfowidth)
    Q_PROPERTY(QColor upBackgroudColor READ getUpBackgroudColor WRITE setUpBackgroudColor)
    Q_PROPERTY(QColor downBackgroudColor READ getDownBackgroudColor WRITE setDownBackgroudColor)

public:
    explicit TQuotationFrame(QWidget *parent);
    ~TQuotationFrame() override;

    void setTableHeadList(QList<QVariantMap> &headList);

    QUrl getCheckPath() const;
    void setCheckPath(const QUrl &path);
    QUrl getUncheckPath() const;
    void setUncheckPath(const QUrl &path);
    QUrl getTristatePath() const;
    void setTristatePath(const QUrl &path);
    int getItemHeight() const;
    void setItemHeight(int height);
    QColor getGridlinecolor() const;
    void setGridlinecolor(const QColor &color);
    int getLineheight() const;
    void setLineheight(int height);
    int getLinenamewidth() const;
    void setLinenamewidth(int width);
    int getLineinfowidth() const;
    void setLineinfowidth(int width);
    QColor getUpBackgroudColor() const;
    void setUpBackgroudColor(const QColor &color);
    QColor getDownBackgroudColor() const;
    void setDownBackgroudColor(const QColor &color);

    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    void signalIndex(int index);
    void signalChooseStrikeDate(QStringList strikeDateList);
    void signalSetFilter(int limitNumber, QString SymmetryPrice);
    void signalShowChart(QString strikeDate, QString shortName);
    void signalSetUnderlying(QString symbol, QVariantMap categoryData);
    void signalShowSymbol(QString strikeDate, QString shortName, int columnNumber);

public slots:
    void slotClickedIndexModel(const QModelIndex &index);
    void slotTableItemDoubleClicked(const QModelIndex &index);
    void slotPositionListUpdate(const QList<QMap<int, QVariantMap>> &rows);
    void slotPositionAdd(const QMap<int, QVariantMap> &row);
    void slotPositionUpdate(const QMap<int, QVariantMap> &row);
    void slotQuotationUpdate(const QVariantMap &quotation);
    void slotCoveredTransReport(const QString &info);
    void slotRefreshAccount(const QVariantMap &data);
    void slotClearTableSelection();
    void slotUpdateStrikeDate(const QStringList &strikeDateList);
    void slotChooseStrikeDate(bool checked);
    QModelIndex getCurrentSelectTreeRowIndex() const;
    QString getSymmetryShortName() const;
    void slotSetSymmetryShortName(const QString &symmetryShortName);
    void slotRefresh();
    void setUnderlyingSecurityCategory();
    void setUnderlyingSecurity();
    void slotCurrentIndexChange(const QString &text);
    void slotCurrentCategoryIndexChange(const QString &text);
    void slotUpdateComboxUnderlying(const QString &underlyingSymbol);
    void slotUpdateCallPutSecurity(const QVariantMap &callData, const QVariantMap &putData);

private slots:
    void on_pushButton_clicked();

private:
    void setUpTable();
    void resetCaptions();
    void fillUnderlyingList(const QStringList &symbols);
    QString securityIdOf(const QVariantMap &data) const;

    Ui::TQuotation *ui;
    VelTreeView *m_treeView;
    QUrl checkPath;
    QUrl uncheckPath;
    QUrl tristatePath;
    QList<QPushButton *> m_dateButtons;
    QStringList m_shownStrikeDates;
    QString m_symmetryShortName;
    int itemHeight;
    int lineheight;
    int linenamewidth;
    int lineinfowidth;
    QColor gridlinecolor;
    QColor upBackgroudColor;
    QColor downBackgroudColor;
};
