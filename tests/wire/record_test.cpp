// SPDX-License-Identifier: GPL-3.0-or-later
// The call record: composer, reader, nature names, number and character helpers.
#include "wire/record.h"

#include <gtest/gtest.h>

using namespace dsc;

namespace {

DscRecord allShips() {
    DscRecord r;
    r.TXMMSI = "274111001"; r.RXMMSI = ALL_SHIPS_MMSI; r.CALL = CALL_ALLSHIPS; r.CATEGORY = CAT_ROUTINE;
    r.DANGER = "00"; r.LATD = "00"; r.LATM = "00"; r.NS = "N"; r.LOND = "000"; r.LONM = "00";
    r.EW = "E"; r.TIME = "00:00"; r.CH = "77"; r.COMPLY = "N";
    return r;
}

const QByteArray kAllShips =
    "TXMMSI=274111001,RXMMSI=999999999,CALL=ALLSHIPS,CATEGORY=ROUTINE ,DANGER=00,LATD=00,LATM=00,"
    "NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=77,COMPLY=N";

bool same(const DscRecord& a, const DscRecord& b) { return compose(a) == compose(b); }

} // namespace

TEST(Record, ComposesFullWidthRecordAndReadsItBack) {
    EXPECT_EQ(compose(allShips()), kAllShips);
    EXPECT_EQ(kAllShips.size(), 144);
    DscRecord r;
    Decodifica_stringa(kAllShips, r);
    EXPECT_EQ(r.TXMMSI, "274111001");
    EXPECT_EQ(r.RXMMSI, "999999999");
    EXPECT_EQ(r.CALL, CALL_ALLSHIPS);
    EXPECT_EQ(r.CATEGORY, "ROUTINE ");
    EXPECT_EQ(r.DANGER, "00");
    EXPECT_EQ(r.NS, "N");
    EXPECT_EQ(r.LOND, "000");
    EXPECT_EQ(r.EW, "E");
    EXPECT_EQ(r.TIME, "00:00");
    EXPECT_EQ(r.CH, "77");
    EXPECT_EQ(r.COMPLY, "N");
    EXPECT_TRUE(same(r, allShips()));
}

TEST(Record, ComposerWritesValuesAsGiven) {
    DscRecord r = allShips();
    r.CALL = "GROUP";
    r.DANGER = "3";
    const QByteArray text = compose(r);
    EXPECT_NE(text.indexOf(",CALL=GROUP,CATEGORY="), -1);
    EXPECT_NE(text.indexOf(",DANGER=3,LATD="), -1);
}

TEST(Record, OneAndTwoDigitDanger) {
    DscRecord alert = allShips();
    alert.CALL = CALL_DISTRESS; alert.CATEGORY = CAT_DISTRESS; alert.DANGER = "3";
    const QByteArray three = compose(alert);
    EXPECT_EQ(three.size(), 143);
    DscRecord r;
    Decodifica_stringa(three, r);
    EXPECT_EQ(r.DANGER, "3,");
    EXPECT_EQ(leading_number(r.DANGER), 3);
    EXPECT_EQ(r.LATD, "00");

    alert.DANGER = "12";
    const QByteArray twelve = compose(alert);
    EXPECT_EQ(twelve.size(), 144);
    Decodifica_stringa(twelve, r);
    EXPECT_EQ(r.DANGER, "12");
    EXPECT_EQ(leading_number(r.DANGER), 12);
}

TEST(Record, PairsInAnotherOrderReadTheSame) {
    const QByteArray shuffled =
        "COMPLY=N,CH=77,TIME=00:00,EW=E,LONM=00,LOND=000,NS=N,LATM=00,LATD=00,DANGER=00,"
        "CATEGORY=ROUTINE ,CALL=ALLSHIPS,RXMMSI=999999999,TXMMSI=274111001";
    DscRecord a, b;
    Decodifica_stringa(shuffled, a);
    Decodifica_stringa(kAllShips, b);
    EXPECT_TRUE(same(a, b));
}

TEST(Record, UnfilledCallSwallowsTheNextKey) {
    DscRecord g = allShips();
    g.CALL = "GROUP";
    DscRecord r;
    Decodifica_stringa(compose(g), r);
    EXPECT_EQ(r.CALL, "GROUP,CA");
    EXPECT_NE(r.CALL, CALL_GROUP);
}

TEST(Record, MissingKeysReadFromTheKeyLength) {
    QByteArray text = kAllShips;
    text.chop(QByteArray(",COMPLY=N").size());
    DscRecord r;
    Decodifica_stringa(text, r);
    EXPECT_EQ(r.COMPLY, QByteArray(1, text[6])); // the 7th character, "="
    EXPECT_EQ(r.CH, "77");

    Decodifica_stringa("short", r);
    EXPECT_EQ(r.TXMMSI, ""); // text ends before position 7
    EXPECT_EQ(r.NS, "o");    // "NS=" is 3 long: the 3rd character
}

TEST(Record, ShortTextsCutsAndRepeatedKeys) {
    DscRecord r;
    Decodifica_stringa("TXMMSI=2741", r);
    EXPECT_EQ(r.TXMMSI, "2741");
    Decodifica_stringa("CH=", r);
    EXPECT_EQ(r.CH, "");

    Decodifica_stringa("CH=16,CH=77", r);
    EXPECT_EQ(r.CH, "16");

    QByteArray longText(253, 'x');
    longText += "CH=72";
    Decodifica_stringa(longText, r);
    EXPECT_EQ(r.CH, "xx"); // the key stood beyond the 255th character: read from the 3rd character
}

TEST(Record, ReaderTakesAnyBytes) {
    QByteArray text = kAllShips;
    text[8] = '\0';
    text[30] = char(0xBA);
    DscRecord r;
    Decodifica_stringa(text, r);
    EXPECT_EQ(r.TXMMSI, QByteArray("2\0" "4111001", 9));
    EXPECT_EQ(r.RXMMSI.size(), 9);
    Decodifica_stringa(QByteArray(), r);
    EXPECT_TRUE(r.TXMMSI.isEmpty() && r.COMPLY.isEmpty());
}

TEST(Record, NatureNames) {
    EXPECT_EQ(nature_name(0), "Undesignated");
    EXPECT_EQ(nature_name(1), "Undesignated");
    EXPECT_EQ(nature_name(2), "Fire,Explosion");
    EXPECT_EQ(nature_name(9), "Abandoning Ship");
    EXPECT_EQ(nature_name(12), "Epirb emission");
    QString kept = "kept";
    nature_name(13, kept);
    EXPECT_EQ(kept, "kept");
    EXPECT_EQ(nature_name(-1), "");
    EXPECT_EQ(nature_name(99), "");
}

TEST(Record, LeadingNumber) {
    EXPECT_EQ(leading_number("3,"), 3);
    EXPECT_EQ(leading_number("  72"), 72);
    EXPECT_EQ(leading_number("-5x"), -5);
    EXPECT_EQ(leading_number("+7"), 7);
    EXPECT_EQ(leading_number("x1"), 0);
    EXPECT_EQ(leading_number(""), 0);
    EXPECT_EQ(leading_number("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(leading_number("-99999999999999999999999"), INT_MIN);
}

TEST(Record, Cp1252) {
    EXPECT_EQ(cp1252("AB"), "AB");
    EXPECT_EQ(cp1252("\xBA\xB0\xB4"), QString::fromUtf16(u"\u00BA\u00B0\u00B4"));
    EXPECT_EQ(cp1252("\x80\x9F\x81"), QString::fromUtf16(u"\u20AC\u0178\u0081"));
}
