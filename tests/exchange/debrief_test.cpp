// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/debrief.h"

#include <gtest/gtest.h>

using exchange::Debrief;

namespace {
dsc::DscRecord rec(const char* tx, const char* rx, const char* call, const char* cat, const char* danger = "00",
                   const char* ch = "16", const char* comply = "N")
{
    dsc::DscRecord r;
    dsc::Decodifica_stringa(QByteArray("TXMMSI=") + tx + ",RXMMSI=" + rx + ",CALL=" + call + ",CATEGORY=" + cat
                                + ",DANGER=" + danger + ",LATD=43,LATM=28,NS=N,LOND=009,LONM=15,EW=E,TIME=10:00,CH="
                                + ch + ",COMPLY=" + comply,
                            r);
    return r;
}
} // namespace

TEST(Debrief, ReportsAcknowledgementsWithTheirDelaysAndWhatWasLeftOpen)
{
    Debrief d;
    d.name("002470001", "Coast");
    d.observe(0, rec("274111001", "999999999", "DISTRESS", "DISTRESS", "3"));
    d.observe(5000, rec("274111002", "002470001", "INDIVID ", "ROUTINE ", "00", "72"));
    d.observe(12000, rec("002470001", "274111001", "DISTRESS", "DIST_ACK", "3,"));
    d.observe(13000, rec("002470001", "274111001", "DISTRESS", "DIST_ACK", "3,"));   // a second ack changes nothing
    d.observe(20000, rec("002470001", "274111002", "INDIVID ", "ROUT_ACK", "00", "72", "Y"));
    d.observe(30000, rec("274111002", "274111001", "INDIVID ", "POS_REQ "));
    d.observe(31000, rec("274111001", "999999999", "ALLSHIPS", "SAFETY  "));

    const QString report = d.report();
    EXPECT_TRUE(report.contains("distress alert (Flooding) from 274111001 acknowledged by Coast (002470001) after 12 s"))
        << report.toStdString();
    EXPECT_TRUE(report.contains("individual ROUTINE call from 274111002 to Coast (002470001) acknowledged by Coast "
                                "(002470001) after 15 s: able to comply, channel 72"))
        << report.toStdString();
    EXPECT_TRUE(report.contains("Left unanswered:\n  position request from 274111002 to 274111001 at +30 s: no answer"))
        << report.toStdString();
    EXPECT_TRUE(report.contains("274111001: 2 sent, 3 received")) << report.toStdString();
    EXPECT_TRUE(report.contains("Coast (002470001): 3 sent, 1 received")) << report.toStdString();
}

TEST(Debrief, AnAcknowledgementAnswersOnlyTheCallItBelongsTo)
{
    Debrief d;
    d.observe(0, rec("274111001", "274111002", "INDIVID ", "ROUTINE "));
    // An acknowledgement from a third station, and one in the wrong direction, close nothing.
    d.observe(1000, rec("274111003", "274111001", "INDIVID ", "ROUT_ACK", "00", "16", "Y"));
    d.observe(2000, rec("274111001", "274111002", "INDIVID ", "ROUT_ACK", "00", "16", "Y"));
    const QString report = d.report();
    EXPECT_TRUE(report.contains("individual ROUTINE call from 274111001 to 274111002 at +0 s: no answer"))
        << report.toStdString();
    EXPECT_FALSE(report.contains("Acknowledged:")) << report.toStdString();
}
