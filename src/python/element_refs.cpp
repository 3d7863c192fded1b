#include "python/element_refs.h"

#include <mutex>
#include <string>
#include <unordered_map>

namespace ravir::python {

namespace {

template <class Element>
constexpr const char* kClassName = std::is_same_v<Element, OrvFrame>      ? "OrvFrame"
                                   : std::is_same_v<Element, OrvPixelSet> ? "OrvPixelSet"
                                                                          : "OrvPixelBlock";

// The element at `path`, or null when the tree no longer holds it.
template <class Element>
Element* locate(OrvData& tree, const ElementPath& path)
{
    if (path.frame >= tree.frames.size()) {
        return nullptr;
    }
    OrvFrame& frame = tree.frames[path.frame];
    if constexpr (std::is_same_v<Element, OrvFrame>) {
        return &frame;
    } else {
        if (path.row >= frame.pixel_sets.size()) {
            return nullptr;
        }
        OrvPixelSet& row = frame.pixel_sets[path.row];
        if constexpr (std::is_same_v<Element, OrvPixelSet>) {
            return &row;
        } else {
            return path.block < row.blocks.size() ? &row.blocks[path.block] : nullptr;
        }
    }
}

// The view of each tree that has one. A load invalidates its tree's view without the
// GIL, so the map has a mutex of its own, held for lookups only.
struct Views {
    std::mutex mutex;
    std::unordered_map<const OrvData*, std::weak_ptr<TreeView>> byTree;
};

// Never destroyed: views may outlive module teardown at interpreter exit.
Views& views()
{
    static auto* const instance = new Views;
    return *instance;
}

}  // namespace

template <class Element>
ElementRef<Element>::ElementRef(std::shared_ptr<TreeView> view, ElementPath path, std::uint64_t generation)
    : view_(std::move(view)), generation_(generation), path_(path)
{
}

template <class Element>
ElementRef<Element>::~ElementRef()
{
    view_->forget(path_, this);
}

template <class Element>
Element* ElementRef<Element>::find() const
{
    return generation_ == view_->generation() ? locate<Element>(view_->tree(), path_) : nullptr;
}

template <class Element>
void ElementRef<Element>::raiseGone()
{
    PyErr_SetString(PyExc_ReferenceError,
                    (std::string(kClassName<Element>) +
                     " no longer exists: its animation was reloaded or its OrvF was destroyed")
                        .c_str());
    throw py::error_already_set();
}

TreeView::~TreeView()
{
    Views& all = views();
    const std::lock_guard guard(all.mutex);
    const auto found = all.byTree.find(tree_.get());
    if (found != all.byTree.end() && found->second.expired()) {
        all.byTree.erase(found);
    }
}

std::shared_ptr<TreeView> TreeView::of(const std::shared_ptr<OrvData>& tree)
{
    Views& all = views();
    std::shared_ptr<TreeView> view;
    const std::lock_guard guard(all.mutex);
    std::weak_ptr<TreeView>& slot = all.byTree[tree.get()];
    view = slot.lock();
    if (!view) {
        view = std::make_shared<TreeView>(tree);
        slot = view;
    }
    return view;
}

void TreeView::invalidate(const OrvData& tree)
{
    std::shared_ptr<TreeView> view;  // dropped after the map's mutex: it may be the last holder
    {
        Views& all = views();
        const std::lock_guard guard(all.mutex);
        const auto found = all.byTree.find(&tree);
        if (found == all.byTree.end()) {
            return;  // nothing refers into this tree
        }
        view = found->second.lock();
    }
    if (view) {
        ++view->generation_;
    }
}

template <class Element>
constexpr int TreeView::levelOf()
{
    return std::is_same_v<Element, OrvFrame> ? 0 : std::is_same_v<Element, OrvPixelSet> ? 1 : 2;
}

template <class Element>
py::object TreeView::objectFor(ElementPath path, std::uint64_t generation, py::handle parent)
{
    const Key key{levelOf<Element>(), path};
    const auto found = live_.find(key);
    if (found != live_.end() && found->second.generation == generation) {
        return py::reinterpret_borrow<py::object>(found->second.object);
    }
    auto ref = std::make_unique<ElementRef<Element>>(shared_from_this(), path, generation);
    const void* id = ref.get();
    py::object object = py::cast(std::move(ref));
    // A stale object keeps its entry only until one of a later content replaces it.
    auto& entry = live_[key];
    if (entry.object == nullptr || entry.generation <= generation) {
        entry = Live{object.ptr(), id, generation};
    }
    py::detail::keep_alive_impl(object, parent);
    return object;
}

template <class Element>
void TreeView::forget(ElementPath path, const ElementRef<Element>* ref)
{
    const auto found = live_.find(Key{levelOf<Element>(), path});
    if (found != live_.end() && found->second.ref == ref) {
        live_.erase(found);
    }
}

template class ElementRef<OrvFrame>;
template class ElementRef<OrvPixelSet>;
template class ElementRef<OrvPixelBlock>;
template py::object TreeView::objectFor<OrvFrame>(ElementPath, std::uint64_t, py::handle);
template py::object TreeView::objectFor<OrvPixelSet>(ElementPath, std::uint64_t, py::handle);
template py::object TreeView::objectFor<OrvPixelBlock>(ElementPath, std::uint64_t, py::handle);

}  // namespace ravir::python
