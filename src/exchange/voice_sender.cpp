// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/voice_sender.h"

#include "exchange/voice_senders.h"
#include "audio/gsm_codec.h"
#include "exchange/options.h"

#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>

#include <algorithm>

namespace exchange {
namespace {

using Clock = std::chrono::steady_clock;

double ms_between(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// ---- espeak-ng: one synthesis at a time in the process
std::mutex g_speech;
bool g_started = false;
QString g_problem;
std::vector<std::int16_t>* g_pcm = nullptr;   // where the callback appends, during a synthesis

int collect(short* wav, int samples, espeak_EVENT*)
{
    if (wav && samples > 0 && g_pcm)
        g_pcm->insert(g_pcm->end(), wav, wav + samples);
    return 0;   // go on
}

struct Terminate {
    ~Terminate()
    {
        std::lock_guard lock(g_speech);
        espeak_ng_Terminate();
    }
};


} // namespace

QString Speech::start()
{
    std::lock_guard lock(g_speech);
    if (g_started)
        return g_problem;
    g_started = true;
    espeak_ng_InitializePath(nullptr);   // ESPEAK_DATA_PATH, else the system's voice data
    espeak_ng_ERROR_CONTEXT context = nullptr;
    espeak_ng_STATUS status = espeak_ng_Initialize(&context);
    if (status == ENS_OK)
        status = espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr);
    if (status == ENS_OK)
        status = espeak_ng_SetVoiceByName("en");
    if (status == ENS_OK) {
        espeak_ng_SetParameter(espeakRATE, 160, 0);   // words a minute: an operator's steady pace
        espeak_SetSynthCallback(collect);
        static Terminate terminate;
    } else {
        char text[512] = {};
        espeak_ng_GetStatusCodeMessage(status, text, sizeof text);
        g_problem = QStringLiteral("espeak-ng cannot speak: no voice data (%1; the package espeak-ng-data "
                                   "holds it)")
                        .arg(QString::fromLocal8Bit(text));
    }
    if (context)
        espeak_ng_ClearErrorContext(&context);
    return g_problem;
}

bool Speech::synthesise(const QString& text, std::vector<std::int16_t>& pcm, int& rate)
{
    if (!start().isEmpty())
        return false;
    std::lock_guard lock(g_speech);
    const QByteArray utf8 = text.toUtf8();
    pcm.clear();
    g_pcm = &pcm;
    const espeak_ng_STATUS status = espeak_ng_Synthesize(utf8.constData(), std::size_t(utf8.size()) + 1, 0,
                                                         POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr);
    g_pcm = nullptr;
    rate = espeak_ng_GetSampleRate();
    return status == ENS_OK && rate > 0;
}

PartnerVoice::PartnerVoice(Setup setup, PartnerPhrases phrases, Notice notice)
    : m_setup(std::move(setup)), m_phrases(std::move(phrases)), m_notice(std::move(notice))
{
    const QString problem = Speech::start();
    m_canSpeak = problem.isEmpty();
    if (!m_canSpeak && m_notice)
        m_notice(QStringLiteral("%1; the practice partners answer by DSC only").arg(problem));
}

PartnerVoice::~PartnerVoice()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (auto& [number, channel] : m_channels)
        if (channel->thread.joinable())
            channel->thread.join();
}

void PartnerVoice::answered(const QByteArray& record, const QString& partner)
{
    if (!m_canSpeak)
        return;
    const auto spoken = spoken_answer(m_phrases, partner, record);
    if (!spoken)
        return;
    bool dropped = false;
    {
        std::lock_guard lock(m_mutex);
        auto& slot = m_channels[spoken->channel];
        if (!slot) {
            slot = std::make_unique<Channel>();
            slot->number = spoken->channel;
            Channel& c = *slot;
            c.thread = std::thread([this, &c] { run(c); });
        }
        if (slot->jobs.size() >= max_waiting)
            dropped = true;
        else
            slot->jobs.push_back(Job{partner, spoken->text, Clock::now()});
    }
    m_wake.notify_all();
    if (dropped && m_notice)
        m_notice(QStringLiteral("channel %1 is busy with the partners' phrases: %2 does not speak").arg(spoken->channel).arg(partner));
}

bool PartnerVoice::waitUntil(Clock::time_point t)
{
    std::unique_lock lock(m_mutex);
    return !m_wake.wait_until(lock, t, [this] { return m_stop; });
}

