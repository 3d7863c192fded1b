#include <pybind11/stl.h>
#include <pybind11/typing.h>

#include "python/bindings.h"
#include "python/element_refs.h"

namespace ravir::python {

namespace {

// Signatures name the element classes as the library does: they are registered
// only after the classes whose lists hold them.
using FrameList = py::typing::List<py::typing::TypeVar<"OrvFrame">>;
using RowList = py::typing::List<py::typing::TypeVar<"OrvPixelSet">>;
using BlockList = py::typing::List<py::typing::TypeVar<"OrvPixelBlock">>;

// Bound as a method of `cls`, so that its signature names its first argument self.
template <class Class, class Function>
py::cpp_function method(const Class& cls, Function&& function)
{
    return py::cpp_function(std::forward<Function>(function), py::is_method(cls));
}

// A read-write attribute of a frame, row or run, reached through its reference.
template <class Element, class Value>
void bindField(py::class_<ElementRef<Element>>& cls, const char* name, Value Element::*field)
{
    cls.def_property(
        name,
        method(cls, [field](const ElementRef<Element>& ref) -> Value {
            return ref.with([field](Element& element) { return element.*field; });
        }),
        method(cls, [field](const ElementRef<Element>& ref, Value value) {
            ref.with([field, value](Element& element) { element.*field = value; });
        }));
}

// The Python object of an element reference, which the lists it hands out keep alive.
template <class Ref>
py::object objectOf(const Ref& ref)
{
    return py::cast(&ref, py::return_value_policy::reference);
}

// A new list of the live objects for `count` elements of `view`'s tree as it was at
// `generation`.
template <class Element, class List, class PathOf>
List elementList(TreeView& view, std::uint64_t generation, std::size_t count, py::handle parent, PathOf pathOf)
{
    List list(count);
    for (std::size_t i = 0; i < count; ++i) {
        list[i] = view.objectFor<Element>(pathOf(static_cast<std::uint32_t>(i)), generation, parent);
    }
    return list;
}

// The list of the elements below the one `ref` names, of which `countOf` tells the number.
template <class Child, class List, class Element, class CountOf>
List childList(const ElementRef<Element>& ref, CountOf countOf)
{
    const std::size_t count = ref.with(countOf);
    const ElementPath at = ref.path();
    return elementList<Child, List>(*ref.view(), ref.generation(), count, objectOf(ref), [at](std::uint32_t i) {
        if constexpr (std::is_same_v<Child, OrvPixelSet>) {
            return ElementPath{at.frame, i, 0};
        } else {
            return ElementPath{at.frame, at.row, i};
        }
    });
}

}  // namespace

void bindAnimationTree(py::module_& m)
{
    // Python reaches an OrvInfo only through its tree (treeOf), and keeps that alive.
    py::class_<OrvInfo> info(m, "OrvInfo");
    for (const auto& [name, field] : {std::pair{"speed", &OrvInfo::speed}, {"frame_count", &OrvInfo::frame_count}}) {
        info.def_property(
            name,
            method(info, [field](const OrvInfo& owner) {
                return whileLocked(lockKey(treeOf(owner)), [&] { return owner.*field; });
            }),
            method(info, [field](OrvInfo& owner, std::uint32_t value) {
                whileLocked(lockKey(treeOf(owner)), [&] { owner.*field = value; });
            }));
    }

    py::class_<OrvData, std::shared_ptr<OrvData>> data(m, "OrvData");
    data.def_readonly("info", &OrvData::info)
        .def_property_readonly("frames", method(data, [](const std::shared_ptr<OrvData>& tree) {
                                   const std::shared_ptr<TreeView> view = TreeView::of(tree);
                                   const auto [generation, count] = whileLocked(lockKey(*tree), [&] {
                                       return std::pair{view->generation(), tree->frames.size()};
                                   });
                                   return elementList<OrvFrame, FrameList>(
                                       *view, generation, count, py::cast(tree),
                                       [](std::uint32_t i) { return ElementPath{i, 0, 0}; });
                               }))
        .def_readonly("palette", &OrvData::palette)  // never replaced: read without the lock
        .def_property(
            "has_background",
            method(data, [](const OrvData& tree) { return whileLocked(lockKey(tree), [&] { return tree.has_background; }); }),
            method(data, [](OrvData& tree, bool value) {
                whileLocked(lockKey(tree), [&] { tree.has_background = value; });
            }));

    py::class_<FrameRef> frame(m, "OrvFrame");
    bindField(frame, "frame_size", &OrvFrame::frame_size);
    bindField(frame, "height", &OrvFrame::height);
    bindField(frame, "is_shadow", &OrvFrame::is_shadow);
    bindField(frame, "width", &OrvFrame::width);
    bindField(frame, "y_offset", &OrvFrame::y_offset);
    bindField(frame, "x_offset", &OrvFrame::x_offset);
    bindField(frame, "unk1", &OrvFrame::unk1);
    bindField(frame, "unk2", &OrvFrame::unk2);
    frame.def_property_readonly("pixel_sets", method(frame, [](const FrameRef& ref) {
        return childList<OrvPixelSet, RowList>(ref, [](OrvFrame& f) { return f.pixel_sets.size(); });
    }));

    py::class_<RowRef> row(m, "OrvPixelSet");
    bindField(row, "block_count", &OrvPixelSet::block_count);
    row.def_property_readonly("blocks", method(row, [](const RowRef& ref) {
        return childList<OrvPixelBlock, BlockList>(ref, [](OrvPixelSet& r) { return r.blocks.size(); });
    }));

    py::class_<BlockRef> block(m, "OrvPixelBlock");
    bindField(block, "offset", &OrvPixelBlock::offset);
    bindField(block, "color_count", &OrvPixelBlock::color_count);
    block.def_property_readonly("colors", method(block, [](const BlockRef& ref) {
        return ref.with([](OrvPixelBlock& run) { return run.colors; });
    }));
}

}  // namespace ravir::python
