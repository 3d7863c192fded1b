#include "python/animation_lock.h"

#include <cstddef>
#include <type_traits>
#include <unordered_map>

namespace ravir::python {

namespace {

struct Entry {
    std::mutex mutex;
    std::size_t users = 0;  // holding or waiting
};

// The entries of the keys in use. Its own mutex is only ever held for a lookup, never
// while waiting for anything else. Never destroyed: locks are taken while the
// interpreter shuts down.
struct Table {
    std::mutex mutex;
    std::unordered_map<const void*, Entry> entries;
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
    Entry& entry = locks.entries[key];  // the node and its mutex stay where they are until erased
    ++entry.users;
    return entry.mutex;
}

void leave(const void* key)
{
    Table& locks = table();
    const std::lock_guard guard(locks.mutex);
    const auto found = locks.entries.find(key);
    if (--found->second.users == 0) {
        locks.entries.erase(found);
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
