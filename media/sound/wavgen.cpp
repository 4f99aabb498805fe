// Writes the game's own Move.wav (a soft wooden slide) and Done.wav (a short rising chime) into a
// folder.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int Rate = 44100;
constexpr double Tau = 2 * std::numbers::pi;

// 16-bit mono PCM, the WAVE every player reads. libsndfile writes no date or
// name into it, so each build makes the same bytes.
bool writeWav(const std::string &path, const std::vector<double> &samples)
{
    double peak = 1e-9;
    for (double s : samples)
        peak = std::max(peak, std::abs(s));
    std::vector<short> pcm;
    for (double s : samples)
        pcm.push_back(short(std::lround(s / peak * 0.6 * 32767))); // leaves headroom

    SF_INFO info{};
    info.samplerate = Rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    const bool written =
            sf_write_short(file, pcm.data(), sf_count_t(pcm.size())) == sf_count_t(pcm.size());
    return sf_close(file) == 0 && written;
}

// The last `ms` milliseconds fade to nothing so that a sound does not end in a click.
void fadeOut(std::vector<double> &s, int ms)
{
    const std::size_t fade = std::size_t(Rate) * ms / 1000;
    for (std::size_t i = 0; i < fade && i < s.size(); ++i)
        s[s.size() - 1 - i] *= double(i) / fade;
}

// A tile sliding into place: a low tone gliding down under a short, dull tap of noise.
std::vector<double> move()
{
    std::vector<double> s(Rate * 90 / 1000);
    std::uint32_t seed = 12345;
    double noise = 0, phase = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double t = double(i) / Rate;
        seed = seed * 1664525u + 1013904223u;
        // Low-passed, so it thuds rather than hisses.
        noise += 0.15 * ((seed >> 8) / 8388608.0 - 1.0 - noise);
        phase += Tau * (330.0 - 1200.0 * t) / Rate;
        const double attack = std::min(1.0, t / 0.003);
        s[i] = attack
                * (std::sin(phase) * std::exp(-t / 0.025) + 1.5 * noise * std::exp(-t / 0.008));
    }
    fadeOut(s, 15);
    return s;
}

// C, E, G and the octave struck one after another, each ringing with a soft overtone.
std::vector<double> done()
{
    const double notes[] = { 523.25, 659.26, 783.99, 1046.50 };
    std::vector<double> s(Rate * 900 / 1000);
    for (int n = 0; n < 4; ++n) {
        const std::size_t start = std::size_t(n) * Rate * 90 / 1000;
        for (std::size_t i = start; i < s.size(); ++i) {
            const double t = double(i - start) / Rate;
            const double ring = std::min(1.0, t / 0.004) * std::exp(-t / 0.18);
            s[i] += ring * (std::sin(Tau * notes[n] * t) + 0.3 * std::sin(2 * Tau * notes[n] * t));
        }
    }
    fadeOut(s, 60);
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: wavgen FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    return writeWav(folder + "/Move.wav", move()) && writeWav(folder + "/Done.wav", done()) ? 0 : 1;
}
