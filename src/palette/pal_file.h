#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A palette of up to 256 colors and the reader and writer of its file format:
//   u16 color count N (1..256 when read), u16 color model (written, never read),
//   then N records of 4 bytes, r g b a (b g r a when read with color model 1).
// All integers are little-endian.
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
    // On failure the palette is left as it was.
    int load(std::string path);
    void save(std::string path) const;

private:
    std::vector<Color> colors_;
    std::string location_;
    std::uint32_t locationSize_ = 0;
    std::int32_t colorModel_ = 0;
};
