// Writes the binary seed inputs of fuzz/corpus/ (the text ones are written by
// hand):  fuzz_seeds CORPUS_DIR
// Packed messages come from the real packer so that they follow its format
// when that changes; the tick inputs are fixed pseudo-random bytes.
#include <velmsg/packmessage.h>

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTimeZone>

#include <cstdio>
#include <limits>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        fprintf(stderr, "fuzz_seeds: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QVariantMap optionTick()
{
    return {{QStringLiteral("Symbol"), QStringLiteral("10007001.SH")},
            {QStringLiteral("LastPrice"), 0.1234},
            {QStringLiteral("Buy1Price"), 0.1233},
            {QStringLiteral("Sell1Price"), 0.1235},
            {QStringLiteral("PreSettlePrice"), 0.12},
            {QStringLiteral("PreClosePrice"), 0.121},
            {QStringLiteral("OpenInterest"), 12345},
            {QStringLiteral("MaxPx"), 0.42},
            {QStringLiteral("MinPx"), 0.0001}};
}

// One value of every kind the packer has a tag for.
QVariantMap everyKind()
{
    const QDateTime at(QDate(2026, 12, 23), QTime(9, 30));
    return {
        {QStringLiteral("invalid"), QVariant()},
        {QStringLiteral("bool"), true},
        {QStringLiteral("int"), -7},
        {QStringLiteral("uint"), 7u},
        {QStringLiteral("longlong"), std::numeric_limits<qlonglong>::min()},
        {QStringLiteral("ulonglong"), std::numeric_limits<qulonglong>::max()},
        {QStringLiteral("nan"), std::numeric_limits<double>::quiet_NaN()},
        {QStringLiteral("string"), QStringLiteral("50ETF购12月2950")},
        {QStringLiteral("bytes"), QByteArray("\0\1\2", 3)},
        {QStringLiteral("strings"), QStringList{QStringLiteral("a"), QString()}},
        {QStringLiteral("list"), QVariantList{1, QStringLiteral("x"), QVariantList{2.5}}},
        {QStringLiteral("map"),
         QVariantMap{{QStringLiteral("k"), QVariantMap{{QStringLiteral("j"), 1}}}}},
        {QStringLiteral("utc"), at.toUTC()},
        {QStringLiteral("local"), at},
        {QStringLiteral("offset"), QDateTime(at.date(), at.time(), Qt::OffsetFromUTC, 8 * 3600)},
        {QStringLiteral("zone"), QDateTime(at.date(), at.time(), QTimeZone("Asia/Shanghai"))},
        {QStringLiteral("nodatetime"), QDateTime()},
        {QStringLiteral("date"), at.date()},
        {QStringLiteral("nodate"), QDate()}};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: fuzz_seeds CORPUS_DIR\n");
        return 2;
    }
    const QDir corpus(QString::fromLocal8Bit(argv[1]));
    if (!corpus.mkpath(QStringLiteral("fuzz_unpack")) ||
        !corpus.mkpath(QStringLiteral("fuzz_tick")))
        return 1;

    QVariantMap market = optionTick();
    market[QStringLiteral("Symbol")] = QStringLiteral("510050.SH");
    const QByteArray tick = CPackMessageCommon::pack({optionTick()});
    const QList<std::pair<QString, QByteArray>> messages = {
        {QStringLiteral("empty.bin"), CPackMessageCommon::pack({})},
        {QStringLiteral("tick.bin"), tick},
        {QStringLiteral("rows.bin"),
         CPackMessageCommon::pack({optionTick(), market, QVariantMap()})},
        {QStringLiteral("kinds.bin"), CPackMessageCommon::pack({everyKind()})},
        // The target also reads every input as a compressed message.
        {QStringLiteral("tick.zbin"), qCompress(tick)},
    };
    bool ok = true;
    for (const auto &m : messages)
        ok = writeFile(corpus.filePath(QStringLiteral("fuzz_unpack/") + m.first), m.second) && ok;

    // The tick target draws its field values from the input bytes.
    QRandomGenerator random(20261205);
    for (int size : {16, 64, 256, 1024}) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char &c : bytes)
            c = char(random.bounded(256));
        ok = writeFile(corpus.filePath(QStringLiteral("fuzz_tick/random-%1.bin").arg(size)),
                       bytes) &&
             ok;
    }
    return ok ? 0 : 1;
}
