#include "anim/spare_frames.h"

#include <deque>
#include <mutex>
#include <utility>

namespace ravir {

namespace {

struct Spares {
    std::mutex mutex;
    std::deque<SpareFrames::Frames> kept;  // the oldest first
    std::size_t fileBytes = 0;  // of all of them
};

// Never destroyed: file objects may be destroyed while the program shuts down.
Spares& spares()
{
    static auto* const instance = new Spares;
    return *instance;
}

}  // namespace

void SpareFrames::keep(Frames frames)
{
    if (frames.fileBytes > kMaxFileBytes || frames.frames.empty()) {
        return;  // freed here, outside the lock
    }
    std::deque<Frames> surplus;
    {
        const std::lock_guard lock(spares().mutex);
        Spares& all = spares();
        all.fileBytes += frames.fileBytes;
        all.kept.push_back(std::move(frames));
        while (all.kept.size() > kMaxSpares || all.fileBytes > kMaxTotalFileBytes) {
            all.fileBytes -= all.kept.front().fileBytes;
            surplus.push_back(std::move(all.kept.front()));
            all.kept.pop_front();
        }
    }
    // The surplus is freed here, outside the lock.
}

SpareFrames::Frames SpareFrames::take()
{
    const std::lock_guard lock(spares().mutex);
    Spares& all = spares();
    if (all.kept.empty()) {
        return {};
    }
    Frames frames = std::move(all.kept.back());
    all.kept.pop_back();
    all.fileBytes -= frames.fileBytes;
    return frames;
}

}  // namespace ravir
