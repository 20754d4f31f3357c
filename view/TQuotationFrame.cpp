#include "TQuotationFrame.h"

#include "ItemModelDeletage.h"
#include "OptionDataHandle.h"
#include "ui_TQuotation.h"

#include "velbusinessdata/businessdatabase.h"
#include "veldefine/velconstants.h"
#include "veldefine/veldefine.h"
#include "velwidget/velmessagebox.h"
#include "velwidget/veltreeview.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QDebug>
#include <QPushButton>
#include <QRegExp>
#include <QRegExpValidator>
#include <QVBoxLayout>

#define TQUOTATION_FRAME_DEBUG() qDebug().noquote() << Q_FUNC_INFO << "TQuotationFrame" << __LINE__

namespace {

const int kDateButtonCount = 10;
const int kCentred = Qt::AlignHCenter | Qt::AlignVCenter; // 132

// Every user-visible text goes through the form's translation context;
// PageText::tr is also what lupdate looks for.
struct PageText
{
    Q_DECLARE_TR_FUNCTIONS(TQuotation)
};

bool isGroupRow(const QMap<int, QVariantMap> &row)
{
    return row.value(7).value(VelConst::RoleUser).toString() == VelConst::ALL_PRICE;
}

} // namespace

TQuotationFrame::TQuotationFrame(QWidget *parent)
    : QFrame(parent)
    , ui(new Ui::TQuotation)
    , m_treeView(nullptr)
    , itemHeight(20)
    , lineheight(20)
    , linenamewidth(50)
    , lineinfowidth(110)
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("TQuotationFrame"));
    setWindowFlags(Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);

    m_treeView = new VelTreeView(this);

    QVBoxLayout *layout = new QVBoxLayout;
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ui->frame_setting, 0, Qt::Alignment());
    layout->addWidget(ui->frame, 0, Qt::Alignment());
    layout->addWidget(ui->frame_Underlying, 0, Qt::Alignment());
    layout->addWidget(m_treeView, 0, Qt::Alignment());
    setLayout(layout);
    ui->frame_setting->hide();

    setUpTable();

    m_dateButtons << ui->pushButton_1 << ui->pushButton_2 << ui->pushButton_3 << ui->pushButton_4
                  << ui->pushButton_5 << ui->pushButton_6 << ui->pushButton_7 << ui->pushButton_8
                  << ui->pushButton_9 << ui->pushButton_10;
    for (QPushButton *button : qAsConst(m_dateButtons))
        button->hide();

    ui->lineEdit_limitNumber->setValidator(new QRegExpValidator(
        QRegExp(QStringLiteral("[0-9]{1,13}"), Qt::CaseSensitive, QRegExp::RegExp),
        ui->lineEdit_limitNumber));
    ui->lineEdit_SymmetryPrice->setValidator(
        new QRegExpValidator(QRegExp(QStringLiteral("1000|([0-9]{1,3}[.][0-9]{1,4})"),
                                     Qt::CaseSensitive, QRegExp::RegExp),
                             ui->lineEdit_SymmetryPrice));
    ui->lineEdit_limitNumber->setText(QString::number(99, 10));
    ui->lineEdit_SymmetryPrice->setText(VelConst::ZeroPrice);

    ui->comboBox_underlyingCategory->setFixedWidth(100);
    ui->comboBox_underlying->setFixedWidth(100);

    connect(m_treeView, &VelTreeView::doubleClicked, this,
            &TQuotationFrame::slotTableItemDoubleClicked, Qt::AutoConnection);
    connect(m_treeView, &VelTreeView::clicked, this, &TQuotationFrame::slotClickedIndexModel,
            Qt::AutoConnection);
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    connect(ui->comboBox_underlyingCategory,
            QOverload<const QString &>::of(&QComboBox::currentIndexChanged), this,
            &TQuotationFrame::slotCurrentCategoryIndexChange,
            Qt::ConnectionType(Qt::AutoConnection | Qt::UniqueConnection));
    QT_WARNING_POP
}

TQuotationFrame::~TQuotationFrame()
{
    delete ui;
}

