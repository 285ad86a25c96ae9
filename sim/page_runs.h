// Runs of pages or frames that follow each other, so that one host call
// serves a whole run instead of one page at a time.
#pragma once

#include <cstddef>

namespace sim {

// Calls `act(first, count)` for each run of items [first, first + count) in
// which `follows(k)` holds for every item k after the first; stops at the
// first run `act` refuses and returns false then.
template <typename Follows, typename Act>
bool forEachRun(size_t items, Follows follows, Act act) {
    for (size_t first = 0; first < items;) {
        size_t end = first + 1;
        while (end < items && follows(end))
            ++end;
        if (!act(first, end - first))
            return false;
        first = end;
    }
    return true;
}

} // namespace sim
