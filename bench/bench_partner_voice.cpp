// SPDX-License-Identifier: GPL-3.0-or-later
// The practice partners' voice: what espeak-ng takes to synthesise a typical phrase, what the
// relay's thread spends handing a phrase over, and the pause from the DSC answer to the first
// voice packet on the wire (the set pause plus whatever the exchange adds to it).
#include "exchange/virtual_station.h"
#include "exchange/voice_sender.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace exchange;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Figures {
    std::vector<double> v;
    void add(double x) { v.push_back(x); }
    double median()
    {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[v.size() / 2];
    }
    double min() const { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }
    double max() const { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }
};

QByteArray answer_on(int channel)
{
    VirtualStation coast, trainee;
    coast.kind = VirtualStation::Coast;
    coast.mmsi = "002470001";
    trainee.mmsi = "274111001";
    dsc::DscRecord call;
    dsc::Decodifica_stringa(individual_call(trainee, coast.mmsi, dsc::CAT_ROUTINE, channel), call);
    return *answer(coast, call, QTime(9, 41));
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    auto t0 = Clock::now();
    const QString problem = Speech::start();
    const double startMs = ms(Clock::now() - t0);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        return 77;
    }
    std::printf("espeak-ng start (voice data loaded): %.1f ms\n", startMs);

    const PartnerPhrases phrases;
    for (const char* which : {"individual_ack", "distress_ack"}) {
        QByteArray record = answer_on(77);
        if (QByteArray(which) == "distress_ack")
            record = "TXMMSI=002470001,RXMMSI=274111001,CALL=DISTRESS,CATEGORY=DIST_ACK,DANGER=1,LATD=43,LATM=28,"
                     "NS=N,LOND=009,LONM=15,EW=E,TIME=09:40,CH=16,COMPLY=N";
        const QString text = spoken_answer(phrases, QStringLiteral("Coast Radio"), record)->text;
        Figures synth;
        double seconds = 0;
        for (int i = 0; i < 21; ++i) {
            std::vector<std::int16_t> pcm;
            int rate = 0;
            t0 = Clock::now();
            Speech::synthesise(text, pcm, rate);
            synth.add(ms(Clock::now() - t0));
            seconds = double(pcm.size()) / rate;
        }
        std::printf("synthesis of %s (%.1f s of speech, %lld characters): median %.1f ms (min %.1f, max %.1f), "
                    "21 runs\n",
                    which, seconds, static_cast<long long>(text.size()), synth.median(), synth.min(), synth.max());
    }

    // The pause: a plain socket on loopback hears the first packet.
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int base = 0;
    for (int b = 29000; b < 29500 && !base; b += 13) {
        a.sin_port = htons(std::uint16_t(b + 77));
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            base = b;
    }
    if (!base)
        return 1;
    Figures pause, handOver;
    PartnerVoice::Setup setup;
    setup.destinations = {INADDR_LOOPBACK};
    setup.basePort = base;
    const QByteArray record = answer_on(77);
    for (int i = 0; i < runs; ++i) {
        {
            PartnerVoice voice(setup, phrases, {});
            const auto answered = Clock::now();
            voice.answered(record, QStringLiteral("Coast Radio"));
            handOver.add(ms(Clock::now() - answered) * 1000);
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, setup.pauseMs + 5000) <= 0) {
                std::fprintf(stderr, "no voice packet\n");
                return 1;
            }
            pause.add(ms(Clock::now() - answered));
        }   // stops the phrase at once
        char buf[2048];
        while (::recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
        }
    }
    ::close(fd);
    std::printf("relay's thread handing a phrase over: median %.0f us (max %.0f)\n", handOver.median(), handOver.max());
    std::printf("pause from the DSC answer to the first voice packet (set: %d ms): median %.1f ms (min %.1f, max "
                "%.1f), %d runs\n",
                setup.pauseMs, pause.median(), pause.min(), pause.max(), runs);
    return 0;
}
