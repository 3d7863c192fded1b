#pragma once

#include <pybind11/pybind11.h>

#include <compare>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "anim/orv_data.h"
#include "python/animation_lock.h"

namespace ravir::python {

namespace py = pybind11;

// Where a frame, row or run sits in its animation tree.
struct ElementPath {
    std::uint32_t frame = 0;
    std::uint32_t row = 0;
    std::uint32_t block = 0;

    auto operator<=>(const ElementPath&) const = default;
};

class TreeView;

// What Python holds for one frame, row or run of an animation tree. A reload
// refills the tree's vectors and the destruction of its OrvF empties them, so a
// plain pointer into them would dangle: a reference looks its element up on every
// access, with the animation's lock held, and raises ReferenceError once that
// element is gone.
template <class Element>
class ElementRef {
public:
    // A reference into the content that `view`'s tree held at `generation`.
    ElementRef(std::shared_ptr<TreeView> view, ElementPath path, std::uint64_t generation);
    ~ElementRef();
    ElementRef(const ElementRef&) = delete;
    ElementRef& operator=(const ElementRef&) = delete;

    // Calls `use(element)` with the animation's lock held and returns what it returns;
    // raises ReferenceError when the element is gone. `use` must not touch Python.
    template <class Use>
    auto with(Use&& use) const -> decltype(use(std::declval<Element&>()));

    const ElementPath& path() const { return path_; }
    std::uint64_t generation() const { return generation_; }
    const std::shared_ptr<TreeView>& view() const { return view_; }

private:
    // The element, or null when the tree no longer holds it; with the lock held.
    Element* find() const;
    [[noreturn]] static void raiseGone();

    std::shared_ptr<TreeView> view_;
    std::uint64_t generation_;
    ElementPath path_;
};

using FrameRef = ElementRef<OrvFrame>;
using RowRef = ElementRef<OrvPixelSet>;
using BlockRef = ElementRef<OrvPixelBlock>;

// The Python side of one animation tree while references into it exist: the
// generation of its content and the live reference objects, so that reaching an
// element again yields the same Python object.
class TreeView : public std::enable_shared_from_this<TreeView> {
public:
    explicit TreeView(std::shared_ptr<OrvData> tree) : tree_(std::move(tree)) {}
    ~TreeView();

    static std::shared_ptr<TreeView> of(const std::shared_ptr<OrvData>& tree);
    // Makes every reference taken so far stale; called, with the animation's lock
    // held, once a load has refilled `tree`.
    static void invalidate(const OrvData& tree);

    OrvData& tree() const { return *tree_; }
    // Read and changed only with the animation's lock held.
    std::uint64_t generation() const { return generation_; }

    // The live object for the element at `path` in the content of `generation`, or a
    // new one that keeps `parent` alive. Needs the GIL.
    template <class Element>
    py::object objectFor(ElementPath path, std::uint64_t generation, py::handle parent);

    template <class Element>
    void forget(ElementPath path, const ElementRef<Element>* ref);

private:
    struct Key {
        int level;
        ElementPath path;
        auto operator<=>(const Key&) const = default;
    };
    struct Live {
        PyObject* object;  // borrowed: the entry goes when the object's reference dies
        const void* ref;
        std::uint64_t generation;
    };

    template <class Element>
    static constexpr int levelOf();

    std::shared_ptr<OrvData> tree_;
    std::uint64_t generation_ = 0;
    std::map<Key, Live> live_;  // touched only with the GIL
};

template <class Element>
template <class Use>
auto ElementRef<Element>::with(Use&& use) const -> decltype(use(std::declval<Element&>()))
{
    using Result = decltype(use(std::declval<Element&>()));
    const void* key = lockKey(view_->tree());
    if constexpr (std::is_void_v<Result>) {
        const bool found = whileLocked(key, [&] {
            Element* element = find();
            if (element != nullptr) {
                use(*element);
            }
            return element != nullptr;
        });
        if (!found) {
            raiseGone();
        }
    } else {
        std::optional<Result> result = whileLocked(key, [&] {
            Element* element = find();
            return element != nullptr ? std::optional<Result>(use(*element)) : std::nullopt;
        });
        if (!result) {
            raiseGone();
        }
        return std::move(*result);
    }
}

}  // namespace ravir::python
