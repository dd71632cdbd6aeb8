#pragma once

#include "support/Funky.h"

#include <cstdint>

namespace bw {

// Paces the message pump of a long loop so that the work is not slowed by the window.
//
// A loop that pumps messages and sets texts for every item it handles (a read of 200,000 files)
// spends most of its time in the window system, not in its work. A person sees nothing of a pump
// that follows the previous one within 20 ms, nor of a caption set and replaced between two
// pumps. So a long loop asks its Pacer before each pump:
//
//     Pacer pacer;
//     for (const Item& item : items) {
//         work(item);
//         pendingLabel = text(item);            // remember the latest value, show nothing yet
//         pendingLines << line(item);           // lines are kept, every one, in order
//         pacer.pump([&] { showPending(); });   // at most every 20 ms: show, then PumpMessages()
//     }
//     showPending();                            // the end of the loop shows the final state
//
// Throttles of their own that are longer (a count shown every 500 ms) stay as they are: they
// pump through the same Pacer and are always due. A cancel button is seen at the next real pump,
// i.e. within 20 ms plus one item.
class Pacer {
public:
    static constexpr std::int64_t kIntervalMs = 20;

    // A pacer of another interval paces the progress texts of a loop (a count every 500 ms).
    explicit Pacer(std::int64_t intervalMs = kIntervalMs) : m_intervalMs(intervalMs) {}

    // True when the last refresh is the interval or more before `now`. Before the first one the
    // last counts as tick 0, long past on a clock that runs from the machine's start: the first
    // check is due.
    bool due(std::int64_t now) const { return now - m_last >= m_intervalMs; }
    bool due() const { return due(tickCount()); }
    // Records a refresh at `now`. A loop that calls it as it begins waits one interval for its
    // first refresh.
    void refreshed(std::int64_t now) { m_last = now; }
    void refreshed() { refreshed(tickCount()); }

    // When due: runs `show` (which puts the deferred values on the screen), pumps messages and
    // restarts the interval. Returns whether it pumped.
    template <typename Show> bool pump(Show&& show)
    {
        if (!due())
            return false;
        show();
        PumpMessages();
        refreshed();
        return true;
    }
    bool pump()
    {
        return pump([] {});
    }

private:
    std::int64_t m_intervalMs;
    std::int64_t m_last = 0;
};

} // namespace bw
