#pragma once

#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class VelPluginBaseWidget;
class VelTreeModel;
class VelTreeView;

// What a T-board page looks like from outside: its form's object names, the
// table's key columns and its date buttons. The only unit of velapp that knows
// them, so a change to the form shows up in one place (and in its test).
namespace BoardFace {

constexpr int DateButtonCount = 10;
constexpr int StrikeColumn = 7; // the strike text of an option row
constexpr int DateColumn = 15;  // the StrikeDate text of an expiry row

bool isBoard(const VelPluginBaseWidget *page);
// "tboard", "chart", "detail", "smile" or "unknown": the page kinds of the dump and layout.
QString kindOf(const VelPluginBaseWidget *page);

QComboBox *categorySelector(const VelPluginBaseWidget *page);
QComboBox *underlyingSelector(const VelPluginBaseWidget *page);
QPushButton *allDatesButton(const VelPluginBaseWidget *page);
// Date button 0..DateButtonCount-1 in the order shown.
QPushButton *dateButton(const VelPluginBaseWidget *page, int index);
QLabel *callCaption(const VelPluginBaseWidget *page);
QLabel *putCaption(const VelPluginBaseWidget *page);
QLineEdit *filterCountInput(const VelPluginBaseWidget *page);
QLineEdit *filterCentreInput(const VelPluginBaseWidget *page);
QPushButton *filterApplyButton(const VelPluginBaseWidget *page);
VelTreeView *table(const VelPluginBaseWidget *page);
// The object names above, for a check against the form.
QStringList widgetNames();

// The underlying's price text the page holds for its in-the-money shading.
QString underlyingPrice(const VelPluginBaseWidget *page);
// What a cell of the table shows: its display text, else the text the
// delegate paints (the strike column holds only that).
QString shownText(const VelTreeModel *model, const QModelIndex &row, int column);
// The option row of strike text `strike` (blanks ignored) under the expiry
// row whose date text is `date`; invalid when there is none.
QModelIndex strikeRow(const VelTreeModel *model, const QString &date, const QString &strike);

} // namespace BoardFace
