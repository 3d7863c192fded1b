#include "anim/spare_frames.h"

#include <mutex>
#include <utility>

namespace ravir {

namespace {

struct Spare {
    std::mutex mutex;
    SpareFrames::Frames frames;
};

// Never destroyed: file objects may be destroyed while the program shuts down.
Spare& spare()
{
    static auto* const instance = new Spare;
    return *instance;
}

}  // namespace

void SpareFrames::keep(Frames frames)
{
    if (frames.fileBytes <= kMaxFileBytes && !frames.frames.empty()) {
        const std::lock_guard lock(spare().mutex);
        std::swap(frames, spare().frames);
    }
    // Whatever is not kept is freed here, outside the lock.
}

SpareFrames::Frames SpareFrames::take()
{
    const std::lock_guard lock(spare().mutex);
    return std::exchange(spare().frames, {});
}

}  // namespace ravir
