// Soundcard buffers for one hour of 48 kHz stereo, as a share of real time
// (the counter "percent_of_realtime" = 100 * CPU time / 3600 s; the record
// figure includes making the random test samples the fake device delivers).
// audio_play_hour: TMPCPlay filling every 16-bit buffer through the main
// window's playback (a 10 s stereo pair looped for an hour, scaled and
// converted per sample) on a device that finishes each buffer at once.
// audio_record_hour: TMPCRecord delivering 24-bit buffers into two new
// channels with meters, overviews and overload checks, the channels
// growing for the whole hour (1.4 GB of samples).
#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <deque>

#include "engine/audio/playback.h"
#include "engine/audio/recorder.h"
#include "engine/core/tdocument.h"

namespace {

using namespace tessal;

constexpr int rate = 48000;
constexpr double hour_s = 3600;

class tinstantoutput : public taudiooutput {
public:
    std::deque<int> users;
    taudiolistener* l = nullptr;
    long long frames = 0;
    std::vector<std::string> device_names() override { return {"bench"}; }
    int open(int, const taudioformat&, taudiolistener* li) override { l = li; return 0; }
    int write(const void*, std::size_t bytes, int user) override {
        frames += static_cast<long long>(bytes / 4);
        users.push_back(user);
        return 0;
    }
    int pause() override { return 0; }
    int restart() override { return 0; }
    int reset() override { users.clear(); return 0; }
    int close() override { l->device_closed(); return 0; }
    std::string error_text(int) override { return ""; }
};

class tinstantinput : public taudioinput {
public:
    struct q { void* data; std::size_t cap; int user; };
    std::deque<q> queued;
    taudiolistener* l = nullptr;
    std::vector<std::string> device_names() override { return {"bench"}; }
    int open(int, const taudioformat&, taudiolistener* li) override { l = li; return 0; }
    int add_buffer(void* d, std::size_t c, int u) override { queued.push_back({d, c, u}); return 0; }
    int start() override { return 0; }
    int reset() override { queued.clear(); return 0; }
    int close() override { l->device_closed(); return 0; }
    std::string error_text(int) override { return ""; }
};

void audio_play_hour(benchmark::State& state) {
    tdocument doc;
    for (int c = 0; c < 2; ++c) {
        tchannel& ch = doc.create_channel(c);
        ch.sampfreq = rate;
        ch.set_fsd(1);
        ch.stereochanno = 1 - c;
        tsinglearr x(10 * rate);
        for (std::size_t k = 0; k < x.size(); ++k) x[k] = static_cast<float>(0.5 * std::sin(0.01 * k * (c + 1)));
        ch.set_samples(std::move(x));
    }
    double cpu_s = 0;
    for (auto _ : state) {
        std::clock_t c0 = std::clock();
        tinstantoutput dev;
        tplayback play(doc, dev);
        play.loop = true;
        play.start(0, true, 0, 0, 0, 0);
        while (dev.frames < hour_s * rate && !dev.users.empty()) {
            int u = dev.users.front();
            dev.users.pop_front();
            dev.l->buffer_done(u, 0);
        }
        play.stop();
        cpu_s += static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
        benchmark::DoNotOptimize(dev.frames);
    }
    state.counters["percent_of_realtime"] = 100.0 * cpu_s / state.iterations() / hour_s;
}
BENCHMARK(audio_play_hour)->Unit(benchmark::kSecond)->Iterations(1)->MeasureProcessCPUTime();

void audio_record_hour(benchmark::State& state) {
    double cpu_s = 0;
    for (auto _ : state) {
        std::clock_t c0 = std::clock();
        tdocument doc;
        tinstantinput dev;
        trecorder rec(doc, dev);
        trecordsetup s;
        s.rate = rate;
        s.lefttarget = 0;
        s.righttarget = 1;
        rec.start(s);
        long long frames = 0;
        std::int32_t v = 0;
        while (frames < hour_s * rate) {
            auto b = dev.queued.front();
            dev.queued.pop_front();
            auto* p = static_cast<tint24*>(b.data);
            std::size_t n = b.cap / 3;
            for (std::size_t k = 0; k < n; ++k) {
                v = (v * 1103515245 + 12345) & 0x7FFFFF;
                p[k] = make_int24(v - 0x400000);
            }
            frames += static_cast<long long>(n / 2);
            dev.l->buffer_done(b.user, b.cap);
        }
        rec.stop();
        cpu_s += static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
        std::int64_t recorded = doc.channel(1).sample_count();
        benchmark::DoNotOptimize(recorded);
    }
    state.counters["percent_of_realtime"] = 100.0 * cpu_s / state.iterations() / hour_s;
}
BENCHMARK(audio_record_hour)->Unit(benchmark::kSecond)->Iterations(1)->MeasureProcessCPUTime();

}  // namespace
