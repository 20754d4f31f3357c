// Ticks with arbitrary field values through the presenter's quotation path
// (unpack, diff against the previous tick, row build, blink fading), mixed
// with underlying changes and reload events of arbitrary shape: never a crash.
#include "fuzzsupport.h"

#include "TQuotationPresenterClass.h"
#include "velbus.h"

#include <velbusinessdata/businessdatabase.h>
#include <veldefine/velconstants.h>
#include <veldefine/veldefine.h>
#include <velmsg/packmessage.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <QDate>

#include <cstring>

namespace {

PresenterClass *g_presenter = nullptr;
int g_rowUpdates = 0;
const QVariantMap g_category{
    {Ostrel_Fields::MDCFieldDefine::mdcSubSecurityType,
     Ostrel_Values::MdcSubSecurityType::ETFoption},
    {Ostrel_Fields::UserAccount::SymbolPost, Ostrel_Values::SymbolPost::sh}};
const QStringList g_symbols = {QStringLiteral("10000001.SH"), QStringLiteral("10000002.SH"),
                               QStringLiteral("10000003.SH"), QStringLiteral("510050.SH")};

QVariantMap option(const QString &symbol, const QString &side, double strike, const QString &name)
{
    return {{Ostrel_Fields::Security::symbol, symbol},
            {Ostrel_Fields::Security::securityID, symbol.left(8)},
            {Ostrel_Fields::Security::chineseName, name},
            {Ostrel_Fields::Security::underlyingSecurityID, QStringLiteral("510050")},
            {Ostrel_Fields::Security::PutOrCall, side},
            {Ostrel_Fields::Security::StrikeDate,
             QDate::currentDate().addDays(30).toString(QStringLiteral("yyyyMMdd"))},
            {Ostrel_Fields::Security::StrikePrice, strike},
            {Ostrel_Fields::MDCFieldDefine::mdcSecurityType,
             Ostrel_Values::MdcSecurityType::OptionType},
            {Ostrel_Fields::MDCFieldDefine::mdcSubSecurityType,
             Ostrel_Values::MdcSubSecurityType::ETFoption},
            {Ostrel_Fields::UserAccount::SymbolPost, Ostrel_Values::SymbolPost::sh}};
}

QVariant fuzzValue(FuzzedDataProvider &in)
{
    switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0:
        return QVariant();
    case 1: {
        double d;
        const uint64_t bits = in.ConsumeIntegral<uint64_t>();
        memcpy(&d, &bits, sizeof d); // NaN, inf, denormals, huge
        return d;
    }
    case 2:
        return in.ConsumeFloatingPointInRange(-10.0, 10.0);
    case 3:
        return qlonglong(in.ConsumeIntegral<int64_t>());
    case 4:
        return QString::fromUtf8(QByteArray::fromStdString(in.ConsumeRandomLengthString(24)));
    case 5:
        return in.ConsumeBool();
    case 6:
        return QVariantList{1, QStringLiteral("x")};
    default:
        return QVariantMap{{QStringLiteral("k"), 1}};
    }
}

