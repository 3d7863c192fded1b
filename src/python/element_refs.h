#pragma once

#include <pybind11/pybind11.h>

#include <compare>
#include <cstdint>
#include <map>
#include <memory>

#include "anim/orv_data.h"

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
// access and raises ReferenceError once that element is gone.
template <class Element>
class ElementRef {
public:
    ElementRef(std::shared_ptr<TreeView> view, ElementPath path);
    ~ElementRef();
    ElementRef(const ElementRef&) = delete;
    ElementRef& operator=(const ElementRef&) = delete;

    Element& get() const;
    const ElementPath& path() const { return path_; }
    const std::shared_ptr<TreeView>& view() const { return view_; }

private:
    std::shared_ptr<TreeView> view_;
    std::uint64_t generation_;
    ElementPath path_;
};

using FrameRef = ElementRef<OrvFrame>;
using RowRef = ElementRef<OrvPixelSet>;
using BlockRef = ElementRef<OrvPixelBlock>;

// The Python side of one animation tree while references into it exist: the
// generation of its content and the live reference objects of that generation, so
// that reaching an element again yields the same Python object.
class TreeView : public std::enable_shared_from_this<TreeView> {
public:
    explicit TreeView(std::shared_ptr<OrvData> tree) : tree_(std::move(tree)) {}
    ~TreeView();

    static std::shared_ptr<TreeView> of(const std::shared_ptr<OrvData>& tree);
    // Makes every reference taken so far stale; called before a load refills `tree`.
    static void invalidate(const OrvData& tree);

    OrvData& tree() const { return *tree_; }
    std::uint64_t generation() const { return generation_; }

    // The live object for the element at `path`, or a new one that keeps `parent` alive.
    template <class Element>
    py::object objectFor(ElementPath path, py::handle parent);

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
    };

    template <class Element>
    static constexpr int levelOf();

    std::shared_ptr<OrvData> tree_;
    std::uint64_t generation_ = 0;
    std::map<Key, Live> live_;
};

}  // namespace ravir::python
