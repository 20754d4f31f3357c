// Arbitrary bytes into the bus message decoder, read both as a plain and as a
// compressed message: no crash, no unbounded allocation, and whatever decodes
// packs back to bytes that decode to the same rows.
#include "fuzzsupport.h"

#include <velmsg/packmessage.h>

namespace {

void checkRoundTrip(const QList<QVariantMap> &rows)
{
    // Packing is only idempotent from the second pass on: the first one may
    // normalise (invalid UTF-8, hashes carried as maps).
    const QByteArray packed = CPackMessageCommon::pack(rows);
    QList<QVariantMap> again;
    QString error;
    if (!CUnPackMessageCommon::unpack(packed, &again, &error))
        abort();
    if (again.size() != rows.size() || CPackMessageCommon::pack(again) != packed)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzzInitQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QList<QVariantMap> rows;
    QString error;
    if (CUnPackMessageCommon::unpack(bytes, &rows, &error)) {
        if (!error.isEmpty())
            abort();
        checkRoundTrip(rows);
    } else if (!rows.isEmpty() || error.isEmpty()) {
        abort(); // a refused message gives no rows and says why
    }

    CUnPackMessageCommon compressed;
    if (compressed.SetUnPackMsg(QVariant(bytes), true)) {
        checkRoundTrip(compressed.rows());
    } else if (compressed.rowCount() != 0 || compressed.errorString().isEmpty()) {
        abort();
    }
    return 0;
}
