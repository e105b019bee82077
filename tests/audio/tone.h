// SPDX-License-Identifier: GPL-3.0-or-later
// Synthetic tones and the measurements the voice tests make on what comes out of a path.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tone {

inline std::vector<int16_t> sine(double freq, int rate, int samples, double amplitude = 8000.0,
                                 int channels = 1)
{
    std::vector<int16_t> out(size_t(samples) * size_t(channels));
    for (int i = 0; i < samples; ++i) {
        const auto v = int16_t(std::lround(amplitude * std::sin(2 * M_PI * freq * i / rate)));
        for (int c = 0; c < channels; ++c)
            out[size_t(i) * size_t(channels) + size_t(c)] = v;
    }
    return out;
}

// One channel of interleaved samples, as doubles.
inline std::vector<double> channel(const std::vector<int16_t>& pcm, int channels, int which)
{
    std::vector<double> out;
    out.reserve(pcm.size() / size_t(channels));
    for (size_t i = size_t(which); i < pcm.size(); i += size_t(channels))
        out.push_back(pcm[i]);
    return out;
}

// Power of the component at `freq` (least-squares fit of a sine and a cosine).
struct Fit {
    double a = 0, b = 0;
    double signal = 0, residual = 0;
};

inline Fit fit(const std::vector<double>& x, double freq, int rate)
{
    double ss = 0, cc = 0, sc = 0, xs = 0, xc = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double s = std::sin(2 * M_PI * freq * double(i) / rate);
        const double c = std::cos(2 * M_PI * freq * double(i) / rate);
        ss += s * s; cc += c * c; sc += s * c; xs += x[i] * s; xc += x[i] * c;
    }
    const double det = ss * cc - sc * sc;
    Fit f;
    if (det == 0)
        return f;
    f.a = (xs * cc - xc * sc) / det;
    f.b = (xc * ss - xs * sc) / det;
    for (size_t i = 0; i < x.size(); ++i) {
        const double m = f.a * std::sin(2 * M_PI * freq * double(i) / rate)
                       + f.b * std::cos(2 * M_PI * freq * double(i) / rate);
        f.signal += m * m;
        f.residual += (x[i] - m) * (x[i] - m);
    }
    return f;
}

// Signal-to-noise ratio in dB of a tone of `freq`: fitted tone against everything else.
inline double snr_db(const std::vector<double>& x, double freq, int rate)
{
    const Fit f = fit(x, freq, rate);
    if (f.residual <= 0)
        return 200.0;
    return 10 * std::log10(f.signal / f.residual);
}

// The same, block by block, and the median of the blocks: a path through real devices may drop or
// repeat a few samples when the machine is busy, and one such step in phase spoils a single fit of
// the whole signal while the tone is heard perfectly well on either side of it.
inline double median_block_snr_db(const std::vector<double>& x, double freq, int rate, size_t block)
{
    std::vector<double> snrs;
    for (size_t at = 0; block > 0 && at + block <= x.size(); at += block)
        snrs.push_back(snr_db(std::vector<double>(x.begin() + std::ptrdiff_t(at),
                                                  x.begin() + std::ptrdiff_t(at + block)), freq, rate));
    if (snrs.empty())
        return snr_db(x, freq, rate);
    std::sort(snrs.begin(), snrs.end());
    return snrs[snrs.size() / 2];
}

// The frequency (in steps of `step` Hz, from `lo` to `hi`) with the most energy.
inline double dominant(const std::vector<double>& x, int rate, double lo = 100, double hi = 5000,
                       double step = 10)
{
    double best = lo, bestPower = -1;
    for (double f = lo; f <= hi; f += step) {
        // Goertzel
        const double w = 2 * M_PI * f / rate;
        const double k = 2 * std::cos(w);
        double s1 = 0, s2 = 0;
        for (double v : x) {
            const double s0 = v + k * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
        if (power > bestPower) {
            bestPower = power;
            best = f;
        }
    }
    return best;
}

inline double rms(const std::vector<double>& x)
{
    double sum = 0;
    for (double v : x)
        sum += v * v;
    return x.empty() ? 0 : std::sqrt(sum / double(x.size()));
}

} // namespace tone
