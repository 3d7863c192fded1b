#include "python/element_refs.h"

#include <type_traits>
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

// Never destroyed: views may outlive module teardown at interpreter exit.
std::unordered_map<const OrvData*, std::weak_ptr<TreeView>>& views()
{
    static auto* byTree = new std::unordered_map<const OrvData*, std::weak_ptr<TreeView>>();
    return *byTree;
}

}  // namespace

template <class Element>
ElementRef<Element>::ElementRef(std::shared_ptr<TreeView> view, ElementPath path)
    : view_(std::move(view)), generation_(view_->generation()), path_(path)
{
}

template <class Element>
ElementRef<Element>::~ElementRef()
{
    view_->forget(path_, this);
}

template <class Element>
Element& ElementRef<Element>::get() const
{
    Element* element = generation_ == view_->generation() ? locate<Element>(view_->tree(), path_) : nullptr;
    if (element == nullptr) {
        PyErr_SetString(PyExc_ReferenceError,
                        (std::string(kClassName<Element>) +
                         " no longer exists: its animation was reloaded or its OrvF was destroyed")
                            .c_str());
        throw py::error_already_set();
    }
    return *element;
}

TreeView::~TreeView()
{
    const auto found = views().find(tree_.get());
    if (found != views().end() && found->second.expired()) {
        views().erase(found);
    }
}

std::shared_ptr<TreeView> TreeView::of(const std::shared_ptr<OrvData>& tree)
{
    std::weak_ptr<TreeView>& slot = views()[tree.get()];
    if (auto view = slot.lock()) {
        return view;
    }
    auto view = std::make_shared<TreeView>(tree);
    slot = view;
    return view;
}

void TreeView::invalidate(const OrvData& tree)
{
    const auto found = views().find(&tree);
    if (found == views().end()) {
        return;  // nothing refers into this tree
    }
    if (auto view = found->second.lock()) {
        ++view->generation_;
        view->live_.clear();
    }
}

template <class Element>
constexpr int TreeView::levelOf()
{
    return std::is_same_v<Element, OrvFrame> ? 0 : std::is_same_v<Element, OrvPixelSet> ? 1 : 2;
}

template <class Element>
py::object TreeView::objectFor(ElementPath path, py::handle parent)
{
    const Key key{levelOf<Element>(), path};
    if (const auto found = live_.find(key); found != live_.end()) {
        return py::reinterpret_borrow<py::object>(found->second.object);
    }
    auto ref = std::make_unique<ElementRef<Element>>(shared_from_this(), path);
    const void* id = ref.get();
    py::object object = py::cast(std::move(ref));
    live_[key] = Live{object.ptr(), id};
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
template py::object TreeView::objectFor<OrvFrame>(ElementPath, py::handle);
template py::object TreeView::objectFor<OrvPixelSet>(ElementPath, py::handle);
template py::object TreeView::objectFor<OrvPixelBlock>(ElementPath, py::handle);

}  // namespace ravir::python
