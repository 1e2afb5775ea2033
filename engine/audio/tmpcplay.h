// TMPCPlay: keeps a ring of 16-bit buffers queued on an output device and
// asks its owner for samples through OnStash. A buffer coming back is filled
// and queued again until the owner says `last`; the final buffer carries the
// user value 100000000 and closes the device when it returns. Everything
// runs on the owner's thread: the device reports through taudiolistener.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/audio/audiodevice.h"
#include "engine/audio/mpcerror.h"

namespace tessal {

using TWaveChunk = std::vector<std::int16_t>;

inline constexpr int final_buffer_user = 100000000;

class TMPCPlay : public taudiolistener {
public:
    explicit TMPCPlay(taudiooutput& device);
    ~TMPCPlay() override;

    std::function<void()> OnOpened;
    std::function<void()> OnClosed;
    // Fill `arr` with interleaved samples; lower `used` for a short buffer,
    // set `last` on the final one.
    std::function<void(TWaveChunk& arr, int& used, bool& last)> OnStash;

    void Run();
    void Stop();
    std::string ErrorText(int errornumber);
    void read_devicenames();

    int nChans() const { return fnchans; }
    void set_nChans(int v);
    int sfTot() const { return fsftot; }
    void set_sfTot(int v);
    int nBuffers() const { return fnbufs; }
    void set_nBuffers(int v);
    unsigned nChunkSamples() const { return fnchunksamples; }
    void set_nChunkSamples(unsigned v);
    bool OwnBoard() const { return fownboard; }
    int DeviceID() const { return fdeviceid; }
    void set_DeviceID(int v) { fdeviceid = v; }
    int nDevices() const { return static_cast<int>(fdevicenames.size()); }
    const std::vector<std::string>& Devicenames() const { return fdevicenames; }
    int LeftVolume();
    int RightVolume();
    void set_LeftVolume(int v);
    void set_RightVolume(int v);
    void set_BothVolume(int v);
    // Why the device stopped by itself, empty after a normal end.
    const std::string& failure() const { return ffailure; }
    const taudioformat& wavefmt() const { return fwavefmt; }

    void device_opened() override;
    void device_closed() override;
    void buffer_done(int user, std::size_t bytes) override;
    void device_failed(const std::string& text) override;

private:
    void build_format();
    void fill_and_queue(int i);
    void check(int code, const char* call);

    taudiooutput& fdevice;
    taudioformat fwavefmt;
    std::vector<TWaveChunk> farr;
    std::vector<int> fused;
    bool sendnomore = false;
    int fdeviceid = -1;
    unsigned fnchunksamples = 4096;
    bool fownboard = false;
    int fnchans = 1;
    int fsftot = 16000;
    int fnbufs = 4;
    std::vector<std::string> fdevicenames;
    std::string ffailure;
};

}  // namespace tessal
