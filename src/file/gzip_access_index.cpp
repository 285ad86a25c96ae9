#include "file/gzip_access_index.h"

#include <algorithm>

void GzipAccessIndex::addMemberStart(uint64_t output, uint64_t input) {
    // A member without data starts where the next one does; the later start wins.
    if (!points_.empty() && points_.back().output == output && points_.back().member_start) {
        points_.back().input = input;
        return;
    }
    Point point;
    point.output = output;
    point.input = input;
    point.member_start = true;
    points_.push_back(std::move(point));
}

bool GzipAccessIndex::wantsPoint(uint64_t output) const {
    return points_.empty() || output - points_.back().output >= spacing_;
}

uint8_t* GzipAccessIndex::addPoint(uint64_t output, uint64_t input, int bits, uint32_t window_size) {
    Point point;
    point.output = output;
    point.input = input;
    point.bits = bits;
    point.window = localArray<uint8_t>(window_size);
    if (point.window == nullptr)
        return nullptr;
    point.window_size = window_size;
    points_.push_back(std::move(point));
    return points_.back().window.get();
}

const GzipAccessIndex::Point* GzipAccessIndex::before(uint64_t output) const {
    auto after = std::upper_bound(points_.begin(), points_.end(), output,
                                  [](uint64_t value, const Point& point) { return value < point.output; });
    return after == points_.begin() ? nullptr : &*(after - 1);
}

const GzipAccessIndex::Point* GzipAccessIndex::memberStartAt(uint64_t output) const {
    for (auto it = points_.rbegin(); it != points_.rend(); ++it) {
        if (it->output < output)
            break;
        if (it->output == output && it->member_start)
            return &*it;
    }
    return nullptr;
}

uint64_t GzipAccessIndex::windowBytes() const {
    uint64_t total = 0;
    for (const Point& point : points_)
        total += point.window_size;
    return total;
}

uint64_t GzipAccessIndex::recordBytes() const {
    return points_.capacity() * sizeof(Point);
}
