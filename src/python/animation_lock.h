#pragma once

#include <pybind11/pybind11.h>

#include <mutex>

#include "anim/orv_data.h"

namespace ravir::python {

namespace py = pybind11;

// One lock serialises the calls on an animation: its OrvF, its OrvData, the frames,
// rows and runs of that tree, its palette and renders of it. Calls on different
// animations run side by side, the GIL released while the core reads, decodes,
// renders and writes.
//
// Two rules keep these locks free of deadlocks with the GIL and with each other:
// nobody waits for one of them while holding the GIL, and nobody calls into Python
// (which may run any code, a collection for one) while holding one. No call holds
// two of them.
//
// A tree's palette is never replaced and may be held apart from its tree, so the
// palette's address names the lock of the whole animation; a palette made on its
// own has a lock of its own the same way. Callers keep the object that names the
// lock alive while they hold or wait for it, so that no other object can take its
// address meanwhile.
const void* lockKey(const PalF& palette);
const void* lockKey(const OrvData& tree);
// The tree an OrvInfo belongs to: Python reaches one only as an OrvData's `info`.
const OrvData& treeOf(const OrvInfo& info);

// The lock named by one key while this object lives. The entry for a key exists only
// while someone holds or waits for it.
class AnimationLock {
public:
    enum class Wait { yes, no };

    // With Wait::no, only takes the lock if it is free (see held()).
    explicit AnimationLock(const void* key, Wait wait = Wait::yes);
    ~AnimationLock();
    AnimationLock(const AnimationLock&) = delete;
    AnimationLock& operator=(const AnimationLock&) = delete;

    bool held() const { return held_; }

private:
    const void* key_;
    std::mutex& mutex_;
    bool held_;
};

// Runs `work`, which must not touch Python, with the lock of `key` held: for short
// calls. The GIL is kept when the lock is free, and let go while waiting for it.
template <class Work>
auto whileLocked(const void* key, Work&& work) -> decltype(work())
{
    {
        const AnimationLock attempt(key, AnimationLock::Wait::no);
        if (attempt.held()) {
            return work();
        }
    }
    const py::gil_scoped_release released;
    const AnimationLock lock(key);  // let go before the GIL is taken back
    return work();
}

// Runs `work`, which must not touch Python, with the lock of `key` held and the GIL
// released throughout: for calls that read or write files or walk a whole tree.
template <class Work>
auto withoutGil(const void* key, Work&& work) -> decltype(work())
{
    const py::gil_scoped_release released;
    const AnimationLock lock(key);
    return work();
}

}  // namespace ravir::python
