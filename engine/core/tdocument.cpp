#include "engine/core/tdocument.h"

#include <algorithm>
#include <cmath>

#include "engine/core/measurementitems.h"
#include "engine/store/blocks.h"

namespace tessal {

tdocument::tdocument() : theglobal(this) {
    xaxis.SetPosition(taxisposition::posunder);
    xaxis.SetTickSpaceAim(1);
    xaxis.fallowmidscroll = true;
    xaxis.fallowdoubleclick = true;
    xaxis.SetAxisText("[s]");
    xaxis.SetMinLoValue(0);
    xaxis.set_hilovalues(1, 0);
    xaxis.set_textmetrics(&theglobal.axisfont());
    for (int i = 0; i < nmeasurementitems; ++i) showmeasurement[i] = measurement_shown_by_default(i);
}

// The listeners hear one notice for all the channels added or removed at the
// end of the list: the first of them, whose number and every later one's
// have changed. A file of thousands of channels is one change, not
// thousands.
void tdocument::set_totnchans(int n) {
    n = std::max(n, 0);
    int old = totnchans();
    if (n < old) {
        std::vector<std::unique_ptr<tchannel>> gone;
        for (int i = old - 1; i >= n; --i) {
            gone.push_back(std::move(channels[i]));
            channels.pop_back();
        }
        // Listeners hear of it while the channels still exist (a recording
        // takes its samples from them); the history may free them after.
        theglobal.channel_changed(tchannelchange::removed(n));
        int i = old - 1;
        for (auto& c : gone) {
            if (frecorder) frecorder->channel_removed(std::move(c), i);
            --i;
        }
    } else if (n > old) {
        channels.reserve(n);
        for (int i = old; i < n; ++i) {
            channels.push_back(std::make_unique<tchannel>(this, i));
            if (frecorder) frecorder->channel_inserted(*channels.back(), i);
        }
        theglobal.channel_changed(tchannelchange::added(old));
    }
    theglobal.channels_changed();
    theglobal.fix_things();
    theglobal.document_state_changed();
}

tchannel& tdocument::create_channel(int channo) {
    auto c = std::make_unique<tchannel>(this, channo);
    tchannel& ref = *c;
    if (channo >= totnchans()) {
        channels.push_back(std::move(c));
    } else {
        channels.insert(channels.begin() + std::max(channo, 0), std::move(c));
        for (int i = 0; i < totnchans(); ++i) channels[i]->set_channo(i);
    }
    const int at = std::clamp(channo, 0, totnchans() - 1);
    if (frecorder) frecorder->channel_inserted(ref, at);
    theglobal.channel_changed(tchannelchange::added(at));
    return ref;
}

void tdocument::delete_channel(int c) {
    if (c < 0 || c >= totnchans()) return;
    for (int i = 0; i < totnchans(); ++i) {
        if (i == c) continue;
        int& s = channels[i]->stereochanno;
        if (s == c)
            s = -1;
        else if (s > c)
            --s;
    }
    auto gone = std::move(channels[c]);
    channels.erase(channels.begin() + c);
    for (int i = c; i < totnchans(); ++i) channels[i]->set_channo(i);
    fthischanno = thischanno();
    gone->leave_views();
    theglobal.channel_changed(tchannelchange::removed(c));
    if (frecorder) frecorder->channel_removed(std::move(gone), c);
    theglobal.channels_changed();
    theglobal.fix_things();
    theglobal.document_state_changed();
}

std::unique_ptr<tchannel> tdocument::take_channel(int c) {
    auto ch = std::move(channels.at(c));
    channels.erase(channels.begin() + c);
    ch->leave_views();
    for (int i = c; i < totnchans(); ++i) channels[i]->set_channo(i);
    theglobal.channel_changed(tchannelchange::removed(c));
    return ch;
}

void tdocument::put_channel(int c, std::unique_ptr<tchannel> ch) {
    c = std::clamp(c, 0, totnchans());
    channels.insert(channels.begin() + c, std::move(ch));
    for (int i = c; i < totnchans(); ++i) channels[i]->set_channo(i);
    theglobal.channel_changed(tchannelchange::added(c));
}

int tdocument::thischanno() const {
    if (channels.empty()) return 0;
    return std::clamp(fthischanno, 0, totnchans() - 1);
}

int tdocument::translate_channo(int c) const {
    if (c >= 0) return c;
    switch (c) {
        case -2: return thischanno();
        case -1: return totnchans();
        case -3: return channels.empty() ? -3 : channels[thischanno()]->stereochanno;
        default: return c;
    }
}

bool tdocument::is_channel_selected(int n) const {
    if (n < 0 || n >= totnchans()) return false;
    switch (selectmode) {
        case selmono: return n == thischanno();
        case selstereo: return n == thischanno() || n == channels[thischanno()]->stereochanno;
        case selall: return true;
        case selvisible: return channels[n]->visible();
        default: return false;
    }
}

double tdocument::file_peak_value(int chno) const {
    if (chno < 0 || chno >= totnchans()) return 0;
    float m = 0;
    if (channels[chno]->stored_peak(m)) return m;
    channels[chno]->for_each_chunk(0, channels[chno]->sample_count(),
                                   [&](const float* p, std::size_t n, std::int64_t) {
                                       for (std::size_t i = 0; i < n; ++i) m = std::max(m, std::fabs(p[i]));
                                   });
    return m;
}

double tdocument::file_rms_value(int chno) const {
    if (chno < 0 || chno >= totnchans()) return 0;
    const tchannel& ch = *channels[chno];
    const std::int64_t count = ch.sample_count();
    if (count == 0) return 0;
    double sum = 0;
    // In sample order, one sum: the same number the stored one is.
    if (!ch.stored_sumsq(sum))
        ch.for_each_chunk(0, count, [&](const float* p, std::size_t n, std::int64_t) {
            for (std::size_t i = 0; i < n; ++i) sum += static_cast<double>(p[i]) * p[i];
        });
    return std::sqrt(sum / static_cast<double>(count));
}

void tdocument::set_axis_minmax(int channo, tminmaxpair minmax) {
    if (channo < 0 || channo >= totnchans()) return;
    TAxis& a = channels[channo]->axis;
    if (a.GetLogarithmic()) {
        if (!(minmax.max > 0)) return;
        a.set_hilovalues(minmax.max, minmax.min > 0 ? minmax.min : minmax.max / 100);
    } else {
        a.set_hilovalues(minmax.max, minmax.min);
    }
}

void tdocument::set_modified(bool v) {
    fmodified = v;
    theglobal.document_state_changed();
}

void tdocument::set_filename(const std::string& v) {
    ffilename = v;
    theglobal.document_state_changed();
}

TColor tdocument::new_channel_color(int channo) const {
    return colorscheme == tcolorscheme::black ? 0 : channel_palette(channo);
}

void tdocument::set_colorscheme(tcolorscheme s) {
    colorscheme = s;
    switch (s) {
        case tcolorscheme::black:
            for (auto& c : channels) c->color = 0;
            break;
        case tcolorscheme::colour:
            for (int i = 0; i < totnchans(); ++i) channels[i]->color = channel_palette(i);
            break;
        case tcolorscheme::colourpaired: {
            std::vector<bool> done(channels.size(), false);
            int k = 0;
            for (int i = 0; i < totnchans(); ++i) {
                if (done[i]) continue;
                TColor col = channel_palette(k++);
                channels[i]->color = col;
                done[i] = true;
                int p = channels[i]->stereochanno;
                if (p >= 0 && p < totnchans()) {
                    channels[p]->color = col;
                    done[p] = true;
                }
            }
            break;
        }
    }
    theglobal.invalidate_paintboxes(true);
}

double tdocument::first_time() const {
    double t = 0;
    bool any = false;
    for (const auto& c : channels) {
        if (c->sampfreq <= 0) continue;
        double s = static_cast<double>(c->xshift) / c->sampfreq;
        t = any ? std::min(t, s) : s;
        any = true;
    }
    return any ? std::min(t, 0.0) : 0;
}

double tdocument::last_time() const {
    double t = 0;
    for (const auto& c : channels) {
        if (c->sampfreq <= 0) continue;
        t = std::max(t, static_cast<double>(c->xshift + c->sample_count()) / c->sampfreq);
    }
    return t;
}

namespace {

std::size_t sample_memory_bytes(const tpreferences& p) {
    if (p.SampleMemoryMB <= 0) return tblockcache::quarter_of_physical_memory();
    return static_cast<std::size_t>(p.SampleMemoryMB) << 20;
}

}  // namespace

std::shared_ptr<tblockcache> tdocument::block_cache() const {
    std::lock_guard lock(fcachemutex);
    if (fcachegiven) return fblockcache;
    const std::size_t budget = sample_memory_bytes(prefs);
    std::filesystem::path folder = prefs.ScratchFolder;
    if (folder.empty()) folder = scratch_default;
    if (folder.empty()) folder = std::filesystem::temp_directory_path();
    // Every block and store holds its cache, so a count of one means none
    // does and the cache can go.
    if (fblockcache && fblockcache->scratch_folder() != folder && fblockcache.use_count() == 1)
        fblockcache.reset();
    if (!fblockcache)
        fblockcache = std::make_shared<tblockcache>(budget, folder);
    else if (fblockcache->budget() != budget)
        fblockcache->set_budget(budget);
    return fblockcache;
}

void tdocument::set_block_cache(std::shared_ptr<tblockcache> cache) {
    std::lock_guard lock(fcachemutex);
    fcachegiven = static_cast<bool>(cache);
    fblockcache = std::move(cache);
}

}  // namespace tessal
