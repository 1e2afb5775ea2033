// tessal-soak: a long run of recording, playback and editing at once, run by
// bench/soak.sh against a private PulseAudio server whose default input is
// its null sink's monitor (so what is played comes back bit for bit).
//
// One document as the main window keeps it: an undo history with its
// journal, a channel of signal made by a step ("Generate"), then a
// recording into a new channel as the record window makes it (one open
// step "Record", the recorder's deliveries written to the spool beside the
// journal). Meanwhile blocks of seeded 16-bit noise plus a tone are played
// through tplayback one after the other, each block with its own seed, and
// every few hundred milliseconds an editing command runs on the first
// channel (Cut, Paste, Levels x2 and x0.5, Reverse twice), each as its own
// nested step the way the window runs commands; Undo is tried as well and
// must be refused (the window has it off while a recording holds its step).
//
// Every 10 s one line: elapsed time, samples recorded, resident memory,
// undo steps and the open step's holdings. At the end: every played block
// must be in the recording bit for bit and in order, the recording's length
// must match the elapsed time within a stated tolerance, and the resident
// memory must not have grown by 50 MB beyond the recording's samples and
// the history's holdings. Then the recording is paused (the device stays
// open and the step stays open, as in a crash during a recording), the
// document is saved as a copy (a second document, so the journal stays),
// the spool and the journal are flushed and the program prints
// "READY <journal>" and waits to be killed.
//
// Usage: tessal-soak [--minutes M] [--out DIR] [--play-seconds S]
// --play-seconds: how long each play lasts (whole blocks of 2 s, each with
// its own seed; default one block a play, so playback starts every 2 s).
// Exit codes: 1 a check failed, 2 the run did not get going, 77 no usable
// sound device. It never exits 0 on its own: it waits for the kill.
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/audio/playback.h"
#include "engine/audio/recorder.h"
#include "engine/core/clipboard.h"
#include "engine/core/prompter.h"
#include "engine/core/tdocument.h"
#include "engine/document/documentfiles.h"
#include "engine/document/editcommands.h"
#include "engine/history/journal.h"
#include "engine/document/levels.h"
#include "engine/document/lifecycle.h"
#include "engine/history/recordspool.h"
#include "engine/history/undohistory.h"
#include "gui/platform/qtaudiodevice.h"

using namespace tessal;
using clk = std::chrono::steady_clock;

namespace {

constexpr int rate = 48000;
constexpr int blocklen = 2 * rate;            // two seconds a block
constexpr double editlength_s = 4.0;          // the edited channel
constexpr double sel_from = 3.6, sel_to = 3.7;  // what the commands work on
constexpr int edit_interval_ms = 300;
// Samples on their way from the server at the pause (its latency and a
// buffer or two of 2048 samples) and the first delivery's own samples.
constexpr double length_tolerance_s = 0.25;

long long rss_kb() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atoll(line.c_str() + 6);
    return -1;
}

// Block k: a tone of its own frequency plus seeded uniform noise, as 16-bit
// sample values.
std::vector<int> played_block(int k) {
    std::vector<int> v(blocklen);
    std::mt19937 gen(1000u + static_cast<unsigned>(k));
    std::uniform_int_distribution<int> noise(-4000, 4000);
    const double f = 200.0 + 37.0 * (k % 40);
    for (int i = 0; i < blocklen; ++i)
        v[static_cast<std::size_t>(i)] =
            static_cast<int>(std::lround(12000 * std::sin(2 * M_PI * f * i / rate))) + noise(gen);
    return v;
}

void copy_channel(const tchannel& from, tchannel& to) {
    to.adopt_samples(from.samples_slice(0, from.sample_count()));
    to.sampfreq = from.sampfreq;
    to.orgsampfreq = from.orgsampfreq;
    to.set_fsd(from.fsd());
    to.nbits = from.nbits;
    to.format = from.format;
    to.needsdither = false;
    to.xshift = from.xshift;
    to.set_name(from.name());
}

