#include "file/http_body_cache.h"

#include <cstring>

HttpBodyCache::Kept* HttpBodyCache::find(const char* target) {
    for (Kept& kept : kept_) {
        if (kept.target[0] != '\0' && std::strcmp(kept.target, target) == 0)
            return &kept;
    }
    return nullptr;
}

const HttpBodyCache::Kept* HttpBodyCache::find(const char* target) const {
    return const_cast<HttpBodyCache*>(this)->find(target);
}

void HttpBodyCache::keep(const char* target, HttpBody& body) {
    if (std::strlen(target) >= sizeof kept_[0].target)
        return;
    // The file's own place, else a free one, else the one kept longest.
    Kept* place = find(target);
    for (Kept& kept : kept_) {
        if (place == nullptr && kept.target[0] == '\0')
            place = &kept;
    }
    if (place == nullptr) {
        place = &kept_[0];
        for (Kept& kept : kept_) {
            if (kept.since < place->since)
                place = &kept;
        }
    }
    place->body.clear();
    place->body.swap(body);
    std::strcpy(place->target, target);
    place->dropped = false;
    place->since = ++clock_;
}

bool HttpBodyCache::take(const char* target, HttpBody& body) {
    Kept* kept = find(target);
    if (kept == nullptr || kept->dropped)
        return false;
    body.clear();
    body.swap(kept->body);
    kept->target[0] = '\0';
    return true;
}

bool HttpBodyCache::dropped(const char* target) const {
    const Kept* kept = find(target);
    return kept != nullptr && kept->dropped;
}

bool HttpBodyCache::drop() {
    bool released = false;
    for (Kept& kept : kept_) {
        if (kept.target[0] == '\0' || kept.dropped)
            continue;
        released = released || kept.body.size() > 0;
        kept.body.clear();
        kept.dropped = true;
    }
    return released;
}