void TQuotationFrame::setUpTable()
{
    m_treeView->setTreeViewCaption(PageText::tr("T型行情"));
    m_treeView->setVelTableItemDelegate(new ItemModelDeletage(this));
    m_treeView->setGridLineStyle(3);
    m_treeView->setColumnDefaultWidth(65);
    m_treeView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_treeView->setHeadSectionMovable(true);
    m_treeView->setKeyColumn(QList<int>() << 7 << 15);
    m_treeView->setParentAndSubRowLinkColumnIndex(16);
    m_treeView->setItemSelectable(true);
}

void TQuotationFrame::setTableHeadList(QList<QVariantMap> &headList)
{
    m_treeView->setHeadList(headList);

    const QList<QPair<int, int>> widths = {{0, 100},  {1, 100},  {2, 100}, {3, 100},
                                           {6, 120},  {7, 160},  {8, 120}, {11, 100},
                                           {12, 100}, {13, 100}, {14, 100}};
    for (const auto &width : widths)
        m_treeView->setColumnWidth(width.first, width.second);

    const QList<int> centred = {0, 1, 2, 3, 6, 7, 8, 11, 12, 13, 14};
    for (int column : centred)
        m_treeView->setColumnTextAlignment(column, kCentred);
}

// ---- properties -----------------------------------------------------------

QUrl TQuotationFrame::getCheckPath() const
{
    return checkPath;
}

void TQuotationFrame::setCheckPath(const QUrl &path)
{
    if (checkPath != path)
        checkPath = path;
}

QUrl TQuotationFrame::getUncheckPath() const
{
    return uncheckPath;
}

void TQuotationFrame::setUncheckPath(const QUrl &path)
{
    if (uncheckPath != path)
        uncheckPath = path;
}

QUrl TQuotationFrame::getTristatePath() const
{
    return tristatePath;
}

void TQuotationFrame::setTristatePath(const QUrl &path)
{
    if (tristatePath != path)
        tristatePath = path;
}

int TQuotationFrame::getItemHeight() const
{
    return itemHeight;
}

void TQuotationFrame::setItemHeight(int height)
{
    itemHeight = height;
}

QColor TQuotationFrame::getGridlinecolor() const
{
    return gridlinecolor;
}

void TQuotationFrame::setGridlinecolor(const QColor &color)
{
    gridlinecolor = color;
    m_treeView->setItemGridColor(gridlinecolor);
}

int TQuotationFrame::getLineheight() const
{
    return lineheight;
}

void TQuotationFrame::setLineheight(int height)
{
    lineheight = height;
}

int TQuotationFrame::getLinenamewidth() const
{
    return linenamewidth;
}

void TQuotationFrame::setLinenamewidth(int width)
{
    linenamewidth = width;
}

int TQuotationFrame::getLineinfowidth() const
{
    return lineinfowidth;
}

void TQuotationFrame::setLineinfowidth(int width)
{
    lineinfowidth = width;
}

QColor TQuotationFrame::getUpBackgroudColor() const
{
    return upBackgroudColor;
}

void TQuotationFrame::setUpBackgroudColor(const QColor &color)
{
    if (upBackgroudColor == color)
        return;
    upBackgroudColor = color;
    m_treeView->update();
}

QColor TQuotationFrame::getDownBackgroudColor() const
{
    return downBackgroudColor;
}

void TQuotationFrame::setDownBackgroudColor(const QColor &color)
{
    if (downBackgroudColor == color)
        return;
    downBackgroudColor = color;
    m_treeView->update();
}

bool TQuotationFrame::eventFilter(QObject *watched, QEvent *event)
{
    return QFrame::eventFilter(watched, event);
}

// ---- table ----------------------------------------------------------------

void TQuotationFrame::slotClickedIndexModel(const QModelIndex &index)
{
    m_treeView->update();
    if (!index.isValid())
        return;
    const QMap<int, QVariantMap> row = m_treeView->getRowData(index);
    if (isGroupRow(row)) {
        resetCaptions();
        return;
    }
    emit signalShowChart(row.value(15).value(VelConst::RoleUser).toString(),
                         row.value(7).value(VelConst::RoleUser1).toString());
}

