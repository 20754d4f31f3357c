#pragma once

// Texts shared between the host's table and the pages that fill it.

#include <QString>

namespace VelConst {
inline const QString Head_DisplayRole = QStringLiteral("Head_DisplayRole");
inline const QString Head_UserRole = QStringLiteral("Head_UserRole");
inline const QString ALL_PRICE = QStringLiteral("ALL_PRICE");
inline const QString BlinkSeparator = QStringLiteral("###");
inline const QString TQuotation_TIMESTAMP = QStringLiteral("TQuotation_TIMESTAMP");
inline const QString ZeroPrice = QStringLiteral("0.000");
// Cell record keys: the decimal text of the item role.
inline const QString RoleDisplay = QStringLiteral("0"); // Qt::DisplayRole
inline const QString RoleUser = QStringLiteral("256");  // Qt::UserRole
inline const QString RoleUser1 = QStringLiteral("257"); // Qt::UserRole + 1
// Quotation record kinds: option ticks and ticks of everything else (funds).
inline const QString OptionRecord = QStringLiteral("MDOPTIONRECORD");
inline const QString MarketRecord = QStringLiteral("MDMARKETRECORD");
} // namespace VelConst

// Bus event types shared by the host and its pages.
namespace VelEventType {
enum : int {
    BaseDataState = 69647, // 0x1100F, row {"loadFinish": true} once reference data are loaded
    UnderlyingChanged = 213331,
    ShowChart = 213332,
    ShowSymbol = 213334,
};
} // namespace VelEventType
