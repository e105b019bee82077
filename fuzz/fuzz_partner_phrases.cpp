// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the partners' phrase file reader, then speaks every answer with what
// it took: each phrase stays within its bound, and the finished text within what the placeholders
// can make of it. Now and then the bytes go through a real file, which reads as its bytes parse,
// its mistakes told in a few lines.
#include "exchange/spoken_answer.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using exchange::PartnerPhrases;
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    QStringList problems;
    const PartnerPhrases phrases = PartnerPhrases::parse(text, &problems);
    static const QByteArray answers[] = {
        "TXMMSI=002470001,RXMMSI=274111001,CALL=INDIVID ,CATEGORY=ROUT_ACK,DANGER=00,LATD=00,LATM=00,NS=N,"
        "LOND=000,LONM=00,EW=E,TIME=00:00,CH=77,COMPLY=Y",
        "TXMMSI=002470001,RXMMSI=274111001,CALL=INDIVID ,CATEGORY=ROUT_ACK,DANGER=00,LATD=00,LATM=00,NS=N,"
        "LOND=000,LONM=00,EW=E,TIME=00:00,CH=16,COMPLY=N",
        "TXMMSI=002470001,RXMMSI=274111001,CALL=INDIVID ,CATEGORY=POS_ACK ,DANGER=00,LATD=44,LATM=24,NS=N,"
        "LOND=008,LONM=55,EW=E,TIME=09:41,CH=16,COMPLY=N",
        "TXMMSI=002470001,RXMMSI=274111001,CALL=DISTRESS,CATEGORY=DIST_ACK,DANGER=1,LATD=43,LATM=28,NS=N,"
        "LOND=009,LONM=15,EW=E,TIME=09:40,CH=16,COMPLY=N",
    };
    for (int k = 0; k < PartnerPhrases::KindCount; ++k)
        if (phrases.phrase(PartnerPhrases::Kind(k)).size() > PartnerPhrases::max_phrase_chars)
            __builtin_trap();
    // A file costs far more than memory: one input in 64 takes that path.
    if (size % 64 == 0) {
        static QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("partner-phrases.txt"));
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size()) {
            f.close();
            QStringList told;
            const PartnerPhrases read = PartnerPhrases::read(path, &told);
            for (int k = 0; k < PartnerPhrases::KindCount; ++k)
                if (size <= size_t(PartnerPhrases::max_file_bytes)
                    && read.phrase(PartnerPhrases::Kind(k)) != phrases.phrase(PartnerPhrases::Kind(k)))
                    __builtin_trap();
            if (told.size() > 11)
                __builtin_trap();
        }
    }
    for (const QByteArray& a : answers) {
        const auto spoken = exchange::spoken_answer(phrases, QStringLiteral("Coast Radio 1"), a);
        // Each placeholder becomes at most a position's words; each digit at most six characters.
        if (spoken && spoken->text.size() > 6 * (PartnerPhrases::max_phrase_chars * 100))
            __builtin_trap();
    }
    return 0;
}
