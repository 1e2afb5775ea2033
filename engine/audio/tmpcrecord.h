// TMPCRecord: keeps a ring of empty buffers queued on an input device and
// hands each filled one to its owner through OnFetch (16-bit) or OnFetch24
// (24-bit), then queues it again. Stop returns the buffers the device still
// holds and delivers what was recorded into them, so a stop or a device
// failure never drops captured samples. Runs on the owner's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/audio/audiodevice.h"
#include "engine/audio/mpcerror.h"
#include "engine/audio/pcmconvert.h"
#include "engine/audio/tmpcplay.h"

namespace tessal {

class TMPCRecord : public taudiolistener {
public:
    explicit TMPCRecord(taudioinput& device);
    ~TMPCRecord() override;

    std::function<void()> OnOpened;
    std::function<void()> OnClosed;
    std::function<void(const TWaveChunk& arr, int used, bool& last)> OnFetch;
    std::function<void(const tint24arr& arr, int used, bool& last)> OnFetch24;

    void Run();
    void Stop();
    std::string ErrorText(int errornumber);
    void read_devicenames();

    int nChans() const { return fnchans; }
    void set_nChans(int v);
    int sfTot() const { return fsftot; }
    void set_sfTot(int v);
    int nBits() const { return fnbits; }
    void set_nBits(int v);
    int nBuffers() const { return fnbufs; }
    void set_nBuffers(int v);
    unsigned nChunkSamples() const { return fnchunksamples; }
    void set_nChunkSamples(unsigned v);
    bool OwnBoard() const { return fownboard; }
    int DeviceID() const { return fdeviceid; }
    void set_DeviceID(int v) { fdeviceid = v; }
    int nDevices() const { return static_cast<int>(fdevicenames.size()); }
    const std::vector<std::string>& Devicenames() const { return fdevicenames; }
    const std::string& failure() const { return ffailure; }
    const taudioformat& wavefmt() const { return fwavefmt; }

    void device_opened() override;
    void device_closed() override;
    void buffer_done(int user, std::size_t bytes) override;
    void device_failed(const std::string& text) override;

private:
    void build_format();
    void queue(int i);
    void check(int code, const char* call);

    taudioinput& fdevice;
    taudioformat fwavefmt;
    std::vector<TWaveChunk> farr;
    std::vector<tint24arr> farr24;
    bool addnomore = false;
    bool oktofetch = false;
    bool fresetting = false;
    int fdeviceid = -1;
    unsigned fnchunksamples = 4096;
    bool fownboard = false;
    int fnchans = 1;
    int fsftot = 16000;
    int fnbufs = 4;
    int fnbits = 16;
    std::vector<std::string> fdevicenames;
    std::string ffailure;
};

}  // namespace tessal
