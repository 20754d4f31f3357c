#pragma once

#include "veldefine/veldefine.h"

#include <QDate>
#include <QLoggingCategory>
#include <QObject>
#include <QRegularExpression>
#include <QVariantMap>

// Helpers shared by the view tests.
namespace ViewTest {

inline QVariantMap fund(const QString &symbol, const QString &name, const QString &post)
{
    return {
        {Ostrel_Fields::Security::symbol, symbol},
        {Ostrel_Fields::Security::securityID, symbol.section(QLatin1Char('.'), 0, 0)},
        {Ostrel_Fields::Security::chineseName, name},
        {Ostrel_Fields::MDCFieldDefine::mdcSecurityType, Ostrel_Values::MdcSecurityType::FundType},
        {Ostrel_Fields::UserAccount::SymbolPost, post}};
}

inline QVariantMap option(const QString &id, const QString &underlyingId, const QString &post,
                          const QString &side, double strike, int daysAhead = 30)
{
    return {{Ostrel_Fields::Security::symbol, QString(id + QLatin1Char('.') + post)},
            {Ostrel_Fields::Security::securityID, id},
            {Ostrel_Fields::Security::chineseName, QString(QStringLiteral("期权") + id)},
            {Ostrel_Fields::Security::underlyingSecurityID, underlyingId},
            {Ostrel_Fields::Security::PutOrCall, side},
            {Ostrel_Fields::Security::StrikeDate,
             QDate::currentDate().addDays(daysAhead).toString(QStringLiteral("yyyyMMdd"))},
            {Ostrel_Fields::Security::StrikePrice, strike},
            {Ostrel_Fields::MDCFieldDefine::mdcSecurityType,
             Ostrel_Values::MdcSecurityType::OptionType},
            {Ostrel_Fields::MDCFieldDefine::mdcSubSecurityType,
             Ostrel_Values::MdcSubSecurityType::ETFoption},
            {Ostrel_Fields::UserAccount::SymbolPost, post}};
}

// QObject::receivers is protected; a pointer to it formed through a derived
// class may be applied to any QObject.
inline int receiverCount(const QObject *sender, const char *signal)
{
    struct Access : QObject
    {
        static int (QObject::*method())(const char *) const { return &Access::receivers; }
    };
    return (sender->*Access::method())(signal);
}

// Counts the messages that match pattern while it lives; debug output of
// the default category is switched on for that time.
class MessageCounter
{
public:
    explicit MessageCounter(const QRegularExpression &pattern)
    {
        s_pattern = pattern;
        s_count = 0;
        s_previous = qInstallMessageHandler(&MessageCounter::handle);
        m_debugWas = QLoggingCategory::defaultCategory()->isDebugEnabled();
        QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, true);
    }
    ~MessageCounter()
    {
        QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, m_debugWas);
        qInstallMessageHandler(s_previous);
    }
    int count() const { return s_count; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (s_pattern.match(message).hasMatch())
            ++s_count;
        else if (s_previous)
            s_previous(type, context, message);
    }
    bool m_debugWas = false;
    static inline QRegularExpression s_pattern;
    static inline int s_count = 0;
    static inline QtMessageHandler s_previous = nullptr;
};

} // namespace ViewTest
