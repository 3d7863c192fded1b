// The private helper module of the command-line tool: what the tool needs of the
// core that the ravir module does not offer, namely building an animation from
// images and telling where an animation's palette is found.

#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string_view>

#include "anim/orv_file.h"
#include "anim/run_encoder.h"

namespace py = pybind11;

namespace {

std::span<const std::uint8_t> bytesOf(const py::bytes& bytes)
{
    const auto view = static_cast<std::string_view>(bytes);
    return {reinterpret_cast<const std::uint8_t*>(view.data()), view.size()};
}

// Collects frames into a new animation and writes it with the core's writer.
class AnimationWriter {
public:
    explicit AnimationWriter(std::uint32_t speed) { file_.data()->info.speed = speed; }

    void addFrame(std::size_t width, std::size_t height, const py::bytes& indices, const py::bytes& opaque,
                  std::int16_t xOffset, std::int16_t yOffset, bool shadow)
    {
        OrvFrame frame = encodeFrame({width, height, bytesOf(indices), bytesOf(opaque)}, shadow);
        frame.x_offset = xOffset;
        frame.y_offset = yOffset;
        appendFrame(*file_.data(), std::move(frame));
    }

    // The palette is written beside the animation as well, so it must be readable.
    void save(const std::string& fileName, const std::string& projectRoot, const std::string& palettePath)
    {
        if (file_.data()->palette->load(palettePath) != 1) {
            throw std::invalid_argument("cannot read the palette " + palettePath);
        }
        file_.save(fileName, projectRoot, palettePath);
    }

private:
    OrvF file_;
};

}  // namespace

PYBIND11_MODULE(_native, m)
{
    m.doc() = "Native helpers of the ravir command-line tool";

    m.def(
        "find_palette",
        [](const std::string& animationPath, const std::string& location) {
            return OrvF::resolvePalPath(animationPath, location).string();
        },
        py::arg("animation_path"), py::arg("location"),
        "The palette file that loading `animation_path` finds for `location`, or \"\".");

    py::class_<AnimationWriter>(m, "AnimationWriter")
        .def(py::init<std::uint32_t>(), py::arg("speed"))
        .def("add_frame", &AnimationWriter::addFrame, py::arg("width"), py::arg("height"), py::arg("indices"),
             py::arg("opaque"), py::arg("x_offset"), py::arg("y_offset"), py::arg("shadow"))
        .def("save", &AnimationWriter::save, py::arg("file_name"), py::arg("project_root"), py::arg("palette_path"));
}
