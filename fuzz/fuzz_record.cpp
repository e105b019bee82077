// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the call record reader, and to what the station and the exchange read
// out of a record's fields (nature, channel, the Windows-1252 display). A record whose fields all
// have their full width and hold no '=' (every key ends with one) is written again by the composer
// and reads back field for field.
#include "wire/record.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    dsc::DscRecord r;
    dsc::Decodifica_stringa(text, r);
    if (r.TXMMSI.size() > 9 || r.COMPLY.size() > 1 || r.CALL.size() > 8)
        __builtin_trap();
    const int nature = dsc::leading_number(r.DANGER);
    if (dsc::nature_name(nature).isEmpty() != (nature < 0 || nature > 12))
        __builtin_trap();
    const int channel = dsc::leading_number(r.CH);
    const int heard = dsc::voice_channel_heard(channel);
    if (heard != 16 && heard != channel)
        __builtin_trap();
    (void)dsc::allowed_working_channel(channel);
    if (dsc::cp1252(text.left(255)).size() != text.left(255).size())
        __builtin_trap();

    bool whole = true;
    for (const dsc::Field& f : dsc::kFields)
        whole = whole && (r.*f.member).size() == f.width && !(r.*f.member).contains('=');
    if (whole) {
        dsc::DscRecord again;
        dsc::Decodifica_stringa(dsc::compose(r), again);
        for (const dsc::Field& f : dsc::kFields)
            if (again.*f.member != r.*f.member)
                __builtin_trap();
    }
    return 0;
}
