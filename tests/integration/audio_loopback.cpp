// Plays a channel through TMPCPlay on the default output and records the
// default input through TMPCRecord at the same time, then checks that the
// recording holds the played samples exactly (16 bits) after the latency
// found by cross-correlation. Run by audio_loopback_test.sh against a
// private PulseAudio server whose default source is its null sink's
// monitor. With --monitor it records from the null sink's monitor itself,
// as the input list offers it ("Monitor of ..."), instead of the default
// input. Exit codes: 0 pass, 1 fail, 77 no usable device.
#include <QCoreApplication>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <random>

#include "engine/audio/playback.h"
#include "engine/audio/recorder.h"
#include "engine/core/tdocument.h"
#include "gui/platform/qtaudiodevice.h"

using namespace tessal;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rate = 48000;
    const int n = rate;  // one second

    tdocument playdoc;
    tchannel& ch = playdoc.create_channel(0);
    ch.sampfreq = rate;
    ch.set_fsd(1);
    ch.needsdither = false;
    std::vector<int> played(n);
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> noise(-4000, 4000);
    tsinglearr toplay(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        played[i] = static_cast<int>(std::lround(12000 * std::sin(2 * M_PI * 440 * i / rate))) + noise(gen);
        toplay[i] = static_cast<float>(played[i] / 32766.0);
    }
    ch.set_samples(std::move(toplay));

    tqtaudiooutput out;
    tqtaudioinput in;
    if (out.device_names().empty() || in.device_names().empty()) {
        std::printf("no sound devices\n");
        return 77;
    }
    std::printf("output devices: %zu, input devices: %zu\n", out.device_names().size(),
                in.device_names().size());
    int inputid = -1;
    if (argc > 1 && std::string(argv[1]) == "--monitor") {
        const std::vector<std::string> names = in.device_names();
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i].rfind("Monitor of", 0) == 0 && inputid < 0) inputid = static_cast<int>(i);
        if (inputid < 0) {
            std::printf("FAIL: no monitor among the inputs\n");
            for (const std::string& name : names) std::printf("  input: %s\n", name.c_str());
            return 1;
        }
        std::printf("recording from \"%s\"\n", names[static_cast<std::size_t>(inputid)].c_str());
    }

    tplayback play(playdoc, out);
    tdocument recdoc;
    trecorder rec(recdoc, in);
    int result = 1;
    bool playstarted = false;
    try {
        trecordsetup setup;
        setup.rate = rate;
        setup.mode = tchannelmode::mono;
        setup.use24 = false;
        setup.lefttarget = 0;
        rec.MPCRecord1.set_DeviceID(inputid);
        rec.start(setup);
        play.changed = [&] {
            if (playstarted && !play.playing()) {
                playstarted = false;
                QTimer::singleShot(400, &app, [&] {
                    rec.stop();
                    app.quit();
                });
            }
        };
        // Play once the capture is live: the first delivered buffer says so.
        bool playrequested = false;
        rec.changed = [&] {
            if (playrequested || rec.leftcount == 0) return;
            playrequested = true;
            QTimer::singleShot(0, &app, [&] {
                try {
                    play.start(0, true, 0, 0, 0, 0);
                    playstarted = true;
                } catch (const std::exception& e) {
                    std::printf("play: %s\n", e.what());
                    app.exit(77);
                }
            });
        };
        QTimer::singleShot(20000, &app, [&] {
            std::printf("timed out\n");
            app.exit(2);
        });
        int rc = app.exec();
        if (rc != 0) return rc == 77 ? 77 : 1;
    } catch (const std::exception& e) {
        std::printf("device: %s\n", e.what());
        return 77;
    }
    if (!rec.stopreason.empty()) std::printf("recording stopped: %s\n", rec.stopreason.c_str());

    const tsinglearr got = recdoc.channel(0).samples_array();
    std::vector<int> recorded(got.size());
    for (std::size_t i = 0; i < got.size(); ++i) recorded[i] = static_cast<int>(std::lround(got[i] * 32768.0));
    std::printf("recorded %zu samples\n", recorded.size());
    if (const char* dump = std::getenv("TESSAL_LOOPBACK_DUMP")) {
        // Both signals as raw 32-bit integers, for a look from outside.
        if (FILE* f = std::fopen((std::string(dump) + "/played.raw").c_str(), "wb")) {
            std::fwrite(played.data(), 4, played.size(), f);
            std::fclose(f);
        }
        if (FILE* f = std::fopen((std::string(dump) + "/recorded.raw").c_str(), "wb")) {
            std::fwrite(recorded.data(), 4, recorded.size(), f);
            std::fclose(f);
        }
    }
    if (recorded.size() < static_cast<std::size_t>(n)) {
        std::printf("FAIL: recording shorter than the played signal\n");
        return 1;
    }
    // The lag where the first 100 ms match best.
    const int probe = rate / 10;
    long long best = -1;
    std::size_t bestlag = 0;
    for (std::size_t lag = 0; lag + n <= recorded.size(); ++lag) {
        long long s = 0;
        for (int k = 0; k < probe; ++k) s += static_cast<long long>(played[k]) * recorded[lag + k];
        if (s > best) {
            best = s;
            bestlag = lag;
        }
    }
    int mismatches = 0;
    for (int k = 0; k < n; ++k)
        if (recorded[bestlag + k] != played[k]) {
            if (mismatches < 5)
                std::printf("sample %d: played %d recorded %d\n", k, played[k], recorded[bestlag + k]);
            ++mismatches;
        }
    std::printf("latency %zu samples (%.1f ms), %d of %d samples differ\n", bestlag,
                bestlag * 1000.0 / rate, mismatches, n);
    result = mismatches == 0 ? 0 : 1;
    if (inputid >= 0) {
        // A monitor read by the server's parec is not bit-exact (the
        // server's own parec on the same monitor differs in about a tenth of
        // the samples): the first 100 ms played are found in it with a
        // normalised correlation of at least 0.9.
        double pp = 0, rr = 0;
        for (int k = 0; k < probe; ++k) {
            pp += static_cast<double>(played[k]) * played[k];
            rr += static_cast<double>(recorded[bestlag + k]) * recorded[bestlag + k];
        }
        const double r = best / std::sqrt(pp * rr);
        std::printf("correlation with the played signal %.3f\n", r);
        result = r >= 0.9 ? 0 : 1;
    }
    std::printf(result == 0 ? "PASS\n" : "FAIL\n");
    return result;
}
