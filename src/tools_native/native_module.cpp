// The private helper module of the command-line tool: what the tool needs of the
// core that the ravir module does not offer. Loads that return their problems as
// data instead of writing them to standard error, the palette codec on bytes, and
// building an animation from images.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string_view>
#include <tuple>

#include "anim/orv_codec.h"
#include "anim/orv_file.h"
#include "anim/run_encoder.h"
#include "palette/pal_codec.h"

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

Loaded load(const std::string& fileName, const std::string& palette, const std::optional<std::vector<Rgba>>& colors,
            int colorModel)
{
    // Made through the ravir module's class, so that Python holds it as it holds its own.
    py::object object = py::module_::import("ravir").attr("OrvF")();
    OrvF* const file = object.cast<OrvF*>();
    file->data()->palette->colorModel(colorModel);
    OrvF::LoadRequest request{fileName, 0, palette, std::nullopt};
    if (colors) {
        request.palette_colors = toColors(*colors);
    }
    ravir::ProblemList problems;
    OrvF::LoadReport report;
    {
        const py::gil_scoped_release released;  // nothing else can reach this object yet
        file->load(request, problems, report);
    }
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

// Collects frames into a new animation and encodes it with the core's codec.
class AnimationWriter {
public:
    explicit AnimationWriter(std::uint32_t speed) { tree_.info.speed = speed; }

    void addFrame(std::size_t width, std::size_t height, const py::bytes& indices, const py::bytes& opaque,
                  std::int16_t xOffset, std::int16_t yOffset, bool shadow)
    {
        OrvFrame frame = encodeFrame({width, height, bytesOf(indices), bytesOf(opaque)}, shadow);
        frame.x_offset = xOffset;
        frame.y_offset = yOffset;
        appendFrame(tree_, std::move(frame));
    }

    py::bytes encode(const std::string& paletteLocation) const
    {
        return toBytes(ravir::encodeAnimation(tree_, paletteLocation));
    }

private:
    OrvData tree_;
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
        .def_readonly("message", &ravir::Problem::message)
        .def_readonly("frame", &ravir::Problem::frame)
        .def("__repr__", [](const ravir::Problem& p) {
            return std::string("Problem(") + (p.kind == ravir::Problem::Kind::error ? "error" : "warning") + ", " +
                   p.message + ")";
        });

    py::class_<Loaded>(m, "Loaded")
        .def_readonly("file", &Loaded::file)
        .def_readonly("data", &Loaded::data)
        .def_readonly("images", &Loaded::images)
        .def_readonly("problems", &Loaded::problems)
        .def_readonly("palette_path", &Loaded::palette_path)
        .def_readonly("opened", &Loaded::opened);

    m.def("load", &load, py::arg("file_name"), py::arg("palette") = "", py::arg("colors") = py::none(),
          py::arg("color_model") = 0,
          "Loads an animation as OrvF.load does, with `palette` in place of the one it names, or `colors` "
          "in place of any palette file, and returns what it found, problems included.");

    m.def("decode_palette", &decodePalette, py::arg("data"), py::arg("color_model") = 0,
          "The colors of a palette file's bytes (None when its count is refused) and the problems met.");
    m.def(
        "encode_palette",
        [](const std::vector<Rgba>& colors, int colorModel) {
            return toBytes(ravir::encodePalette(toColors(colors), colorModel));
        },
        py::arg("colors"), py::arg("color_model") = 0, "The bytes of a palette file holding `colors`.");

    m.def("stored_location", &OrvF::storedLocation, py::arg("project_root"), py::arg("palette_path"),
          "The palette location an animation stores for `palette_path` under `project_root`.");

    py::class_<AnimationWriter>(m, "AnimationWriter")
        .def(py::init<std::uint32_t>(), py::arg("speed"))
        .def("add_frame", &AnimationWriter::addFrame, py::arg("width"), py::arg("height"), py::arg("indices"),
             py::arg("opaque"), py::arg("x_offset"), py::arg("y_offset"), py::arg("shadow"))
        .def("encode", &AnimationWriter::encode, py::arg("palette_location"),
             "The bytes of the animation file, naming its palette `palette_location`.");
}
