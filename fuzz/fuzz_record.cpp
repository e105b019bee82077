// Feeds arbitrary bytes to the call record reader.
#include "wire/record.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    dsc::DscRecord r;
    dsc::Decodifica_stringa(text, r);
    if (r.TXMMSI.size() > 9 || r.COMPLY.size() > 1 || r.CALL.size() > 8)
        __builtin_trap();
    (void)dsc::leading_number(r.DANGER);
    (void)dsc::cp1252(text.left(255));
    return 0;
}
