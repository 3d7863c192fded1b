#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ravir {
class ProblemSink;
}

// A palette of up to 256 colors, read from and written to its file (format in
// pal_codec.h).
class PalF {
public:
    struct Color {
        std::uint8_t r = 0;
        std::uint8_t g = 0;
        std::uint8_t b = 0;
        std::uint8_t a = 0;

        friend bool operator==(const Color&, const Color&) = default;
    };

    PalF() = default;
    PalF(const PalF&) = default;
    PalF& operator=(const PalF&) = default;
    virtual ~PalF() = default;

    std::string location() const { return location_; }
    void location(std::string location) { location_ = std::move(location); }

    unsigned locationSize() const { return locationSize_; }
    void locationSize(unsigned size) { locationSize_ = size; }

    int colorModel() const { return colorModel_; }
    void colorModel(int model) { colorModel_ = model; }

    std::vector<Color> colors() const { return colors_; }
    void colors(const std::vector<Color>& colors) { colors_ = colors; }

    // Throws std::out_of_range (after reporting the index) when there is no such entry.
    Color getColor(int index) const;

    // 1 on success, -1 when the file cannot be opened, -2 for an invalid color count.
    // On failure the palette is left as it was. Problems go to standard error, or
    // to `problems`.
    int load(std::string path);
    int load(const std::string& path, ravir::ProblemSink& problems);

    // Replaces the file at `path` in one step (ravir::replaceFile). Throws
    // std::invalid_argument, before touching any file, for more than 256 colors, or for
    // no colors where a file exists: an empty palette never replaces one. A file that
    // cannot be written is reported on standard error and thrown as ravir::FileError.
    void save(std::string path) const;

private:
    std::vector<Color> colors_;
    std::string location_;
    std::uint32_t locationSize_ = 0;
    std::int32_t colorModel_ = 0;
};
