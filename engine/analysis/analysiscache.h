// tanalysiscache<T>: results of one kind of analysis, each kept under the
// channel, the half-open range of sample indices and the parameters it was
// computed from. A change notice drops exactly the results it touches (see
// tchannelchange::touches): an edit of other samples of the channel, or of
// another channel, leaves a result in place; an edit inside its range, a
// move of its samples, a change of the channel's properties or a channel
// added or removed before it drops it.
//
// The cache holds at most `capacity` results; storing one more drops the
// one used longest ago. Given the view state, it listens to its change
// notices for as long as it lives. A reference returned by find, store or
// get stays valid until the result is dropped (by a notice, by a store or
// get of another key that fills the cache, or by clear).
#pragma once

#include <cstddef>
#include <list>
#include <utility>
#include <vector>

#include "engine/core/tglobal.h"
#include "engine/core/tviewlistener.h"

namespace tessal {

struct tanalysiskey {
    int channel = 0;
    long long first = 0, last = 0;  // samples first..last-1
    std::vector<double> params;     // compared exactly
    bool operator==(const tanalysiskey&) const = default;
};

template <class T>
class tanalysiscache : public tviewlistener {
public:
    explicit tanalysiscache(std::size_t capacity = 16) : fcapacity(capacity ? capacity : 1) {}
    explicit tanalysiscache(tglobal& global, std::size_t capacity = 16)
        : tanalysiscache(capacity) {
        fglobal = &global;
        global.add_listener(this);
    }
    ~tanalysiscache() override {
        if (fglobal) fglobal->remove_listener(this);
    }
    tanalysiscache(const tanalysiscache&) = delete;
    tanalysiscache& operator=(const tanalysiscache&) = delete;

    // The result kept under `key`, or null.
    const T* find(const tanalysiskey& key) {
        for (auto it = entries.begin(); it != entries.end(); ++it)
            if (it->first == key) {
                entries.splice(entries.begin(), entries, it);
                return &entries.front().second;
            }
        return nullptr;
    }

    const T& store(const tanalysiskey& key, T value) {
        for (auto it = entries.begin(); it != entries.end(); ++it)
            if (it->first == key) {
                entries.erase(it);
                break;
            }
        entries.emplace_front(key, std::move(value));
        while (entries.size() > fcapacity) entries.pop_back();
        return entries.front().second;
    }

    // The kept result, or compute() (a T) stored under `key`.
    template <class F>
    const T& get(const tanalysiskey& key, F&& compute) {
        if (const T* hit = find(key)) return *hit;
        return store(key, compute());
    }

    // Drops every result the change touches.
    void drop_touched(const tchannelchange& change) {
        entries.remove_if([&change](const std::pair<tanalysiskey, T>& e) {
            return change.touches(e.first.channel, e.first.first, e.first.last);
        });
    }
    void channel_changed(const tchannelchange& change) override { drop_touched(change); }

    void clear() { entries.clear(); }
    std::size_t size() const { return entries.size(); }
    std::size_t capacity() const { return fcapacity; }

private:
    std::list<std::pair<tanalysiskey, T>> entries;  // most recently used first
    std::size_t fcapacity;
    tglobal* fglobal = nullptr;
};

}  // namespace tessal
