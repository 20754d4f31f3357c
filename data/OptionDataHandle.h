#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// underlying ("510050.SH") -> strike date ("yyyyMMdd") -> strike key ("2.950 ",
// "2.950A") -> side ("C"/"P") -> the option's security record. Every level is
// keyed by text, so strikes order as text, never as numbers.
typedef QMap<QString, QMap<QString, QMap<QString, QMap<QString, QVariantMap>>>> OptionChainMap;

// Builds the option chain of the T-board from the host's reference data.
// Stateless: nothing is cached, every call reads the host's current data.
class OptionDataHandle
{
public:
    // The live (not expired) options of the request's sub-type and post.
    static OptionChainMap getOptionData(const QVariantMap &request);

    // The chain of underlyingSymbol, keeping per strike date at most
    // limitNumber strikes taken alternately just below and just above the
    // centre text symmetryPrice (compared as text).
    static OptionChainMap getFilteredOptionData(const QString &underlyingSymbol,
                                                const QString &symmetryPrice, int limitNumber,
                                                const QVariantMap &request);

    // The distinct underlyings ("510050.SH") of the category's options, in the
    // order their first option is listed.
    static QStringList getUnderlyingSymbolList(const QVariantMap &categoryData);

private:
    OptionDataHandle() = delete;
};
