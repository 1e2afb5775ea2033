// Audio devices for tests: nothing plays or records by itself; the test
// finishes buffers, feeds input samples and makes the device fail.
#pragma once

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "engine/audio/audiodevice.h"

namespace tessal::test {

class tfakeoutput : public taudiooutput {
public:
    struct tqueued {
        const void* data;
        std::size_t bytes;
        int user;
    };
    std::vector<std::string> names{"Fake speakers", "Fake headphones"};
    std::deque<tqueued> queued;
    std::vector<std::int16_t> played;  // everything completed, in order
    std::vector<int> doneusers;
    taudioformat fmt;
    taudiolistener* listener = nullptr;
    bool isopen = false;
    bool paused = false;
    int openerror = 0, writeerror = 0;
    int opens = 0, closes = 0;

    std::vector<std::string> device_names() override { return names; }
    int open(int, const taudioformat& f, taudiolistener* l) override {
        if (openerror) return openerror;
        fmt = f;
        listener = l;
        isopen = true;
        ++opens;
        l->device_opened();
        return 0;
    }
    int write(const void* data, std::size_t bytes, int user) override {
        if (writeerror) return writeerror;
        queued.push_back({data, bytes, user});
        return 0;
    }
    int pause() override { paused = true; return 0; }
    int restart() override { paused = false; return 0; }
    int reset() override { queued.clear(); return 0; }
    int close() override {
        isopen = false;
        ++closes;
        listener->device_closed();
        return 0;
    }
    std::string error_text(int code) override { return "fake error " + std::to_string(code); }

    // The device finishes its oldest buffer.
    bool complete_one() {
        if (queued.empty()) return false;
        tqueued q = queued.front();
        queued.pop_front();
        auto* s = static_cast<const std::int16_t*>(q.data);
        played.insert(played.end(), s, s + q.bytes / 2);
        doneusers.push_back(q.user);
        listener->buffer_done(q.user, q.bytes);
        return true;
    }
    void complete_all(int limit = 1000000) {
        while (limit-- > 0 && complete_one()) {}
    }
};

class tfakeinput : public taudioinput {
public:
    struct tqueued {
        void* data;
        std::size_t capacity;
        std::size_t filled;
        int user;
    };
    std::vector<std::string> names{"Fake microphone"};
    std::deque<tqueued> queued;
    taudioformat fmt;
    taudiolistener* listener = nullptr;
    bool isopen = false, started = false;
    int openerror = 0;

    std::vector<std::string> device_names() override { return names; }
    int open(int, const taudioformat& f, taudiolistener* l) override {
        if (openerror) return openerror;
        fmt = f;
        listener = l;
        isopen = true;
        l->device_opened();
        return 0;
    }
    int add_buffer(void* data, std::size_t capacity, int user) override {
        queued.push_back({data, capacity, 0, user});
        return 0;
    }
    int start() override { started = true; return 0; }
    int reset() override {
        std::deque<tqueued> q;
        q.swap(queued);
        for (const tqueued& b : q) listener->buffer_done(b.user, b.filled);
        return 0;
    }
    int close() override {
        isopen = false;
        listener->device_closed();
        return 0;
    }
    std::string error_text(int code) override { return "fake error " + std::to_string(code); }

    // The device captures `bytes` (interleaved samples as raw bytes); every
    // buffer that fills up is handed back.
    void capture(const void* bytes, std::size_t n) {
        auto* p = static_cast<const unsigned char*>(bytes);
        while (n > 0 && !queued.empty()) {
            tqueued& b = queued.front();
            std::size_t k = std::min(n, b.capacity - b.filled);
            std::memcpy(static_cast<unsigned char*>(b.data) + b.filled, p, k);
            b.filled += k;
            p += k;
            n -= k;
            if (b.filled == b.capacity) {
                tqueued done = b;
                queued.pop_front();
                listener->buffer_done(done.user, done.filled);
            }
        }
    }
    void capture16(const std::vector<std::int16_t>& s) { capture(s.data(), s.size() * 2); }
    void fail(const std::string& why) { listener->device_failed(why); }
};

}  // namespace tessal::test