// An underlying change (its symbol from a few known ones, so that the bus's
// subscriptions stay bounded) or a reference data event, either with
// arbitrary extra values.
void sendEvent(FuzzedDataProvider &in)
{
    static const QStringList underlyings = {QStringLiteral("510050.SH"), g_symbols[0], QString(),
                                            QStringLiteral("159919.SZ")};
    QVariantMap row = g_category;
    int type = VelEventType::UnderlyingChanged;
    if (in.ConsumeBool()) {
        row[Ostrel_Fields::Security::symbol] =
            underlyings[in.ConsumeIntegralInRange<int>(0, underlyings.size() - 1)];
        if (in.ConsumeBool())
            row[Ostrel_Fields::Security::price] = fuzzValue(in);
        if (in.ConsumeBool())
            row[Ostrel_Fields::Security::nominalQty] = fuzzValue(in);
    } else {
        type = VelEventType::BaseDataState;
        row = {{QStringLiteral("loadFinish"), fuzzValue(in)}};
    }
    CPackMessageCommon pack;
    pack.AddRowVaule(row);
    g_presenter->ProcEventMsg(QString(), type, pack.GetPackedMsg(false));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzzInitQt(argc, argv);
    // The bus thread would run beside the fuzzed calls and, when libFuzzer
    // exits, beside the static destructors (the application object is a static
    // here, not main's local as in velapp). The target calls the presenter
    // directly, so nothing needs delivering: a stopped bus drops what it is given.
    VelBus::instance()->stop();
    CBusinessDataBase::GetInstance()->loadSecurities(
        {{{Ostrel_Fields::Security::symbol, QStringLiteral("510050.SH")},
          {Ostrel_Fields::Security::chineseName, QStringLiteral("50ETF")},
          {Ostrel_Fields::MDCFieldDefine::mdcSecurityType,
           Ostrel_Values::MdcSecurityType::FundType},
          {Ostrel_Fields::UserAccount::SymbolPost, Ostrel_Values::SymbolPost::sh}},
         option(g_symbols[0], Ostrel_Values::OptionCallOrPut::call, 2.95,
                QStringLiteral("50ETF购2950")),
         option(g_symbols[1], Ostrel_Values::OptionCallOrPut::put, 2.95,
                QStringLiteral("50ETF沽2950")),
         option(g_symbols[2], Ostrel_Values::OptionCallOrPut::call, 3.0,
                QStringLiteral("50ETF购3000A"))});
    g_presenter = new PresenterClass(QStringLiteral("fuzz"), nullptr);
    g_presenter->slotSetUnderlying(QStringLiteral("510050.SH"), g_category);

    // Ticks that never reach a row would fuzz nothing but the early returns.
    QObject::connect(g_presenter, &PresenterClass::PositionUpdate,
                     [](const QMap<int, QVariantMap> &) { ++g_rowUpdates; });
    CPackMessageCommon pack;
    pack.AddRowVaule(
        {{QStringLiteral("Symbol"), g_symbols[0]}, {QStringLiteral("LastPrice"), 0.1}});
    g_presenter->ProcQuotationMsg(QString(), QStringLiteral("MDOPTIONRECORD"),
                                  pack.GetPackedMsg(false));
    if (g_rowUpdates == 0) {
        fprintf(stderr, "fuzz_tick: a valid tick gave no row update; the chain did not load\n");
        abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    static const QStringList fields = {
        QStringLiteral("LastPrice"),      QStringLiteral("PreClosePrice"),
        QStringLiteral("PreSettlePrice"), QStringLiteral("OpenInterest"),
        QStringLiteral("Buy1Price"),      QStringLiteral("Sell1Price"),
        QStringLiteral("MaxPx"),          QStringLiteral("MinPx")};
    // Every input starts from the page showing the same chain.
    g_presenter->slotSetUnderlying(QStringLiteral("510050.SH"), g_category);
    while (in.remaining_bytes() > 0) {
        if (in.ConsumeIntegralInRange(0, 31) == 0) {
            sendEvent(in);
            continue;
        }
        QVariantMap tick;
        tick[QStringLiteral("Symbol")] =
            in.ConsumeIntegralInRange(0, 9) == 0
                ? fuzzValue(in)
                : QVariant(g_symbols[in.ConsumeIntegralInRange<int>(0, g_symbols.size() - 1)]);
        for (const QString &field : fields) {
            if (in.ConsumeBool())
                tick[field] = fuzzValue(in);
        }
        const int kind = in.ConsumeIntegralInRange(0, 2);
        const QVariant type = kind == 0   ? QVariant(QStringLiteral("MDOPTIONRECORD"))
                              : kind == 1 ? QVariant(QStringLiteral("MDMARKETRECORD"))
                                          : fuzzValue(in);
        CPackMessageCommon pack;
        pack.AddRowVaule(tick);
        // Now and then a message that is not a packed one at all.
        const QVariant msg =
            in.ConsumeIntegralInRange(0, 15) == 0 ? fuzzValue(in) : pack.GetPackedMsg(false);
        g_presenter->ProcQuotationMsg(QString(), type, msg);
    }
    // Lets the blink timer fade the rows these ticks lit when it is due.
    QCoreApplication::processEvents();
    return 0;
}
