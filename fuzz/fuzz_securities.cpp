// Arbitrary --securities text: the loader either refuses it with a message
// or yields records that the reference data and the chain builder accept.
#include "fuzzsupport.h"

#include "OptionDataHandle.h"
#include "files/securitiesfile.h"

#include <velbusinessdata/businessdatabase.h>
#include <veldefine/veldefine.h>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzzInitQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), int(size));
    QList<QVariantMap> records;
    QString error;
    if (!SecuritiesFile::parse(text, QStringLiteral("fuzz.json"), &records, &error)) {
        if (!records.isEmpty() || !isOneLineRefusal(error, QStringLiteral("fuzz.json"), text))
            abort();
        return 0;
    }
    CBusinessDataBase::GetInstance()->loadSecurities(records);
    for (const QString &post : {Ostrel_Values::SymbolPost::sh, Ostrel_Values::SymbolPost::sz}) {
        QVariantMap request;
        request[Ostrel_Fields::MDCFieldDefine::mdcSubSecurityType] =
            Ostrel_Values::MdcSubSecurityType::ETFoption;
        request[Ostrel_Fields::UserAccount::SymbolPost] = post;
        const OptionChainMap chain = OptionDataHandle::getOptionData(request);
        for (auto it = chain.cbegin(); it != chain.cend(); ++it)
            OptionDataHandle::getFilteredOptionData(it.key(), QStringLiteral("2.95"), 3, request);
        OptionDataHandle::getUnderlyingSymbolList(request);
    }
    return 0;
}
