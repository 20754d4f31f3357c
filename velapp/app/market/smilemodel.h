#pragma once

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QVariantMap>
#include <QVector>

#include <functional>
#include <optional>

// A fund's volatility smile and term structure from its option quotes: per
// expiry the forward implied by put-call parity, Black-76 volatilities of
// the out-of-the-money side on it, and the at-the-money volatility.
// Adjusted contracts are left out. Pure functions of their inputs.
class SmileModel
{
public:
    // The fund's standard contracts of one expiry, by strike.
    struct Listed
    {
        double strike = 0;
        QString call; // symbol, empty when not listed
        QString put;
    };
    struct Chain
    {
        QString underlying;
        QMap<QDate, QVector<Listed>> expiries; // strikes ascending
    };

    // A strike's two mids; none where a side has no price.
    struct Pair
    {
        double strike = 0;
        std::optional<double> call;
        std::optional<double> put;
    };
    struct Point
    {
        double strike = 0;
        std::optional<double> iv;
        bool call = false;
    };
    struct Expiry
    {
        QDate date;
        int days = 0;
        double years = 0;
        std::optional<double> forward;
        std::optional<double> atmIv;
        QVector<Point> points; // strike order
    };
    struct Smile
    {
        QString underlying;
        double rate = 0;
        QVector<Expiry> expiries; // date order
        bool operator==(const Smile &other) const;
        bool operator!=(const Smile &other) const { return !(*this == other); }
    };

    // An exchange's adjusted contract: a name ending in a letter such as
    // "A", or a contract unit other than 10000.
    static bool isAdjusted(const QVariantMap &record);
    // The fund's standard options among the reference records.
    static Chain chainOf(const QString &underlying, const QList<QVariantMap> &records);
    // The price a quote gives: the mid of bid and ask when both are above 0,
    // else the last price (or the previous close); none without any.
    static std::optional<double> midOf(const QVariantMap &tick);
    // F = K* + e^{rT}(C - P) at the strike K* where both mids exist and
    // |C - P| is smallest; none without such a strike.
    static std::optional<double> forwardOf(const QVector<Pair> &pairs, double years, double rate);
    // Linear in ln(K/F) between the nearest strikes with a volatility below
    // and at or above F; none unless both exist (or one sits on F).
    static std::optional<double> atmVolatility(const QVector<Point> &points, double forward);
    // One expiry from its quotes.
    static Expiry expiryOf(const QDate &date, const QVector<Pair> &pairs, const QDateTime &at,
                           double rate);

    using TickSource = std::function<QVariantMap(const QString &symbol)>;
    static Smile compute(const Chain &chain, const TickSource &latest, const QDateTime &at,
                         double rate);
    // {"underlying", "rate", "expiries": [{"date", "days", "T", "forward",
    // "atmIv", "points": [{"strike", "iv", "side"}]}]}, null where undefined.
    static QJsonObject toJson(const Smile &smile);
};

Q_DECLARE_METATYPE(SmileModel::Smile)
