#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// Reference data for the T-board tests, built in the test and loaded into the
// host's CBusinessDataBase.
namespace OptionFixture {

// Today + offset days as "yyyyMMdd".
QString day(int offset);
QVariantMap option(const QString &symbol, const QString &underlyingId, const QString &strikeDate,
                   const QVariant &strike, const QString &side, const QString &name,
                   const QString &post = QStringLiteral("SH"));
QVariantMap fund(const QString &symbol, const QString &name, const QString &post);
// The category map the underlying selector gives the presenter.
QVariantMap category(const QString &post);
// A call and a put per strike of one date; symbols "<prefix><C|P><strike*1000>.<post>".
QList<QVariantMap> ladder(const QString &prefix, const QString &underlyingId,
                          const QString &strikeDate, const QList<double> &strikes,
                          const QString &post = QStringLiteral("SH"));
QString callSymbol(const QString &prefix, double strike, const QString &post = QStringLiteral("SH"));
QString putSymbol(const QString &prefix, double strike, const QString &post = QStringLiteral("SH"));
void load(const QList<QVariantMap> &records);

} // namespace OptionFixture
