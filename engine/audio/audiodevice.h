// The audio-device interface TMPCPlay and TMPCRecord drive. A device queues
// caller-owned buffers and reports each finished buffer through its
// listener, always on the thread that owns the component (the UI thread):
// the Qt device from its signals and timers, the test device when the test
// says so. Every call returns 0 or an error number; error_text turns the
// number into the device layer's sentence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessal {

struct taudioformat {
    int channels = 1;
    int rate = 16000;  // frames per second
    int bits = 16;
};

class taudiolistener {
public:
    virtual ~taudiolistener() = default;
    virtual void device_opened() {}
    virtual void device_closed() {}
    // The buffer queued with `user` is finished; for input `bytes` were
    // recorded into it (less than its size when the device was reset).
    virtual void buffer_done(int user, std::size_t bytes) = 0;
    // The device stopped by itself (unplugged, server gone); `text` says why.
    // The device stays open until the component closes it.
    virtual void device_failed(const std::string& text) = 0;
};

class taudiooutput {
public:
    virtual ~taudiooutput() = default;
    virtual std::vector<std::string> device_names() = 0;
    // deviceid -1 is the system's default device.
    virtual int open(int deviceid, const taudioformat& fmt, taudiolistener* listener) = 0;
    virtual int prepare(int /*user*/) { return 0; }
    virtual int unprepare(int /*user*/) { return 0; }
    // Queues `bytes` bytes of interleaved samples; the memory stays valid
    // until the buffer is reported done or the device is reset.
    virtual int write(const void* data, std::size_t bytes, int user) = 0;
    virtual int pause() = 0;
    virtual int restart() = 0;
    // Drops every queued buffer without reporting it.
    virtual int reset() = 0;
    // Closes and reports device_closed.
    virtual int close() = 0;
    virtual std::string error_text(int code) = 0;
    // Low 16 bits left, high 16 bits right.
    virtual std::uint32_t volume(int /*deviceid*/) { return fvolume; }
    virtual int set_volume(int /*deviceid*/, std::uint32_t v) { fvolume = v; return 0; }

private:
    std::uint32_t fvolume = 0xFFFFFFFFu;
};

class taudioinput {
public:
    virtual ~taudioinput() = default;
    virtual std::vector<std::string> device_names() = 0;
    virtual int open(int deviceid, const taudioformat& fmt, taudiolistener* listener) = 0;
    virtual int prepare(int /*user*/) { return 0; }
    virtual int unprepare(int /*user*/) { return 0; }
    // Queues an empty buffer of `capacity` bytes for the device to fill.
    virtual int add_buffer(void* data, std::size_t capacity, int user) = 0;
    virtual int start() = 0;
    // Returns every queued buffer at once, each through buffer_done with the
    // bytes recorded into it so far, so nothing captured is dropped.
    virtual int reset() = 0;
    virtual int close() = 0;
    virtual std::string error_text(int code) = 0;
};

}  // namespace tessal