void PartnerVoice::run(Channel& channel)
{
    Clock::time_point free{};   // a partner waits for the channel to be quiet a moment
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || !channel.jobs.empty(); });
            if (m_stop)
                return;
            job = channel.jobs.front();
            channel.jobs.pop_front();
        }
        speak(channel.number, job, free);
        free = Clock::now() + std::chrono::milliseconds(1000);
    }
}

bool PartnerVoice::waitForQuiet(int channel, const QString& partner)
{
    if (!m_watch)
        return true;
    const auto quiet = std::chrono::milliseconds(m_setup.quietMs);
    const auto start = Clock::now();
    for (;;) {
        const auto heard = m_watch(channel);
        const auto now = Clock::now();
        if (!heard || now - *heard >= quiet)
            return true;
        if (now - start >= std::chrono::milliseconds(m_setup.giveUpMs)) {
            if (m_notice)
                m_notice(QStringLiteral("%1 gives up on channel %2: it was not quiet for %3 s in %4 s, the answer is not spoken")
                             .arg(partner)
                             .arg(channel)
                             .arg(m_setup.quietMs / 1000.0, 0, 'f', 1)
                             .arg(m_setup.giveUpMs / 1000.0, 0, 'f', 0));
            return false;
        }
        if (!waitUntil(std::min(*heard + quiet, start + std::chrono::milliseconds(m_setup.giveUpMs))))
            return false;
    }
}

void PartnerVoice::speak(int channel, const Job& job, Clock::time_point notBefore)
{
    // The synthesis runs during the pause, so a slow PC does not lengthen it.
    Said said;
    said.partner = job.partner;
    said.text = job.text;
    said.channel = channel;
    std::vector<std::int16_t> pcm;
    const auto t0 = Clock::now();
    if (!Speech::synthesise(job.text, pcm, said.rate) || pcm.empty())
        return;
    said.synthesisMs = ms_between(t0, Clock::now());
    said.samples = pcm.size();

    GsmEncoder encoder;
    VoiceSenders senders(m_setup.destinations, m_setup.basePort + channel);
    encoder.link(&senders);
    if (!encoder.open()) {
        if (m_notice)
            m_notice(QStringLiteral("%1 cannot speak on channel %2: no voice socket").arg(job.partner).arg(channel));
        return;
    }
    if (!waitUntil(std::max(notBefore, job.answeredAt + std::chrono::milliseconds(m_setup.pauseMs)))
        || !waitForQuiet(channel, job.partner)) {
        encoder.close();
        return;
    }
    // As a microphone delivers it: 20 ms of speech at a time, each when it has been "spoken".
    const AudioFormat format{WAVE_FORMAT_PCM, said.rate, 16, 1};
    const std::size_t step = std::size_t(std::max(1, said.rate / 50));
    const auto start = Clock::now();
    for (std::size_t at = 0; at < pcm.size(); at += step) {
        const auto due = start + std::chrono::microseconds(std::int64_t(at) * 1000000 / said.rate);
        if (at > 0 && !waitUntil(due))
            break;
        const std::size_t n = std::min(step, pcm.size() - at);
        encoder.write(format, reinterpret_cast<const char*>(pcm.data() + at), qsizetype(n * sizeof(std::int16_t)));
        if (at == 0) {
            said.startMs = ms_between(job.answeredAt, Clock::now());
            said.startedAt = QTime::currentTime();
        }
    }
    encoder.close();
    if (m_said)
        m_said(said);
}

std::unique_ptr<PartnerVoice> partner_voice_from_options(const Options& o, const QString& programFolder,
                                                         PartnerVoice::Notice notice)
{
    if (o.silentPartners)
        return nullptr;
    const QString path = o.phrasesFile.isEmpty() ? default_phrase_file(programFolder) : o.phrasesFile;
    QStringList problems;
    PartnerPhrases phrases = PartnerPhrases::read(path, &problems);
    if (notice)
        for (const QString& p : problems)
            notice(QStringLiteral("partner phrases: %1").arg(p));
    PartnerVoice::Setup setup;
    setup.basePort = o.voiceBasePort;
    setup.destinations.clear();
    // The partners speak where the records go: the broadcast address unless the exchange
    // delivers to chosen hosts only.
    for (const QHostAddress& d : o.destinations)
        if (d.protocol() == QAbstractSocket::IPv4Protocol)
            setup.destinations.push_back(d.toIPv4Address());
    if (setup.destinations.empty())
        setup.destinations.push_back(0xFFFFFFFFu);
    return std::make_unique<PartnerVoice>(std::move(setup), std::move(phrases), std::move(notice));
}

} // namespace exchange
