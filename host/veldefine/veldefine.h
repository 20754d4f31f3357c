#pragma once

// Field names and values of the host's securities vocabulary. Plugins use
// them by name only; the texts are the host's.

#include <QString>

namespace Ostrel_Fields {
namespace Security {
inline const QString symbol = QStringLiteral("symbol");
inline const QString securityID = QStringLiteral("securityID");
inline const QString chineseName = QStringLiteral("chineseName");
inline const QString underlyingSecurityID = QStringLiteral("underlyingSecurityID");
inline const QString PutOrCall = QStringLiteral("PutOrCall");
inline const QString StrikeDate = QStringLiteral("StrikeDate");
inline const QString StrikePrice = QStringLiteral("StrikePrice");
inline const QString price = QStringLiteral("price");
inline const QString nominalQty = QStringLiteral("nominalQty");
} // namespace Security
namespace MDCFieldDefine {
inline const QString mdcSecurityType = QStringLiteral("mdcSecurityType");
inline const QString mdcSubSecurityType = QStringLiteral("mdcSubSecurityType");
inline const QString pricePrecision = QStringLiteral("pricePrecision");
} // namespace MDCFieldDefine
namespace UserAccount {
inline const QString SymbolPost = QStringLiteral("SymbolPost");
} // namespace UserAccount
} // namespace Ostrel_Fields

namespace Ostrel_Values {
namespace MdcSecurityType {
inline const QString OptionType = QStringLiteral("OPTION");
inline const QString FundType = QStringLiteral("ETF");
} // namespace MdcSecurityType
namespace MdcSubSecurityType {
inline const QString ETFoption = QStringLiteral("ETFOPTION");
} // namespace MdcSubSecurityType
namespace OptionCallOrPut {
inline const QString call = QStringLiteral("C");
inline const QString put = QStringLiteral("P");
} // namespace OptionCallOrPut
namespace SymbolPost {
inline const QString sh = QStringLiteral("SH");
inline const QString sz = QStringLiteral("SZ");
} // namespace SymbolPost
} // namespace Ostrel_Values

namespace Ostrel_MsgType {
inline const QString executionReport = QStringLiteral("executionReport");
} // namespace Ostrel_MsgType
