#include "engine/audio/tmpcrecord.h"

#include <algorithm>

namespace tessal {

TMPCRecord::TMPCRecord(taudioinput& device) : fdevice(device) {
    set_nBuffers(4);
    build_format();
}

TMPCRecord::~TMPCRecord() {
    OnFetch = nullptr;
    OnFetch24 = nullptr;
    OnClosed = nullptr;
    try {
        Stop();
    } catch (...) {
    }
}

void TMPCRecord::check(int code, const char* call) {
    if (code != 0) throw EMPCError(std::string(call) + ": " + ErrorText(code));
}

std::string TMPCRecord::ErrorText(int errornumber) {
    std::string t = fdevice.error_text(errornumber);
    if (t.size() > 128) t.resize(128);
    return t;
}

void TMPCRecord::build_format() {
    fwavefmt.channels = fnchans;
    fwavefmt.rate = fsftot / fnchans;
    fwavefmt.bits = fnbits;
}

void TMPCRecord::read_devicenames() {
    fdevicenames.clear();
    build_format();
    for (std::string n : fdevice.device_names()) {
        if (n.size() > 32) n.resize(32);
        fdevicenames.push_back(n);
    }
}

void TMPCRecord::set_nChans(int v) {
    if (fownboard) throw EMPCError("Cannot change nChans while owning board");
    fnchans = std::max(v, 1);
    build_format();
}

void TMPCRecord::set_sfTot(int v) {
    if (fownboard) throw EMPCError("Cannot change sfTot while owning board");
    fsftot = std::max(v, 1);
    build_format();
}

void TMPCRecord::set_nBits(int v) {
    if (fownboard) throw EMPCError("Cannot change nBits while owning board");
    if (v == 16 || v == 24) fnbits = v;
    build_format();
}

void TMPCRecord::set_nBuffers(int v) {
    fnbufs = std::clamp(v, 1, 1000);
    farr.resize(fnbufs, TWaveChunk(fnchunksamples));
    farr24.resize(fnbufs, tint24arr(fnchunksamples));
}

void TMPCRecord::set_nChunkSamples(unsigned v) {
    fnchunksamples = std::max(v, 1u);
    for (TWaveChunk& c : farr) c.assign(fnchunksamples, 0);
    for (tint24arr& c : farr24) c.assign(fnchunksamples, tint24{{0, 0, 0}});
}

void TMPCRecord::queue(int i) {
    int user = addnomore ? final_buffer_user : i;
    check(fdevice.prepare(user), "waveinPrepareHeader");
    void* data = fnbits == 24 ? static_cast<void*>(farr24[i].data()) : farr[i].data();
    check(fdevice.add_buffer(data, static_cast<std::size_t>(fnchunksamples) * (fnbits / 8), user),
          "waveinWrite");
}

void TMPCRecord::Run() {
    if (!OnFetch && !OnFetch24) throw EMPCError("Nothing assigned to OnFetch!");
    addnomore = false;
    ffailure.clear();
    if (!fownboard) {
        build_format();
        int r = fdevice.open(fdeviceid, fwavefmt, this);
        if (r != 0) {
            fownboard = false;
            if (r < 0) throw EMPCError("Could not aquire board");
            check(r, "waveinOpen");
        }
        fownboard = true;
    }
    oktofetch = false;
    for (int i = 0; i < fnbufs; ++i) queue(i);
    oktofetch = true;
    check(fdevice.start(), "waveinStart");
}

void TMPCRecord::buffer_done(int user, std::size_t bytes) {
    check(fdevice.unprepare(user), "waveinUnPrepareHeader");
    if (user == final_buffer_user && !fresetting) {
        Stop();
        return;
    }
    int i = user == final_buffer_user ? -1 : user;
    if (oktofetch && i >= 0 && i < fnbufs && bytes > 0) {
        int used = static_cast<int>(bytes / static_cast<std::size_t>(fnbits / 8));
        used = std::clamp(used, 0, static_cast<int>(fnchunksamples));
        // A short buffer from a reset still holds captured samples.
        if (fnbits == 24 && OnFetch24)
            OnFetch24(farr24[i], used, addnomore);
        else if (fnbits == 16 && OnFetch)
            OnFetch(farr[i], used, addnomore);
    }
    if (fownboard && !fresetting && i >= 0 && i < fnbufs) queue(i);
}

void TMPCRecord::device_failed(const std::string& text) {
    ffailure = text;
    Stop();
}

void TMPCRecord::Stop() {
    if (!fownboard) return;
    fresetting = true;
    int r = 0;
    try {
        r = fdevice.reset();
    } catch (...) {
        fresetting = false;
        throw;
    }
    fresetting = false;
    fownboard = false;
    oktofetch = false;
    int c = fdevice.close();
    check(r, "waveinReset");
    check(c, "waveinClose");
}

void TMPCRecord::device_opened() {
    if (OnOpened) OnOpened();
}

void TMPCRecord::device_closed() {
    if (OnClosed) OnClosed();
}

}  // namespace tessal