// Saves the channels as a 32-bit float WAVE file through the program's own
// save, from a second document so that the journal of the first stays;
// `first`, when given, replaces the first channel's samples.
bool save_copy(const std::vector<const tchannel*>& chans, const std::string& path,
               const std::vector<float>* first = nullptr) {
    tdocument copy;
    tfixedprompter prompter(tanswer::yes);
    tdocumentlifecycle life(copy, prompter);
    tdocumentfiles files(copy, life, prompter);
    for (std::size_t i = 0; i < chans.size(); ++i) {
        tchannel& ch = copy.create_channel(static_cast<int>(i));
        copy_channel(*chans[i], ch);
        if (i == 0 && first) ch.set_samples(tsinglearr(first->begin(), first->end()));
    }
    return files.save_file(path, 32, 0, 0, {}, tFormat::ieeefloat);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    double minutes = 30;
    std::string outdir = ".";
    int blocksperplay = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--minutes")
            minutes = std::atof(argv[i + 1]);
        else if (a == "--out")
            outdir = argv[i + 1];
        else if (a == "--play-seconds")
            blocksperplay = std::max(1, static_cast<int>(std::atof(argv[i + 1]) * rate / blocklen));
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    tqtaudiooutput out;
    tqtaudioinput in;
    if (out.device_names().empty() || in.device_names().empty()) {
        std::printf("no sound devices\n");
        return 77;
    }

    // The document, its history and the journal, wired as the window does.
    tdocument doc;
    tundohistory history(doc);
    std::unique_ptr<tjournal> journal;
    bool journalbroken = false;
    auto start_journal = [&] {
        const std::string folder = journal_folder();
        if (folder.empty()) return;
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        const std::string name = std::to_string(::getpid()) + "-" +
                                 std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()) +
                                 ".tjournal";
        try {
            journal = std::make_unique<tjournal>((std::filesystem::path(folder) / name).string(), doc.filename());
        } catch (const std::exception& e) {
            std::printf("no journal: %s\n", e.what());
            journalbroken = true;
        }
    };
    history.onstep = [&](const tundohistory::tstep& st) {
        if (journalbroken) return;
        if (!journal) start_journal();
        if (journal) journal->append_step(doc, st);
    };
    history.onmove = [&](bool undo) {
        if (journal)
            journal->append_move(undo);
        else
            journalbroken = true;
    };
    history.oncommand = [&](const tundohistory::tcommand& c) {
        if (journalbroken) return;
        if (!journal) start_journal();
        if (journal) journal->append_command(doc, history, c);
    };
    history.oncommandsdropped = [&] {
        if (journal) journal->append_commands_dropped();
    };
    history.onrestart = [&] {
        if (journal) journal->discard();
        journal.reset();
        journalbroken = false;
    };

    // Channel 0: four seconds of 16-bit-valued signal, made as one step.
    std::vector<float> editoriginal;
    history.begin("Generate");
    {
        tchannel& ch = doc.create_channel(0);
        ch.sampfreq = ch.orgsampfreq = rate;
        ch.set_fsd(1);
        ch.nbits = 16;
        ch.needsdither = false;
        ch.set_name("Edited");
        std::mt19937 gen(99);
        std::uniform_int_distribution<int> noise(-3000, 3000);
        const int n = static_cast<int>(editlength_s * rate);
        tsinglearr x(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i)
            x[static_cast<std::size_t>(i)] =
                static_cast<float>((std::lround(8000 * std::sin(2 * M_PI * 150.0 * i / rate)) + noise(gen)) / 32768.0);
        editoriginal.assign(x.begin(), x.end());
        ch.set_samples(std::move(x));
        doc.set_modified(true);
    }
    history.commit();
    if (!journal) {
        std::printf("the journal was not started\n");
        return 2;
    }
    std::printf("journal %s\n", journal->path().c_str());

    tmemoryblockclipboard clipboard;
    tfixedprompter prompter(tanswer::yes);
    teditcommands edit(doc, prompter, clipboard);

    // Playback from a document of its own: one block at a time.
    tdocument playdoc;
    {
        tchannel& ch = playdoc.create_channel(0);
        ch.sampfreq = rate;
        ch.set_fsd(1);
        ch.needsdither = false;
        // Its samples are there before the memory is first read.
        ch.set_samples(tsinglearr(static_cast<std::size_t>(blocksperplay) * blocklen, 0.0f));
    }
    tplayback play(playdoc, out);
    trecorder rec(doc, in);
    std::unique_ptr<trecordspool> spool;
    rec.stored = [&](int side, const float* p, std::size_t n) {
        if (spool && side == 0) spool->append(0, p, n);
    };

    int blocksplayed = 0;   // blocks started
    int playsstarted = 0;
    bool playing = false;
    bool ending = false;    // no more blocks
    bool finished = false;
    long long editsdone = 0, editsfailed = 0, undosrefused = 0, undosallowed = 0;
    int lastop = -1;
    long long rss_start = -1;
    const clk::time_point t0 = clk::now();
    clk::time_point trec, tfirst;
    long long firstcount = 0;
    auto elapsed = [&] { return std::chrono::duration<double>(clk::now() - t0).count(); };

    // The recording, as the record window starts it.
    history.begin("Record");
    try {
        trecordsetup setup;
        setup.rate = rate;
        setup.mode = tchannelmode::mono;
        setup.use24 = false;
        setup.lefttarget = doc.totnchans();  // "Record to new channel"
        trec = clk::now();
        rec.start(setup);
        spool = std::make_unique<trecordspool>(spool_path(journal->path(), 1), doc,
                                               std::vector<int>{rec.leftchanno},
                                               std::vector<bool>{rec.madechannel[0]});
    } catch (const std::exception& e) {
        std::printf("device: %s\n", e.what());
        history.rollback();
        return 77;
    }
    history.hold_open();
    const int recchan = rec.leftchanno;
    std::printf("recording into channel %d, spool %s\n", recchan, spool->path().c_str());

    // Each play holds `blocksperplay` blocks one after the other.
    auto next_block = [&] {
        if (ending) return;
        tchannel& ch = playdoc.channel(0);
        for (int b = 0; b < blocksperplay; ++b) {
            const std::vector<int> v = played_block(blocksplayed + b);
            std::vector<float> x(v.size());
            for (std::size_t i = 0; i < v.size(); ++i) x[i] = static_cast<float>(v[i] / 32766.0);
            ch.write_samples(static_cast<std::int64_t>(b) * blocklen, x.data(), x.size());
        }
        try {
            play.start(0, true, 0, 0, 0, 0);
            playing = true;
            blocksplayed += blocksperplay;
            ++playsstarted;
        } catch (const std::exception& e) {
            std::printf("play: %s\n", e.what());
            app.exit(77);
        }
    };

    // One editing command, as the window runs it: its own nested step.
    auto edit_once = [&] {
        const int op = static_cast<int>((lastop + 1) % 6);
        static const char* const names[6] = {"Cut", "Paste", "Levels", "Levels", "Reverse", "Reverse"};
        // The window's Undo is off while the recording holds its step.
        if (history.can_undo()) ++undosallowed;
        if (history.undo())
            ++undosallowed;
        else
            ++undosrefused;
        history.begin(names[op]);
        bool ok = false;
        try {
            doc.selectmode = selmono;
            doc.set_thischanno(0);
            doc.theglobal.set_selection(sel_from, op == 1 ? sel_from : sel_to);
            switch (op) {
            case 0: ok = edit.cut(); break;
            case 1: ok = edit.paste(); break;
            case 2: ok = edit_levels(doc, tlevelchange{constantfactor, 2.0, 0, 0}); break;
            case 3: ok = edit_levels(doc, tlevelchange{constantfactor, 0.5, 0, 0}); break;
            default: ok = edit.reverse(); break;
            }
            history.commit();
        } catch (const std::exception& e) {
            std::printf("edit %s: %s\n", names[op], e.what());
            history.rollback();
        }
        ++editsdone;
        if (!ok) ++editsfailed;
        lastop = op;
    };

    auto report = [&] {
        std::printf("t=%7.1f s  recorded=%lld samples (%.1f s)  VmRSS=%lld kB  undo steps=%zu  "
                    "open step=%.1f MB  blocks=%d in %d plays  edits=%lld\n",
                    elapsed(), rec.leftcount, rec.leftcount / double(rate), rss_kb(),
                    history.undo_count(), history.open_bytes() / 1048576.0, blocksplayed, playsstarted,
                    editsdone);
    };

    QTimer edittimer;
    QObject::connect(&edittimer, &QTimer::timeout, [&] { edit_once(); });
    QTimer reporttimer;
    QObject::connect(&reporttimer, &QTimer::timeout, report);

    int exitcode = 0;
    auto finish = [&] {
        if (finished) return;
        finished = true;
        edittimer.stop();
        reporttimer.stop();
        // End on a change that is not taken back: the edited channel then
        // differs from what it was before the recording.
        while (lastop != 2) edit_once();
        rec.set_paused(true);
        // The length is measured from the first delivery: the device takes
        // a while to open, and nothing is captured before it delivers.
        const double recseconds = std::chrono::duration<double>(clk::now() - tfirst).count();
        report();
        const tchannel& got = doc.channel(recchan);
        const long long count = rec.leftcount;
        std::printf("edits: %lld (%lld failed), undo refused %lld times, allowed %lld times\n", editsdone,
                    editsfailed, undosrefused, undosallowed);

        // (a) every block in order, bit for bit.
        long long pos = 0;
        int found = 0, missing = 0, damaged = 0;
        long long firstat = -1;
        for (int k = 0; k < blocksplayed; ++k) {
            const std::vector<int> want = played_block(k);
            auto value = [&](long long i) { return static_cast<int>(std::lround(got.sample(i) * 32768.0)); };
            long long at = -1;
            const long long limit = std::min<long long>(count - blocklen, pos + 10LL * rate);
            for (long long p = pos; p <= limit; ++p) {
                bool head = true;
                for (int j = 0; j < 16 && head; ++j) head = value(p + j) == want[static_cast<std::size_t>(j)];
                if (head) {
                    at = p;
                    break;
                }
            }
            if (at < 0) {
                if (missing < 20)
                    std::printf("block %d not found after sample %lld (%.1f s)\n", k, pos, pos / double(rate));
                ++missing;
                continue;
            }
            long long bad = 0;
            for (int j = 0; j < blocklen; ++j)
                if (value(at + j) != want[static_cast<std::size_t>(j)]) ++bad;
            if (bad) {
                if (damaged < 20)
                    std::printf("block %d at %lld (%.1f s): %lld samples differ\n", k, at, at / double(rate), bad);
                ++damaged;
            } else {
                ++found;
            }
            if (firstat < 0) firstat = at;
            pos = at + blocklen;
        }
        const bool blocksok = missing == 0 && damaged == 0 && found == blocksplayed && found > 0;
        std::printf("CHECK blocks %s: %d of %d played blocks found bit-exact in order (%d missing, %d damaged), "
                    "first at %.3f s\n",
                    blocksok ? "PASS" : "FAIL", found, blocksplayed, missing, damaged, firstat / double(rate));
        const double diff = (count - firstcount) / double(rate) - recseconds;
        const bool lengthok = std::abs(diff) <= length_tolerance_s;
        std::printf("CHECK length %s: %lld samples = %.3f s recorded, %lld of them = %.3f s after the first "
                    "delivery, in %.3f s by the clock: difference %+.3f s (tolerance %.2f s)\n",
                    lengthok ? "PASS" : "FAIL", count, count / double(rate), count - firstcount,
                    (count - firstcount) / double(rate), recseconds, diff, length_tolerance_s);

        // (b) memory.
        const long long rss_end = rss_kb();
        const double samplesmb = got.sample_count() * sizeof(float) / 1048576.0;
        const double historymb = (history.memory_bytes() + history.open_bytes()) / 1048576.0;
        const double grown = (rss_end - rss_start) / 1024.0;
        const double beyond = grown - samplesmb - historymb;
        const bool memok = beyond < 50.0;
        std::printf("CHECK memory %s: VmRSS %.1f MB after start-up, %.1f MB at the end, grown %.1f MB; minus the "
                    "recorded samples %.1f MB (%lld floats) and the history's holdings %.1f MB "
                    "(kept steps %.1f MB, open Record step %.1f MB) leaves %.1f MB (limit 50 MB)\n",
                    memok ? "PASS" : "FAIL", rss_start / 1024.0, rss_end / 1024.0, grown, samplesmb,
                    static_cast<long long>(got.sample_count()), historymb,
                    history.memory_bytes() / 1048576.0, history.open_bytes() / 1048576.0, beyond);

        // (c) the copy to compare the recovered document with, and the edited
        // channel as it was before the recording.
        const tchannel& edited = doc.channel(0);
        const tsinglearr editednow = edited.samples_array();
        bool editchanged = editednow.size() != editoriginal.size() ||
                           !std::equal(editoriginal.begin(), editoriginal.end(), editednow.begin());
        std::printf("edited channel: %zu samples, %s the one before the recording\n", editednow.size(),
                    editchanged ? "differs from" : "equals");
        const std::string copypath = (std::filesystem::path(outdir) / "copy.wav").string();
        const std::string beforepath = (std::filesystem::path(outdir) / "before.wav").string();
        if (!save_copy({&doc.channel(0), &doc.channel(recchan)}, copypath) ||
            !save_copy({&doc.channel(0), &doc.channel(recchan)}, beforepath, &editoriginal)) {
            std::printf("the copies could not be saved\n");
            app.exit(1);
            return;
        }
        spool->flush();
        journal->flush();
        exitcode = blocksok && lengthok && memok ? 0 : 1;
        std::printf("CHECKS %s\n", exitcode == 0 ? "PASS" : "FAIL");
        std::printf("READY %s %s\n", journal->path().c_str(), copypath.c_str());
    };

    play.changed = [&] {
        if (playing && !play.playing()) {
            playing = false;
            if (ending)
                QTimer::singleShot(1500, &app, finish);
            else
                QTimer::singleShot(0, &app, next_block);
        }
    };
    bool started = false;
    rec.changed = [&] {
        if (started || rec.leftcount == 0) return;
        started = true;
        tfirst = clk::now();
        firstcount = rec.leftcount;
        rss_start = rss_kb();
        std::printf("recording live %.3f s after the start, first delivery %lld samples; VmRSS after start-up %lld kB\n",
                    std::chrono::duration<double>(tfirst - trec).count(), firstcount, rss_start);
        QTimer::singleShot(0, &app, next_block);
        edittimer.start(edit_interval_ms);
        reporttimer.start(10000);
    };
    QTimer::singleShot(static_cast<int>(minutes * 60000), &app, [&] {
        ending = true;
        if (!playing) QTimer::singleShot(1500, &app, finish);
    });
    QTimer::singleShot(20000, &app, [&] {
        if (!started) {
            std::printf("the recording did not start\n");
            app.exit(2);
        }
    });
    const int rc = app.exec();
    if (!rec.stopreason.empty()) std::printf("recording stopped: %s\n", rec.stopreason.c_str());
    return rc != 0 ? rc : exitcode;
}
