// The recording dialog's non-visual work: configuring TMPCRecord, preparing
// the target channels, turning each delivered buffer into channel samples,
// meters, overviews and overload stretches, and writing the overload labels
// when the device closes. The dialog reads the fields to paint and forwards
// its buttons; deliveries come from the device on the UI thread.
//
// The recorder holds its target channels themselves, not their numbers: a
// channel made or deleted before a target moves it and the samples follow
// it. A target that leaves the document while recording (deleted, or the
// document closed) ends the recording at the next buffer; what that side
// captured, before and after, goes into a new channel when the device has
// closed, so nothing recorded is lost and no other channel is written.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "engine/audio/tmpcrecord.h"
#include "engine/audio/tringbuffer.h"
#include "engine/core/tviewlistener.h"
#include "engine/dsp/arrays.h"
#include "engine/store/samplestore.h"

namespace tessal {

class tdocument;
class tchannel;

enum class tchannelmode { mono = 0, left = 1, right = 2, stereo = 3 };

struct toverload {
    long long start = 0;
    long long length = 0;
};

// The overload threshold in counts for a margin in dB at a full scale of
// `maxcount` (32767 for 16 bits, 8388607 for 24).
int overload_threshold(double margin_dB, int maxcount);

// Why the document may not be closed, replaced, or given or lose channels
// while a recording runs (a status text).
inline constexpr const char* recording_busy_text =
    "A recording is running: stop it before opening, closing, adding or deleting channels";

// Adds overloaded sample `a` to a channel's stretches: a new stretch unless
// it lies within a quarter second (round(0.25 * fs) samples) of the last.
void add_overload(std::vector<toverload>& list, long long a, double fs);

struct trecordsetup {
    double rate = 44100;
    tchannelmode mode = tchannelmode::stereo;
    bool use24 = true;
    bool companions = false;
    bool test = false;
    // Target channel indices; totnchans() means "Record to new channel".
    int lefttarget = 0;
    int righttarget = 1;
};

class trecorder : private tviewlistener {
public:
    // `advanced`: the variant without overviews or overload marking, whose
    // chunk length stays at the component's.
    trecorder(tdocument& doc, taudioinput& device, bool advanced = false);
    ~trecorder() override;
    trecorder(const trecorder&) = delete;
    trecorder& operator=(const trecorder&) = delete;

    // Starts recording or testing; the document is changed only when not
    // testing. Throws EMPCError when the device refuses.
    void start(const trecordsetup& setup);
    // Stops the device; the closed notification finishes the recording.
    void stop();
    void set_paused(bool v) { paused = v; }
    void reset_peakholds() { peakhold = {0, 0}; }

    TMPCRecord MPCRecord1;
    double overloadmargin_dB = 0.2;
    std::string origin = "Tessal recording";
    // Called after every delivery and when recording starts or stops.
    std::function<void()> changed;
    // Called with the samples each delivery stored in side 0 (left) or 1
    // (right), before `changed`: the spool writes them to disk.
    std::function<void(int side, const float* p, std::size_t n)> stored;

    bool frecording = false;
    bool testing = false;
    bool paused = false;
    tchannelmode channelmode = tchannelmode::stereo;
    // The targets' numbers as they are now (-1 none); after a target left,
    // the number of the new channel that holds its side.
    int leftchanno = -1;
    int rightchanno = -1;
    // Whether the recording made the channel of side 0 or 1 (it was past
    // the document's last channel).
    std::array<bool, 2> madechannel{false, false};
    long long leftcount = 0;
    long long rightcount = 0;
    std::array<double, 2> peak{0, 0};       // sample units, decaying
    std::array<double, 2> level{0, 0};      // 0..1
    std::array<double, 2> peakhold{0, 0};   // 0..1
    std::array<tRingBuffer, 2> ringbuffer;
    std::array<std::vector<toverload>, 2> overloads;
    // Why the last recording ended early (device failure), else empty.
    std::string stopreason;
    // Whether a target left the document during the last recording.
    bool targetleft = false;

    // Deliveries, public so a test or a bench can feed them directly.
    void fetch16(const std::int16_t* arr, int used);
    void fetch24(const tint24* arr, int used);

private:
    template <typename T, typename Get>
    void deliver(const T* arr, int used, double scale, int maxcount, int overviewshift, Get get);
    void prepare_channel(int index, const std::string& name, int nbits, double rate, int partner);
    // Side k's delivery (fbuf[k]) stored from sample `at` on: into its
    // channel, or into its own buffer when the channel left.
    void put(int k, tchannel* ch, long long at);
    void closed();
    // The number of side k's target now, -1 when it has none or it left.
    int target_index(int k) const;
    void channel_changed(const tchannelchange& change) override;

    tdocument& fdoc;
    bool fadvanced;
    double frate = 44100;
    int fnbits = 16;
    bool fcompanions = false;
    bool fstopping = false;
    // The channel each side writes into while it is in the document.
    std::array<tchannel*, 2> ftarget{nullptr, nullptr};
    // A side whose channel left: its samples so far and what still comes.
    std::array<bool, 2> forphan{false, false};
    std::array<tsamplestore, 2> forphaned;
    std::array<std::string, 2> forphanname;
    // Each side's samples of the delivery being stored.
    std::array<std::vector<float>, 2> fbuf;
};

}  // namespace tessal
