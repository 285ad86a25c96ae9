// How many 4 KB pages of a host range are resident (mincore), for tests of
// when the simulated RAM takes host memory.
#pragma once

#include <algorithm>
#include <cstddef>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <vector>

inline size_t residentPages(void* address, size_t size) {
    std::vector<unsigned char> pages(size / 4096);
    EXPECT_EQ(mincore(address, size, pages.data()), 0);
    return static_cast<size_t>(
        std::count_if(pages.begin(), pages.end(), [](unsigned char p) { return p & 1; }));
}
