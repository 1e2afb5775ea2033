// tsubscribers: a list of handlers told of one kind of event. subscribe()
// returns a token that unsubscribe() takes back; tokens are never reused,
// so a stale one unsubscribes nothing. notify() calls the handlers in the
// order they subscribed; a handler may subscribe or unsubscribe (itself or
// another) while being told: one unsubscribed during a notify is not called
// after that, one subscribed during it is called from the next notify on.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace tessal {

template <class... Args>
class tsubscribers {
public:
    using handler = std::function<void(Args...)>;
    using token = std::uint64_t;

    token subscribe(handler h) {
        const token t = ++lasttoken;
        if (h) list.push_back({t, std::move(h)});
        return t;
    }

    void unsubscribe(token t) {
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [t](const entry& e) { return e.tok == t; }),
                   list.end());
    }

    bool subscribed(token t) const {
        return std::any_of(list.begin(), list.end(), [t](const entry& e) { return e.tok == t; });
    }

    void notify(Args... args) const {
        if (list.empty()) return;
        const std::vector<entry> copy = list;
        for (const entry& e : copy)
            if (subscribed(e.tok)) e.fn(args...);
    }

    bool empty() const { return list.empty(); }
    std::size_t size() const { return list.size(); }
    void clear() { list.clear(); }

private:
    struct entry {
        token tok;
        handler fn;
    };
    std::vector<entry> list;
    token lasttoken = 0;
};

}  // namespace tessal