void TQuotationFrame::slotTableItemDoubleClicked(const QModelIndex &index)
{
    m_treeView->update();
    if (!index.isValid())
        return;
    const QMap<int, QVariantMap> row = m_treeView->getRowData(index);
    if (isGroupRow(row)) {
        resetCaptions();
        return;
    }
    emit signalShowSymbol(row.value(15).value(VelConst::RoleUser).toString(),
                          row.value(7).value(VelConst::RoleUser1).toString(), index.column());
}

void TQuotationFrame::slotPositionListUpdate(const QList<QMap<int, QVariantMap>> &rows)
{
    m_treeView->updateRecordDataList(rows);
    // Group rows come first in the list and are the only top-level rows, so
    // the list position is the top-level row number.
    for (int i = 0; i < rows.size(); ++i) {
        if (isGroupRow(rows.at(i)))
            m_treeView->setIndexExpand(m_treeView->index(i, 0, QModelIndex()), true);
    }
}

void TQuotationFrame::slotPositionAdd(const QMap<int, QVariantMap> &row)
{
    m_treeView->addRecordData(row);
}

void TQuotationFrame::slotPositionUpdate(const QMap<int, QVariantMap> &row)
{
    m_treeView->updataRecordData(row);
}

void TQuotationFrame::slotQuotationUpdate(const QVariantMap &quotation)
{
    Q_UNUSED(quotation)
}

void TQuotationFrame::slotCoveredTransReport(const QString &info)
{
    VelMessageBox *box = new VelMessageBox(PageText::tr("提醒"), info, 1, this, 2);
    box->exec();
    delete box;
}

void TQuotationFrame::slotRefreshAccount(const QVariantMap &data)
{
    Q_UNUSED(data)
}

void TQuotationFrame::slotClearTableSelection() {}

QModelIndex TQuotationFrame::getCurrentSelectTreeRowIndex() const
{
    return m_treeView->currentIndex();
}

QString TQuotationFrame::getSymmetryShortName() const
{
    return m_symmetryShortName;
}

void TQuotationFrame::slotSetSymmetryShortName(const QString &symmetryShortName)
{
    if (m_symmetryShortName == symmetryShortName)
        return;
    m_symmetryShortName = symmetryShortName;
    m_treeView->update();
}

QString TQuotationFrame::securityIdOf(const QVariantMap &data) const
{
    const QString symbol = data.value(Ostrel_Fields::Security::symbol).toString();
    return CBusinessDataBase::GetInstance()
        ->GetSecurityDetailsBySymbol(symbol)
        .value(Ostrel_Fields::Security::securityID)
        .toString();
}

void TQuotationFrame::slotUpdateCallPutSecurity(const QVariantMap &callData,
                                                const QVariantMap &putData)
{
    const QString codeFormat = QStringLiteral("(%1)");
    ui->label_Call->setText(PageText::tr("认购期权") %
                            codeFormat.arg(securityIdOf(callData), 0, QLatin1Char(' ')));
    ui->label_Put->setText(PageText::tr("认沽期权") %
                           codeFormat.arg(securityIdOf(putData), 0, QLatin1Char(' ')));
}

void TQuotationFrame::resetCaptions()
{
    ui->label_Call->setText(PageText::tr("认购期权"));
    ui->label_Put->setText(PageText::tr("认沽期权"));
}

// ---- strike-date buttons and filter ---------------------------------------

