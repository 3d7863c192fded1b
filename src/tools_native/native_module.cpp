// The private helper module of the command-line tool: what the tool needs of the
// core that the ravir module does not offer. Loads that return their problems as
// data instead of writing them to standard error, the palette codec on bytes, the
// indices each frame draws, and building an animation from images.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "anim/frame_indices.h"
#include "anim/orv_codec.h"
#include "anim/orv_file.h"
#include "anim/orv_format.h"
#include "anim/run_encoder.h"
#include "palette/pal_codec.h"
#include "python/os_error.h"

namespace py = pybind11;

namespace {

using Rgba = std::tuple<std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t>;

std::span<const std::uint8_t> bytesOf(const py::bytes& bytes)
{
    const auto view = static_cast<std::string_view>(bytes);
    return {reinterpret_cast<const std::uint8_t*>(view.data()), view.size()};
}

py::bytes toBytes(const std::vector<std::uint8_t>& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::vector<PalF::Color> toColors(const std::vector<Rgba>& colors)
{
    std::vector<PalF::Color> result;
    result.reserve(colors.size());
    for (const auto& [r, g, b, a] : colors) {
        result.push_back({r, g, b, a});
    }
    return result;
}

std::vector<Rgba> toTuples(const std::vector<PalF::Color>& colors)
{
    std::vector<Rgba> result;
    result.reserve(colors.size());
    for (const PalF::Color& c : colors) {
        result.emplace_back(c.r, c.g, c.b, c.a);
    }
    return result;
}

// One load's results. `file` owns the frames of `data`: they live as long as it does.
struct Loaded {
    py::object file;
    std::shared_ptr<OrvData> data;
    std::vector<OrvFrameBufferObject> images;
    std::vector<ravir::Problem> problems;
    std::string palette_path;
    bool opened = false;
};

Loaded load(const std::filesystem::path& fileName, const std::filesystem::path& palette,
            const std::optional<std::vector<Rgba>>& colors, int colorModel)
{
    // Made through the ravir module's class, so that Python holds it as it holds its own.
    py::object object = py::module_::import("ravir").attr("OrvF")();
    OrvF* const file = object.cast<OrvF*>();
    file->data()->palette->colorModel(colorModel);
    OrvF::LoadRequest request{fileName.native(), 0, palette.native(), std::nullopt};
    if (colors) {
        request.palette_colors = toColors(*colors);
    }
    ravir::ProblemList problems;
    OrvF::LoadReport report;
    ravir::python::fileErrorsAsOSError([&] {
        const py::gil_scoped_release released;  // nothing else can reach this object yet
        file->load(request, problems, report);
    });
    Loaded loaded;
    loaded.data = file->data();
    loaded.images = file->getFrameBuffer();
    loaded.problems = std::move(problems.problems);
    loaded.palette_path = std::move(report.palette_path);
    loaded.opened = report.opened;
    loaded.file = std::move(object);
    return loaded;
}

// The colors of a palette file's bytes, read as OrvF.load reads them, or None for a
// count the format refuses; and the problems met.
std::tuple<std::optional<std::vector<Rgba>>, std::vector<ravir::Problem>> decodePalette(const py::bytes& bytes,
                                                                                          int colorModel)
{
    ravir::ProblemList problems;
    std::vector<PalF::Color> colors;
    if (ravir::decodePalette(bytesOf(bytes), colorModel, colors, problems) != 1) {
        return {std::nullopt, std::move(problems.problems)};
    }
    return {toTuples(colors), std::move(problems.problems)};
}

// The indices frame `index` of `data` draws, which pixels it draws, and how many
// pixels each index draws.
std::tuple<py::bytes, py::bytes, std::vector<std::uint64_t>> frameIndicesOf(const std::shared_ptr<OrvData>& data,
                                                                            std::size_t index)
{
    if (index >= data->frames.size()) {
        throw py::index_error("there is no frame " + std::to_string(index));
    }
    const ravir::FrameIndices frame = ravir::frameIndices(data->frames[index]);
    return {toBytes(frame.indices), toBytes(frame.drawn), {frame.counts.begin(), frame.counts.end()}};
}

// Plain tuples, which Python makes far faster than objects: a file may hold many frames.
std::vector<std::tuple<std::uint16_t, std::uint16_t, std::int16_t, std::int16_t, bool>> framePlaces(
    const py::bytes& data)
{
    std::vector<std::tuple<std::uint16_t, std::uint16_t, std::int16_t, std::int16_t, bool>> places;
    for (const ravir::FrameHeader& header : ravir::frameHeaders(bytesOf(data))) {
        places.emplace_back(header.width, header.height, header.x_offset, header.y_offset, header.shadow);
    }
    return places;
}

// The rows and runs each frame of `data` holds, counted without a Python object per row.
std::vector<std::pair<std::size_t, std::size_t>> rowsAndRuns(const std::shared_ptr<OrvData>& data)
{
    std::vector<std::pair<std::size_t, std::size_t>> counts;
    counts.reserve(data->frames.size());
    for (const OrvFrame& frame : data->frames) {
        std::size_t runs = 0;
        for (const OrvPixelSet& row : frame.pixel_sets) {
            runs += row.blocks.size();
        }
        counts.emplace_back(frame.pixel_sets.size(), runs);
    }
    return counts;
}

// Collects frames into a new animation and encodes it with the core's codec. With
// `background`, the last frame added is the background frame.
class AnimationWriter {
public:
    AnimationWriter(std::uint32_t speed, bool background)
    {
        tree_.info.speed = speed;
        tree_.has_background = background;
    }

    void addFrame(std::size_t width, std::size_t height, const py::bytes& indices, const py::bytes& opaque,
                  std::int16_t xOffset, std::int16_t yOffset, bool shadow)
    {
        OrvFrame frame = ravir::encodeFrame({width, height, bytesOf(indices), bytesOf(opaque)}, shadow);
        frame.x_offset = xOffset;
        frame.y_offset = yOffset;
        ravir::appendFrame(tree_, std::move(frame), afterShadow_);
        afterShadow_ = afterShadow_ || shadow;
    }

    py::bytes encode(const std::string& paletteLocation) const
    {
        return toBytes(ravir::encodeAnimation(tree_, paletteLocation));
    }

private:
    OrvData tree_;
    bool afterShadow_ = false;  // whether a shadow frame was added
};

}  // namespace

PYBIND11_MODULE(_native, m)
{
    m.doc() = "Native helpers of the ravir command-line tool";
    // The classes a load returns are the ravir module's own.
    py::module_::import("ravir");

    py::class_<ravir::Problem>(m, "Problem")
        .def_property_readonly("kind",
                               [](const ravir::Problem& p) {
                                   return p.kind == ravir::Problem::Kind::error ? "error" : "warning";
                               })
        // Messages may quote file names, which need not be UTF-8.
        .def_property_readonly("message", [](const ravir::Problem& p) { return ravir::python::fileText(p.message); })
        .def_readonly("frame", &ravir::Problem::frame)
        .def_readonly("field", &ravir::Problem::field)
        .def("__repr__", [](const ravir::Problem& p) {
            return ravir::python::fileText(std::string("Problem(") +
                                           (p.kind == ravir::Problem::Kind::error ? "error" : "warning") + ", " +
                                           p.message + ")");
        });

    py::class_<Loaded>(m, "Loaded")
        .def_readonly("file", &Loaded::file)
        .def_readonly("data", &Loaded::data)
        .def_readonly("images", &Loaded::images)
        .def_readonly("problems", &Loaded::problems)
        .def_property_readonly("palette_path", [](const Loaded& l) { return ravir::python::fileText(l.palette_path); })
        .def_readonly("opened", &Loaded::opened);

    m.def("load", &load, py::arg("file_name"), py::arg("palette") = "", py::arg("colors") = py::none(),
          py::arg("color_model") = 0,
          "Loads an animation as OrvF.load does, with `palette` in place of the one it names, or `colors` "
          "in place of any palette file, and returns what it found, problems included.");

    m.def(
        "peek_header",
        [](const py::bytes& data) {
            const ravir::HeaderPeek peek = ravir::peekHeader(bytesOf(data));
            const ravir::FileHeader& file = peek.file;
            return py::make_tuple(file.has_background, file.speed, file.location_size, file.location_offset,
                                  py::bytes(reinterpret_cast<const char*>(file.location.data()), file.location.size()),
                                  file.frame_count, file.size, peek.complete);
        },
        py::arg("data"),
        "The header at the start of `data`, as a load reads it: background flag, speed, location size, where the "
        "location starts, the bytes of it `data` holds, frame count, the header's size, and whether `data` held it "
        "whole (fields past its end read as zeros).");

    m.attr("FRAME_HEADER_SIZE") = ravir::orv::kFrameHeaderSize;  // the least a frame record takes
    m.def("frame_headers", &framePlaces, py::arg("data"),
          "The width, height, x and y offsets and shadow flag of every frame record that starts within the "
          "animation file's bytes `data`, as a load decodes them, without decoding or rendering: the frames "
          "after these have no pixels. ValueError for a frame count the file cannot hold.");

    m.def("decode_palette", &decodePalette, py::arg("data"), py::arg("color_model") = 0,
          "The colors of a palette file's bytes (None when its count is refused) and the problems met.");
    m.def(
        "encode_palette",
        [](const std::vector<Rgba>& colors, int colorModel) {
            return toBytes(ravir::encodePalette(toColors(colors), colorModel));
        },
        py::arg("colors"), py::arg("color_model") = 0, "The bytes of a palette file holding `colors`.");

    m.def(
        "find_palette",
        [](const std::string& animation, const std::string& location) {
            return OrvF::resolvePalPath(animation, location).string();
        },
        py::arg("animation_path"), py::arg("location"),
        "The palette file a load of the animation at `animation_path` (absolute) finds for the stored "
        "`location`, searching from the animation's folder upwards; \"\" when there is none.");

    m.def("stored_location", &OrvF::storedLocation, py::arg("project_root"), py::arg("palette_path"),
          "The palette location an animation stores for `palette_path` under `project_root`.");

    m.def("frame_indices", &frameIndicesOf, py::arg("data"), py::arg("index"),
          "The palette indices frame `index` of `data` draws (row-major, 0 in gaps and shadow frames), "
          "a mask of the pixels it draws (1 drawn, 0 gap) and the count of drawn pixels per index.");
    m.def("rows_and_runs", &rowsAndRuns, py::arg("data"), "The rows and the runs each frame of `data` holds.");
    m.def(
        "has_pixels", [](const OrvFrameBufferObject& image) { return !image.pixels.empty(); }, py::arg("image"),
        "Whether a rendered frame holds pixels; one of some size holds none when the render passed its size limit.");

    py::class_<AnimationWriter>(m, "AnimationWriter")
        .def(py::init<std::uint32_t, bool>(), py::arg("speed"), py::arg("background") = false)
        .def("add_frame", &AnimationWriter::addFrame, py::arg("width"), py::arg("height"), py::arg("indices"),
             py::arg("opaque"), py::arg("x_offset"), py::arg("y_offset"), py::arg("shadow"))
        .def("encode", &AnimationWriter::encode, py::arg("palette_location"),
             "The bytes of the animation file, naming its palette `palette_location`.");
}
