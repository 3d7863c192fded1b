#pragma once

// Shared helpers of the C++ tests: files built byte by byte, temporary
// directories, and standard error captured around a call.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "anim/orv_data.h"
#include "palette/pal_file.h"

namespace ravir::test {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Little-endian file contents, one field at a time.
class FileBytes {
public:
    FileBytes& u8(std::uint8_t v)
    {
        bytes.push_back(v);
        return *this;
    }
    FileBytes& u16(std::uint16_t v) { return u8(static_cast<std::uint8_t>(v)).u8(static_cast<std::uint8_t>(v >> 8)); }
    FileBytes& i16(std::int16_t v) { return u16(static_cast<std::uint16_t>(v)); }
    FileBytes& u32(std::uint32_t v) { return u16(static_cast<std::uint16_t>(v)).u16(static_cast<std::uint16_t>(v >> 16)); }
    FileBytes& text(std::string_view s)
    {
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    FileBytes& raw(std::initializer_list<std::uint8_t> values)
    {
        bytes.insert(bytes.end(), values);
        return *this;
    }

    // The body header; `locationSize` defaults to the location's length plus its NUL.
    FileBytes& header(std::uint32_t speed, std::string_view location, std::uint32_t frameCount,
                      std::int64_t locationSize = -1)
    {
        u32(speed).u32(static_cast<std::uint32_t>(locationSize < 0 ? location.size() + 1 : locationSize));
        return text(location).u8(0).u32(frameCount);
    }
    FileBytes& background(std::uint8_t flag) { return text("FATZ").u32(0).u8(flag); }

    // A frame record as the writer lays it out, with `heightWord` as stored.
    FileBytes& frame(const OrvFrame& f, std::uint16_t heightWord)
    {
        u32(f.frame_size).u16(heightWord).u16(f.width).i16(f.y_offset).i16(f.x_offset).u8(f.unk1).u8(f.unk2);
        for (const OrvPixelSet& r : f.pixel_sets) {
            u8(r.block_count);
            for (const OrvPixelBlock& b : r.blocks) {
                u8(b.offset).u8(b.color_count);
                if (!f.is_shadow) {
                    bytes.insert(bytes.end(), b.colors.begin(), b.colors.end());
                }
            }
        }
        return *this;
    }
    FileBytes& frame(const OrvFrame& f)
    {
        return frame(f, f.is_shadow ? static_cast<std::uint16_t>(0x8000 | f.height) : f.height);
    }

    Bytes bytes;
};

inline void writeFile(const fs::path& path, const Bytes& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

inline Bytes readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A directory of its own for each test, removed afterwards.
class TempDirTest : public testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name();
        std::replace(name.begin(), name.end(), '/', '_');
        dir = fs::temp_directory_path() / ("ravir-tests-" + std::to_string(::getpid())) / name;
        fs::remove_all(dir);
        fs::create_directories(dir);
        dir = fs::canonical(dir);
    }
    void TearDown() override { fs::remove_all(dir.parent_path()); }

    fs::path dir;
};

template <class Call>
std::string stderrOf(Call&& call)
{
    testing::internal::CaptureStderr();
    call();
    return testing::internal::GetCapturedStderr();
}

// The bytes of a palette file holding `colors`, with `count` as stored count.
inline Bytes paletteBytes(const std::vector<PalF::Color>& colors, std::uint16_t count, std::uint16_t model = 0)
{
    FileBytes file;
    file.u16(count).u16(model);
    for (const PalF::Color& c : colors) {
        file.raw({c.r, c.g, c.b, c.a});
    }
    return file.bytes;
}

// n distinct colors: entry i is (i, 255 - i, i / 2, 255).
inline std::vector<PalF::Color> rampColors(std::size_t n)
{
    std::vector<PalF::Color> colors;
    for (std::size_t i = 0; i < n; ++i) {
        colors.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                          static_cast<std::uint8_t>(i / 2), 255});
    }
    return colors;
}

inline OrvPixelBlock block(std::uint8_t offset, std::vector<std::uint8_t> colors)
{
    return {offset, static_cast<std::uint8_t>(colors.size()), std::move(colors)};
}

inline OrvPixelBlock shadowBlock(std::uint8_t offset, std::uint8_t count)
{
    return {offset, count, {}};
}

inline OrvPixelSet row(std::vector<OrvPixelBlock> blocks)
{
    return {static_cast<std::uint8_t>(blocks.size()), std::move(blocks)};
}

// A frame of `width` whose height is the number of rows given.
inline OrvFrame frame(std::uint16_t width, std::vector<OrvPixelSet> rows, std::uint8_t shadow = 0)
{
    OrvFrame f;
    f.width = width;
    f.height = static_cast<std::uint16_t>(rows.size());
    f.is_shadow = shadow;
    f.pixel_sets = std::move(rows);
    return f;
}

}  // namespace ravir::test