void TQuotationFrame::slotUpdateStrikeDate(const QStringList &strikeDateList)
{
    m_shownStrikeDates.clear();

    // UniqueConnection: a refill must never add a second connection, or one
    // click would choose twice.
    const Qt::ConnectionType once = Qt::ConnectionType(Qt::AutoConnection | Qt::UniqueConnection);
    ui->pushButton_allDate->setCheckable(true);
    ui->pushButton_allDate->setChecked(true);
    connect(ui->pushButton_allDate, &QPushButton::clicked, this,
            &TQuotationFrame::slotChooseStrikeDate, once);

    const QDate today = QDate::currentDate();
    for (int i = 0; i < strikeDateList.size(); ++i) {
        if (i >= m_dateButtons.size()) {
            TQUOTATION_FRAME_DEBUG() << "too many strike date";
            return;
        }
        QPushButton *button = m_dateButtons.at(i);
        button->setFixedWidth(120);
        button->show();
        button->setCheckable(true);
        button->setChecked(true);

        const QDate date = QDate::fromString(strikeDateList.at(i), QStringLiteral("yyyyMMdd"));
        const qint64 days = today.daysTo(date);
        button->setText(QStringLiteral("%1(%2%3)")
                            .arg(date.toString(QStringLiteral("yyyyMMdd")), QString::number(days),
                                 PageText::tr("日")));
        m_shownStrikeDates.append(strikeDateList.at(i));
        connect(button, &QPushButton::clicked, this, &TQuotationFrame::slotChooseStrikeDate, once);
    }

    for (int i = strikeDateList.size(); i < m_dateButtons.size(); ++i) {
        QPushButton *button = m_dateButtons.at(i);
        button->hide();
        disconnect(button, &QPushButton::clicked, this, &TQuotationFrame::slotChooseStrikeDate);
    }

    resetCaptions();
}

void TQuotationFrame::slotChooseStrikeDate(bool checked)
{
    Q_UNUSED(checked)
    QObject *source = sender();
    if (source == ui->pushButton_allDate) {
        for (QPushButton *button : qAsConst(m_dateButtons)) {
            if (button->isVisible())
                button->setChecked(true);
        }
        ui->pushButton_allDate->setChecked(true);
    } else {
        ui->pushButton_allDate->setChecked(false);
        for (QPushButton *button : qAsConst(m_dateButtons)) {
            if (button->isVisible())
                button->setChecked(button == source);
        }
    }

    QStringList chosen;
    for (int i = 0; i < m_dateButtons.size(); ++i) {
        const QPushButton *button = m_dateButtons.at(i);
        if (button->isVisible() && button->isChecked() && i < m_shownStrikeDates.size())
            chosen.append(m_shownStrikeDates.at(i));
    }
    emit signalChooseStrikeDate(chosen);
}

void TQuotationFrame::on_pushButton_clicked()
{
    bool ok = false;
    int limitNumber = ui->lineEdit_limitNumber->text().toInt(&ok, 10);
    if (!ok)
        limitNumber = 0;
    emit signalSetFilter(limitNumber, ui->lineEdit_SymmetryPrice->text());
}

void TQuotationFrame::slotRefresh()
{
    ui->lineEdit_limitNumber->setText(QString::number(99, 10));
    ui->lineEdit_SymmetryPrice->setText(VelConst::ZeroPrice);
}

// ---- underlying selectors -------------------------------------------------

void TQuotationFrame::setUnderlyingSecurityCategory()
{
    // Clearing a filled list would announce an empty category to the
    // presenter (a pointless load of nothing); block that one change so the
    // only announcement is the one made when the first item goes in.
    {
        const QSignalBlocker blocker(ui->comboBox_underlyingCategory);
        ui->comboBox_underlyingCategory->clear();
    }

    QVariantMap shanghai;
    shanghai.insert(Ostrel_Fields::MDCFieldDefine::mdcSubSecurityType,
                    QVariant(Ostrel_Values::MdcSubSecurityType::ETFoption));
    shanghai.insert(Ostrel_Fields::UserAccount::SymbolPost,
                    QVariant(Ostrel_Values::SymbolPost::sh));
    QVariantMap shenzhen;
    shenzhen.insert(Ostrel_Fields::MDCFieldDefine::mdcSubSecurityType,
                    QVariant(Ostrel_Values::MdcSubSecurityType::ETFoption));
    shenzhen.insert(Ostrel_Fields::UserAccount::SymbolPost,
                    QVariant(Ostrel_Values::SymbolPost::sz));

    // The first item becomes current and runs slotCurrentCategoryIndexChange.
    ui->comboBox_underlyingCategory->addItem(PageText::tr("上证ETF"), shanghai);
    ui->comboBox_underlyingCategory->addItem(PageText::tr("深证ETF"), shenzhen);
}

