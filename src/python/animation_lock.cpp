#include "python/animation_lock.h"

#include <algorithm>
#include <cstddef>
#include <type_traits>
#include <vector>

namespace ravir::python {

namespace {

struct Entry {
    const void* key = nullptr;
    std::size_t users = 0;  // holding or waiting
    std::mutex mutex;
};

// The entries of the keys in use: as many as threads in calls at once, so a list
// searched from end to end, whose entries are kept for reuse rather than allocated
// for every call. Its own mutex is only ever held for a lookup, never while waiting for
// anything else. Never destroyed: locks are taken while the interpreter shuts down.
struct Table {
    std::mutex mutex;
    std::vector<Entry*> inUse;
    std::vector<Entry*> idle;
};

Table& table()
{
    static auto* const instance = new Table;
    return *instance;
}

std::mutex& join(const void* key)
{
    Table& locks = table();
    const std::lock_guard guard(locks.mutex);
    const auto found = std::find_if(locks.inUse.begin(), locks.inUse.end(), [key](Entry* e) { return e->key == key; });
    Entry* entry = found != locks.inUse.end() ? *found : nullptr;
    if (entry == nullptr) {
        if (locks.idle.empty()) {
            locks.idle.push_back(new Entry);
        }
        entry = locks.idle.back();
        locks.idle.pop_back();
        entry->key = key;
        locks.inUse.push_back(entry);
    }
    ++entry->users;
    return entry->mutex;
}

void leave(const void* key)
{
    Table& locks = table();
    const std::lock_guard guard(locks.mutex);
    const auto found = std::find_if(locks.inUse.begin(), locks.inUse.end(), [key](Entry* e) { return e->key == key; });
    Entry* entry = *found;
    if (--entry->users == 0) {
        *found = locks.inUse.back();
        locks.inUse.pop_back();
        locks.idle.push_back(entry);
    }
}

}  // namespace

const void* lockKey(const PalF& palette)
{
    return &palette;
}

const void* lockKey(const OrvData& tree)
{
    return tree.palette ? lockKey(*tree.palette) : &tree;
}

// The info is the tree's first member, and a first member of a standard-layout class
// shares the address of its object.
static_assert(std::is_standard_layout_v<OrvData> && offsetof(OrvData, info) == 0);

const OrvData& treeOf(const OrvInfo& info)
{
    return *reinterpret_cast<const OrvData*>(&info);
}

AnimationLock::AnimationLock(const void* key, Wait wait) : key_(key), mutex_(join(key)), held_(true)
{
    if (wait == Wait::yes) {
        mutex_.lock();
    } else {
        held_ = mutex_.try_lock();
    }
}

AnimationLock::~AnimationLock()
{
    if (held_) {
        mutex_.unlock();
    }
    leave(key_);
}

}  // namespace ravir::python
