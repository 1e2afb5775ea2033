#include "engine/audio/recorder.h"

#include <algorithm>
#include <cmath>

#include "engine/core/tdocument.h"

namespace tessal {

int overload_threshold(double margin_dB, int maxcount) {
    return static_cast<int>(std::lround(std::pow(10.0, -margin_dB / 20.0) * maxcount));
}

void add_overload(std::vector<toverload>& list, long long a, double fs) {
    long long gap = std::llround(0.25 * fs);
    if (list.empty() || a >= list.back().start + list.back().length + gap)
        list.push_back({a, 1});
    else
        list.back().length = a - list.back().start;
}

trecorder::trecorder(tdocument& doc, taudioinput& device, bool advanced)
    : MPCRecord1(device), fdoc(doc), fadvanced(advanced) {
    MPCRecord1.set_nBits(24);
    MPCRecord1.OnFetch = [this](const TWaveChunk& a, int used, bool&) { fetch16(a.data(), used); };
    MPCRecord1.OnFetch24 = [this](const tint24arr& a, int used, bool&) { fetch24(a.data(), used); };
    MPCRecord1.OnClosed = [this] { closed(); };
    fdoc.theglobal.add_listener(this);
}

trecorder::~trecorder() {
    MPCRecord1.OnClosed = nullptr;
    fdoc.theglobal.remove_listener(this);
}

int trecorder::target_index(int k) const {
    const tchannel* t = ftarget[static_cast<std::size_t>(k)];
    if (!t) return -1;
    for (int i = 0; i < fdoc.totnchans(); ++i)
        if (&fdoc.channel(i) == t) return i;
    return -1;
}

void trecorder::channel_changed(const tchannelchange& change) {
    if (change.kind != tchannelchange::tkind::removed || !frecording) return;
    // The channel that left still exists while this is told: what its side
    // recorded is taken from it now, and the side writes on into a buffer
    // of its own until the recording ends.
    for (int k = 0; k < 2; ++k) {
        tchannel* t = ftarget[static_cast<std::size_t>(k)];
        if (!t || target_index(k) >= 0) continue;
        const long long n = k == 0 ? leftcount : rightcount;
        const std::int64_t have = std::min<std::int64_t>(t->sample_count(), std::max(n, 0LL));
        // What the side recorded so far, as long as it is: the buffer takes
        // the rest of the recording as well.
        forphaned[k] = t->samples_slice(0, have);
        forphanname[k] = t->name();
        forphan[k] = true;
        ftarget[k] = nullptr;
        targetleft = true;
    }
    leftchanno = forphan[0] ? -1 : target_index(0);
    rightchanno = forphan[1] ? -1 : target_index(1);
}

void trecorder::prepare_channel(int index, const std::string& name, int nbits, double rate,
                                int partner) {
    if (fdoc.totnchans() <= index) fdoc.set_totnchans(index + 1);
    tchannel& ch = fdoc.channel(index);
    ch.set_channo(index);
    ch.set_name(name);
    ch.filename = "<untitled>";
    fdoc.samples_changing(ch, 0, static_cast<std::size_t>(ch.sample_count()));
    ch.set_samples({});
    ch.set_fsd(1);
    ch.nbits = nbits;
    ch.format = tFormat::pcm;
    ch.needsdither = false;
    ch.sampfreq = rate;
    ch.orgsampfreq = rate;
    ch.xshift = 0;
    ch.yshift = 0;
    ch.labels.clear();
    ch.set_origin(origin);
    ch.stereochanno = partner;
    ch.sigcachedirty = true;
    ch.bmpdirty = true;
}

void trecorder::start(const trecordsetup& setup) {
    if (frecording) {
        stop();
        return;
    }
    peak = {0, 0};
    level = {0, 0};
    peakhold = {0, 0};
    stopreason.clear();
    frate = setup.rate;
    int nbits = setup.use24 ? 24 : 16;
    int nchans = setup.mode == tchannelmode::mono ? 1 : 2;
    MPCRecord1.set_nBits(nbits);
    MPCRecord1.set_nChans(nchans);
    MPCRecord1.set_sfTot(static_cast<int>(std::lround(setup.rate * nchans)));
    if (!fadvanced)
        MPCRecord1.set_nChunkSamples(static_cast<unsigned>(record_chunk_samples(MPCRecord1.sfTot())));
    for (tRingBuffer& r : ringbuffer) {
        r.set_nsamples(static_cast<int>(std::lround(2 * setup.rate)));
        r.clear_buffers();
    }
    overloads = {};
    channelmode = setup.mode;
    testing = setup.test;
    paused = false;
    leftchanno = rightchanno = -1;
    ftarget = {nullptr, nullptr};
    forphan = {false, false};
    forphaned = {tsamplestore(fdoc.block_cache()), tsamplestore(fdoc.block_cache())};
    forphanname = {};
    targetleft = false;
    fnbits = nbits;
    fcompanions = setup.companions;
    madechannel = {false, false};
    leftcount = rightcount = 0;
    if (!testing) {
        int l = setup.lefttarget, r = setup.righttarget;
        int n = fdoc.totnchans();
        switch (channelmode) {
        case tchannelmode::mono:
        case tchannelmode::left: leftchanno = l; break;
        case tchannelmode::right: rightchanno = r; break;
        case tchannelmode::stereo:
            leftchanno = l;
            rightchanno = r;
            if (l == r) {
                if (l >= n) {
                    rightchanno = l + 1;
                } else {
                    rightchanno = -1;
                    channelmode = tchannelmode::left;
                }
            }
            break;
        }
        bool pair = setup.companions && leftchanno >= 0 && rightchanno >= 0;
        madechannel = {leftchanno >= n, rightchanno >= n};
        if (leftchanno >= 0)
            prepare_channel(leftchanno, "Left", nbits, setup.rate, pair ? rightchanno : -1);
        if (rightchanno >= 0)
            prepare_channel(rightchanno, "Right", nbits, setup.rate, pair ? leftchanno : -1);
        // A channel that was a target's partner is nobody's now: the link
        // holds on both channels or on neither.
        for (int i = 0; i < fdoc.totnchans(); ++i) {
            if (i == leftchanno || i == rightchanno) continue;
            int& p = fdoc.channel(i).stereochanno;
            if (p >= 0 && (p == leftchanno || p == rightchanno)) p = -1;
        }
        ftarget[0] = leftchanno >= 0 ? &fdoc.channel(leftchanno) : nullptr;
        ftarget[1] = rightchanno >= 0 ? &fdoc.channel(rightchanno) : nullptr;
        if (leftchanno >= 0) {
            TAxis& a = fdoc.channel(leftchanno).axis;
            double f = fdoc.channel(leftchanno).fsd();
            a.SetMaxHiValue(1.7 * f);
            a.SetMinLoValue(-1.7 * f);
            a.SetHiValue(1.2 * f);
            a.SetLoValue(-1.2 * f);
        }
        if (rightchanno >= 0) {
            TAxis& a = fdoc.channel(rightchanno).axis;
            double f = fdoc.channel(rightchanno).fsd();
            a.SetMaxHiValue(1.7 * f);
            a.SetMinLoValue(-1.7 * f);
            a.SetHiValue(1.7 * f);
            a.SetLoValue(-1.7 * f);
        }
        fdoc.set_modified(true);
    }
    frecording = true;
    if (changed) changed();
    try {
        MPCRecord1.Run();
    } catch (...) {
        frecording = false;
        if (changed) changed();
        throw;
    }
}

void trecorder::stop() {
    // A stop asked for while the device is stopping (from a buffer it hands
    // back) is the same stop.
    if (fstopping) return;
    fstopping = true;
    try {
        MPCRecord1.Stop();
    } catch (...) {
        fstopping = false;
        throw;
    }
    fstopping = false;
}

namespace {

// Puts p[0..n) at sample `at` of samples `have` long, through write(at, p, n)
// and append(p, n): a gap before `at` reads as silence, samples already
// there are overwritten, the rest is appended.
template <class Write, class Append>
void place(std::int64_t have, std::int64_t at, const float* p, std::size_t n, Write&& write, Append&& append) {
    if (have < at) {
        const std::vector<float> silence(static_cast<std::size_t>(at - have), 0.0f);
        append(silence.data(), silence.size());
    }
    const auto over = static_cast<std::size_t>(std::clamp<std::int64_t>(have - at, 0, static_cast<std::int64_t>(n)));
    if (over > 0) write(at, p, over);
    if (n > over) append(p + over, n - over);
}

}  // namespace

void trecorder::put(int k, tchannel* ch, long long at) {
    const std::vector<float>& buf = fbuf[static_cast<std::size_t>(k)];
    if (buf.empty()) return;
    if (!ch) {
        tsamplestore& s = forphaned[static_cast<std::size_t>(k)];
        place(s.size(), at, buf.data(), buf.size(),
              [&s](std::int64_t a, const float* p, std::size_t n) { s.write(a, p, n); },
              [&s](const float* p, std::size_t n) { s.append(p, n); });
        return;
    }
    // The samples go to their place in the recording even when the channel
    // changed length meanwhile, as a recording into a longer channel does.
    // Appending marks only the cache blocks at the end.
    place(ch->sample_count(), at, buf.data(), buf.size(),
          [ch](std::int64_t a, const float* p, std::size_t n) { ch->write_samples(a, p, n); },
          [ch](const float* p, std::size_t n) { ch->append_samples(p, n); });
}

template <typename T, typename Get>
void trecorder::deliver(const T* arr, int used, double scale, int maxcount, int overviewshift,
                        Get get) {
    for (double& p : peak) p = fadvanced ? p * 0.9 : p * 0.9 + 0.1;
    bool store = frecording && !paused && !testing;
    int threshold = overload_threshold(overloadmargin_dB, maxcount);
    bool mono = channelmode == tchannelmode::mono;
    // Each side's samples go to its channel, wherever it is now, or to the
    // buffer of a side whose channel left.
    tchannel* lch = store ? ftarget[0] : nullptr;
    tchannel* rch = store ? ftarget[1] : nullptr;
    const std::array<tchannel*, 2> chans{lch, rch};
    // Each side's samples are converted into a buffer of the delivery, which
    // then goes to the channel (or the side's own buffer) in one piece.
    std::array<bool, 2> take{false, false};
    for (int k = 0; k < 2; ++k) {
        take[k] = chans[k] || (store && forphan[k]);
        fbuf[k].clear();
        if (take[k]) fbuf[k].reserve(static_cast<std::size_t>(mono ? used : (used + 1 - k) / 2));
    }
    std::array<double, 2> mx{0, 0};
    const std::array<long long, 2> from{leftcount, rightcount};
    for (int i = 0; i < used; ++i) {
        std::int32_t s = get(arr[i]);
        int side = mono ? 0 : (i & 1);
        if (take[side]) {
            std::vector<float>& buf = fbuf[side];
            const long long at = from[side] + static_cast<long long>(buf.size());
            buf.push_back(static_cast<float>(s / scale));
            if (!fadvanced && (s >= threshold || s <= -threshold))
                add_overload(overloads[side], at, frate);
        }
        if (!fadvanced)
            ringbuffer[side].add_sample(static_cast<std::int16_t>(s >> overviewshift));
        mx[side] = std::max(mx[side], std::abs(static_cast<double>(s)));
    }
    for (int k = 0; k < 2; ++k) {
        if (!take[k]) continue;
        put(k, chans[k], from[k]);
        (k == 0 ? leftcount : rightcount) += static_cast<long long>(fbuf[k].size());
    }
    if (lch) lch->bmpdirty = true;
    if (rch) rch->bmpdirty = true;
    if (stored) {
        for (int k = 0; k < 2; ++k)
            if (chans[k] && !fbuf[k].empty()) stored(k, fbuf[k].data(), fbuf[k].size());
    }
    for (int k = 0; k < 2; ++k) {
        peak[k] = std::max(peak[k], mx[k]);
        level[k] = peak[k] / scale;
        peakhold[k] = std::max(peakhold[k], level[k]);
    }
    if (frecording) {
        leftchanno = forphan[0] ? -1 : target_index(0);
        rightchanno = forphan[1] ? -1 : target_index(1);
    }
    if (changed) changed();
    // A target left: the recording ends here; closing keeps the rest.
    if (frecording && targetleft) stop();
}

void trecorder::fetch16(const std::int16_t* arr, int used) {
    deliver(arr, used, 32768.0, 32767, 0, [](std::int16_t s) { return std::int32_t{s}; });
}

void trecorder::fetch24(const tint24* arr, int used) {
    deliver(arr, used, 8388608.0, 8388607, 8, [](const tint24& s) { return int24_value(s); });
}

void trecorder::closed() {
    frecording = false;
    stopreason = MPCRecord1.failure();
    const long long counts[2] = {leftcount, rightcount};
    const std::array<tchannel*, 2> live = ftarget;
    std::array<tchannel*, 2> done{nullptr, nullptr};
    for (int k = 0; k < 2; ++k) {
        if (forphan[k]) {
            // The side's channel left: it comes back as a new channel.
            tchannel& ch = fdoc.create_channel(fdoc.totnchans());
            prepare_channel(ch.channo(), forphanname[k].empty() ? (k ? "Right" : "Left") : forphanname[k],
                            fnbits, frate, -1);
            tsamplestore& s = forphaned[k];
            const std::int64_t want = std::max(counts[k], 0LL);
            if (s.size() > want) s.erase(want, s.size());
            place(s.size(), want, nullptr, 0, [](std::int64_t, const float*, std::size_t) {},
                  [&s](const float* p, std::size_t n) { s.append(p, n); });
            ch.adopt_samples(std::move(s));
            if (k == 0) {
                ch.axis.SetMaxHiValue(1.7 * ch.fsd());
                ch.axis.SetMinLoValue(-1.7 * ch.fsd());
                ch.axis.SetHiValue(1.2 * ch.fsd());
                ch.axis.SetLoValue(-1.2 * ch.fsd());
            } else {
                ch.axis.SetMaxHiValue(1.7 * ch.fsd());
                ch.axis.SetMinLoValue(-1.7 * ch.fsd());
                ch.axis.SetHiValue(1.7 * ch.fsd());
                ch.axis.SetLoValue(-1.7 * ch.fsd());
            }
            const auto n = static_cast<long long>(ch.sample_count());
            fdoc.theglobal.channel_changed(tchannelchange::samples(ch.channo(), 0, 0, n));
            done[k] = &ch;
        } else {
            done[k] = live[k];
        }
    }
    for (int k = 0; k < 2; ++k) {
        tchannel* p = done[k];
        if (!p) continue;
        tchannel& ch = *p;
        // Samples past the recorded count (the channel grew meanwhile) go.
        if (ch.sample_count() > counts[k]) ch.erase_samples(std::max(counts[k], 0LL), ch.sample_count());
        for (const toverload& o : overloads[k]) {
            tentities e;
            e.descriptor = "This part of the signal is overloaded and should not be used.";
            e.no.push_back({"Detection margin", overloadmargin_dB, "dB"});
            ch.add_label(o.start / frate, o.length / frate, "Overload!", "overload", e);
        }
        // Every delivery marked the cache blocks it wrote: no rebuild here.
        ch.bmpdirty = true;
        fdoc.set_modified(true);
    }
    if ((forphan[0] || forphan[1]) && done[0] && done[1] && fcompanions) {
        done[0]->stereochanno = done[1]->channo();
        done[1]->stereochanno = done[0]->channo();
    }
    leftchanno = done[0] ? done[0]->channo() : -1;
    rightchanno = done[1] ? done[1]->channo() : -1;
    ftarget = {nullptr, nullptr};
    forphan = {false, false};
    forphaned = {tsamplestore(fdoc.block_cache()), tsamplestore(fdoc.block_cache())};
    overloads = {};
    if (changed) changed();
}

}  // namespace tessal