void TQuotationFrame::fillUnderlyingList(const QStringList &symbols)
{
    const CBusinessDataBase *data = CBusinessDataBase::GetInstance();
    for (const QString &symbol : symbols) {
        const QVariantMap details = data->GetSecurityDetailsBySymbol(symbol);
        ui->comboBox_underlying->addItem(
            details.value(Ostrel_Fields::Security::chineseName).toString(),
            QVariant(details.value(Ostrel_Fields::Security::symbol).toString()));
    }
}

void TQuotationFrame::setUnderlyingSecurity()
{
    const QVariantMap categoryData = ui->comboBox_underlyingCategory->currentData().toMap();
    const QStringList symbols = OptionDataHandle::getUnderlyingSymbolList(categoryData);

    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    const auto indexChanged = QOverload<const QString &>::of(&QComboBox::currentIndexChanged);
    disconnect(ui->comboBox_underlying, indexChanged, this,
               &TQuotationFrame::slotCurrentIndexChange);
    ui->comboBox_underlying->clear();
    fillUnderlyingList(symbols);
    connect(ui->comboBox_underlying, indexChanged, this, &TQuotationFrame::slotCurrentIndexChange,
            Qt::ConnectionType(Qt::AutoConnection | Qt::UniqueConnection));
    QT_WARNING_POP

    emit signalSetUnderlying(ui->comboBox_underlying->currentData().toString(),
                             ui->comboBox_underlyingCategory->currentData().toMap());
}

void TQuotationFrame::slotCurrentIndexChange(const QString &text)
{
    Q_UNUSED(text)
    emit signalSetUnderlying(ui->comboBox_underlying->currentData().toString(),
                             ui->comboBox_underlyingCategory->currentData().toMap());
}

void TQuotationFrame::slotCurrentCategoryIndexChange(const QString &text)
{
    Q_UNUSED(text)
    setUnderlyingSecurity();
}

void TQuotationFrame::slotUpdateComboxUnderlying(const QString &underlyingSymbol)
{
    if (ui->comboBox_underlying->currentData().toString() == underlyingSymbol)
        return;

    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    const auto indexChanged = QOverload<const QString &>::of(&QComboBox::currentIndexChanged);
    disconnect(ui->comboBox_underlying, indexChanged, this,
               &TQuotationFrame::slotCurrentIndexChange);
    disconnect(ui->comboBox_underlyingCategory, indexChanged, this,
               &TQuotationFrame::slotCurrentCategoryIndexChange);

    const QVariantMap details =
        CBusinessDataBase::GetInstance()->GetSecurityDetailsBySymbol(underlyingSymbol);
    const QString name = details.value(Ostrel_Fields::Security::chineseName).toString();
    for (int i = 0; i < ui->comboBox_underlyingCategory->count(); ++i) {
        const QStringList symbols = OptionDataHandle::getUnderlyingSymbolList(
            ui->comboBox_underlyingCategory->itemData(i).toMap());
        if (!symbols.contains(underlyingSymbol, Qt::CaseSensitive))
            continue;
        ui->comboBox_underlying->clear();
        fillUnderlyingList(symbols);
        const int found =
            ui->comboBox_underlying->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (found >= 0) {
            ui->comboBox_underlying->setCurrentIndex(found);
            ui->comboBox_underlyingCategory->setCurrentIndex(i);
            break;
        }
    }

    const Qt::ConnectionType once = Qt::ConnectionType(Qt::AutoConnection | Qt::UniqueConnection);
    connect(ui->comboBox_underlying, indexChanged, this, &TQuotationFrame::slotCurrentIndexChange,
            once);
    connect(ui->comboBox_underlyingCategory, indexChanged, this,
            &TQuotationFrame::slotCurrentCategoryIndexChange, once);
    QT_WARNING_POP
}
