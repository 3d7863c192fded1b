#include "palette/pal_file.h"

#include <sys/stat.h>

#include <stdexcept>

#include "common/file_io.h"
#include "common/problems.h"
#include "palette/pal_codec.h"

PalF::Color PalF::getColor(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= colors_.size()) {
        ravir::standardError().error("Color index out of bounds: " + std::to_string(index));
        throw std::out_of_range("Color index out of bounds");
    }
    return colors_[static_cast<std::size_t>(index)];
}

int PalF::load(std::string path)
{
    return load(path, ravir::standardError());
}

int PalF::load(const std::string& path, ravir::ProblemSink& problems)
{
    // An animation's stored palette location can name any path: one that could block
    // the read is not opened.
    const std::optional<std::vector<std::uint8_t>> bytes =
        ravir::mayBlock(path) ? std::nullopt : ravir::readFile(path, ravir::kMaxPaletteBytes);
    if (!bytes) {
        problems.error("Could not open palette file: " + path);
        return -1;
    }
    return ravir::decodePalette(*bytes, colorModel_, colors_, problems, "The palette file " + path);
}

void PalF::save(std::string path) const
{
    const std::vector<std::uint8_t> bytes = ravir::encodePalette(colors_, colorModel_);
    struct stat existing {};
    if (colors_.empty() && ::stat(path.c_str(), &existing) == 0) {
        throw std::invalid_argument("Cannot save: the palette has no colors, and " + path +
                                    " exists: an empty palette does not replace a palette file");
    }
    ravir::replaceFileReporting(path, bytes, "palette file", ravir::standardError());
}
