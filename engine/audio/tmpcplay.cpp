#include "engine/audio/tmpcplay.h"

#include <algorithm>

namespace tessal {

TMPCPlay::TMPCPlay(taudiooutput& device) : fdevice(device) {
    set_nBuffers(4);
    build_format();
}

TMPCPlay::~TMPCPlay() {
    try {
        Stop();
    } catch (...) {
    }
}

void TMPCPlay::check(int code, const char* call) {
    if (code != 0) throw EMPCError(std::string(call) + ": " + ErrorText(code));
}

std::string TMPCPlay::ErrorText(int errornumber) {
    std::string t = fdevice.error_text(errornumber);
    if (t.size() > 128) t.resize(128);
    return t;
}

void TMPCPlay::build_format() {
    fwavefmt.channels = fnchans;
    fwavefmt.rate = fsftot / fnchans;
    fwavefmt.bits = 16;
}

void TMPCPlay::read_devicenames() {
    fdevicenames.clear();
    build_format();
    for (std::string n : fdevice.device_names()) {
        if (n.size() > 32) n.resize(32);
        fdevicenames.push_back(n);
    }
}

void TMPCPlay::set_nChans(int v) {
    if (fownboard) throw EMPCError("Cannot change nChans while owning board");
    fnchans = std::max(v, 1);
    build_format();
}

void TMPCPlay::set_sfTot(int v) {
    if (fownboard) throw EMPCError("Cannot change sfTot while owning board");
    fsftot = std::max(v, 1);
    build_format();
}

void TMPCPlay::set_nBuffers(int v) {
    fnbufs = std::clamp(v, 1, 1000);
    farr.resize(fnbufs, TWaveChunk(fnchunksamples));
    fused.resize(fnbufs, 0);
}

void TMPCPlay::set_nChunkSamples(unsigned v) {
    fnchunksamples = std::max(v, 1u);
    for (TWaveChunk& c : farr) c.assign(fnchunksamples, 0);
}

void TMPCPlay::Run() {
    if (!OnStash) throw EMPCError("Nothing assigned to OnStash!");
    sendnomore = false;
    ffailure.clear();
    if (!fownboard) {
        build_format();
        int r = fdevice.open(fdeviceid, fwavefmt, this);
        if (r != 0) {
            fownboard = false;
            if (r < 0) throw EMPCError("Could not aquire board");
            check(r, "WaveOutOpen");
        }
        fownboard = true;
    }
    check(fdevice.pause(), "WaveOutPause");
    for (int i = 0; i < fnbufs && !sendnomore; ++i) fill_and_queue(i);
    check(fdevice.restart(), "WaveOutRestart");
}

void TMPCPlay::fill_and_queue(int i) {
    if (sendnomore) return;
    TWaveChunk& arr = farr[i];
    int used = static_cast<int>(fnchunksamples);
    OnStash(arr, used, sendnomore);
    used = std::clamp(used, 0, static_cast<int>(arr.size()));
    if (!fownboard) return;  // the handler stopped playback
    if (used == 0) {
        // An empty answer ends playback with one silent frame.
        sendnomore = true;
        used = std::min(fnchans, static_cast<int>(arr.size()));
        std::fill(arr.begin(), arr.begin() + used, std::int16_t{0});
    }
    fused[i] = used;
    int user = sendnomore ? final_buffer_user : i;
    check(fdevice.prepare(user), "WaveOutPrepareHeader");
    check(fdevice.write(arr.data(), static_cast<std::size_t>(used) * 2, user), "WaveOutWrite");
}

void TMPCPlay::buffer_done(int user, std::size_t /*bytes*/) {
    if (!fownboard) return;
    check(fdevice.unprepare(user), "WaveOutUnPrepareHeader");
    if (user == final_buffer_user) {
        Stop();
        return;
    }
    if (user >= 0 && user < fnbufs) fill_and_queue(user);
}

void TMPCPlay::device_failed(const std::string& text) {
    ffailure = text;
    Stop();
}

void TMPCPlay::Stop() {
    if (!fownboard) return;
    fownboard = false;
    int r = fdevice.reset();
    int c = fdevice.close();
    check(r, "WaveOutReset");
    check(c, "WaveOutClose");
}

void TMPCPlay::device_opened() {
    if (OnOpened) OnOpened();
}

void TMPCPlay::device_closed() {
    if (OnClosed) OnClosed();
}

int TMPCPlay::LeftVolume() { return static_cast<int>(fdevice.volume(fdeviceid) & 0xFFFF); }
int TMPCPlay::RightVolume() { return static_cast<int>(fdevice.volume(fdeviceid) >> 16); }

void TMPCPlay::set_LeftVolume(int v) {
    std::uint32_t w = fdevice.volume(fdeviceid);
    fdevice.set_volume(fdeviceid, (w & 0xFFFF0000u) | (static_cast<std::uint32_t>(v) & 0xFFFF));
}

void TMPCPlay::set_RightVolume(int v) {
    std::uint32_t w = fdevice.volume(fdeviceid);
    fdevice.set_volume(fdeviceid, (w & 0xFFFFu) | ((static_cast<std::uint32_t>(v) & 0xFFFF) << 16));
}

void TMPCPlay::set_BothVolume(int v) {
    std::uint32_t h = static_cast<std::uint32_t>(v) & 0xFFFF;
    fdevice.set_volume(fdeviceid, h | (h << 16));
}

}  // namespace tessal
