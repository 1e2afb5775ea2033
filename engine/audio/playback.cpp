#include "engine/audio/playback.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/core/tdocument.h"

namespace tessal {

namespace {

long long to_sample(double t, double fs) { return std::llround(t * fs); }

}  // namespace

tplayback::tplayback(tdocument& doc, taudiooutput& device) : MPCPlay1(device), fdoc(doc) {
    MPCPlay1.set_nChunkSamples(4096);
    MPCPlay1.set_nChans(1);
    MPCPlay1.set_sfTot(16000);
    MPCPlay1.set_nBuffers(16);
    MPCPlay1.OnStash = [this](TWaveChunk& a, int& u, bool& l) { stash(a, u, l); };
    MPCPlay1.OnClosed = [this] { closed(); };
    format_seconds = [](double t) {
        char b[64];
        std::snprintf(b, sizeof b, "%.3f", t);
        return std::string(b);
    };
}

void tplayback::set_playing(bool v) {
    fplaying = v;
    if (!v) {
        MPCPlay1.Stop();
        fstatus.clear();
    }
    if (changed) changed();
}

void tplayback::stop() {
    if (fplaying || MPCPlay1.OwnBoard()) set_playing(false);
}

void tplayback::start(int chno, bool entire, double sello, double selhi, double vislo,
                      double vishi) {
    if (fplaying) {
        stop();
        return;
    }
    if (chno < 0 || chno >= fdoc.totnchans()) return;
    tchannel& ch = fdoc.channel(chno);
    playchanno = chno;
    playstereochanno = ch.stereochanno;
    if (playstereochanno >= fdoc.totnchans() || playstereochanno == chno) playstereochanno = -1;
    if (playstereochanno >= 0 && playstereochanno < playchanno) std::swap(playchanno, playstereochanno);
    tchannel& left = fdoc.channel(playchanno);
    double fs = left.sampfreq;
    if (entire) {
        playstart = 0;
        playend = left.sample_count() - 1;
    } else if (sello != selhi) {
        playstart = to_sample(std::min(sello, selhi), fs);
        playend = to_sample(std::max(sello, selhi), fs);
    } else {
        playstart = to_sample(vislo, fs);
        playend = to_sample(vishi, fs);
    }
    for (const tsiglabel& l : ch.labels)
        if (l.playlabel) {
            playstart = to_sample(l.time, fs);
            playend = to_sample(l.time + l.duration, fs);
        }
    bool stereo = playstereochanno >= 0 && fdoc.channel(playstereochanno).sampfreq == fs;
    if (!stereo) playstereochanno = -1;
    int nchans = stereo ? 2 : 1;
    MPCPlay1.set_nChans(nchans);
    MPCPlay1.set_sfTot(static_cast<int>(std::lround(nchans * fs)));
    MPCPlay1.set_nChunkSamples(static_cast<unsigned>(play_chunk_samples(MPCPlay1.sfTot())));
    fplaying = true;
    playcount = playstart;
    if (changed) changed();
    try {
        MPCPlay1.Run();
    } catch (...) {
        set_playing(false);
        throw;
    }
}

void tplayback::stash(TWaveChunk& arr, int& used, bool& last) {
    if (playchanno < 0 || playchanno >= fdoc.totnchans() ||
        (playstereochanno >= fdoc.totnchans())) {
        set_playing(false);  // a channel went away while playing
        used = 0;
        return;
    }
    const tchannel& left = fdoc.channel(playchanno);
    const tchannel* right = playstereochanno >= 0 ? &fdoc.channel(playstereochanno) : nullptr;
    int nchans = MPCPlay1.nChans();
    double lscale = 32766.0 / left.fsd();
    double rscale = right ? 32766.0 / right->fsd() : 0;
    bool ldither = left.needsdither;
    bool rdither = right && right->needsdither;
    std::vector<float> lbuf, rbuf;
    for (int s = 0; s < used;) {
        if (loop && playcount > playend) playcount = playstart;
        if (playcount > playend) {
            arr[s] = 0;
            if (nchans == 1 || (s & 1)) ++playcount;
            ++s;
            continue;
        }
        // A run of frames up to the play end (or the buffer's end), read
        // from each channel in one piece; a run starts on a frame.
        const long long frames = playend - playcount + 1;
        const int m = static_cast<int>(std::min<long long>(used - s, frames * nchans));
        const auto nf = static_cast<std::size_t>((m + nchans - 1) / nchans);
        lbuf.resize(nf);
        left.read_shifted(playcount, nf, lbuf.data());
        if (nchans == 2 && right) {
            rbuf.resize(nf);
            right->read_shifted(playcount, nf, rbuf.data());
        }
        for (int j = 0; j < m; ++j) {
            if (nchans == 2 && (j & 1) && right)
                arr[s + j] = to_int16(rbuf[static_cast<std::size_t>(j / 2)] * rscale, rdither, frnd);
            else
                arr[s + j] = to_int16(lbuf[static_cast<std::size_t>(j / nchans)] * lscale, ldither, frnd);
        }
        playcount += nchans == 1 ? m : m / 2;
        s += m;
    }
    double latency = static_cast<double>(MPCPlay1.nBuffers()) * MPCPlay1.nChunkSamples() / nchans;
    long long p = std::llround(static_cast<double>(playcount) - latency);
    p = std::clamp(p, playstart, std::max(playstart, playend));
    playcursor = p / left.sampfreq;
    playcursor_right = right ? p / right->sampfreq : playcursor;
    std::string t = format_seconds ? format_seconds(playcursor) : std::to_string(playcursor);
    if (right)
        fstatus = "Playing channels " + std::to_string(playchanno) + " and " +
                  std::to_string(playstereochanno) + " at " + t + " s";
    else
        fstatus = "Playing channel " + std::to_string(playchanno) + " at " + t + " s";
    if (static_cast<double>(playcount) > playend + latency) last = true;
    if (changed) changed();
}

void tplayback::closed() {
    fplaying = false;
    fstatus.clear();
    for (int i = 0; i < fdoc.totnchans(); ++i) {
        tchannel& ch = fdoc.channel(i);
        bool had = false;
        for (tsiglabel& l : ch.labels) {
            had = had || l.playlabel;
            l.playlabel = false;
        }
        if (had) ch.bmpdirty = true;
    }
    if (changed) changed();
}

}  // namespace tessal
