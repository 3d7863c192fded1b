// Writing the tree as an animation file (layout in orv_file.h).

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "anim/orv_file.h"
#include "common/error_line.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint16_t kShadowBit = 0x8000;
constexpr std::uint32_t kMagicAsSpeed = 0x5A544146;  // "FATZ" read as a little-endian speed

// Gathers little-endian fields in a buffer of fixed size and hands it to the stream
// each time it fills: the file goes out in large pieces, yet is never held whole in
// memory, where a fresh multi-megabyte buffer costs a page fault per 4 KiB. The
// buffer is taken on construction, before the file is opened, and never grows.
class ByteWriter {
public:
    explicit ByteWriter(std::ostream& out) : out_(out), buffer_(std::make_unique<std::uint8_t[]>(kSize)) {}

    void u8(std::uint8_t value) { put(&value, 1); }
    void u16(std::uint16_t value)
    {
        const std::uint8_t bytes[] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
        put(bytes, sizeof bytes);
    }
    void u32(std::uint32_t value)
    {
        u16(static_cast<std::uint16_t>(value));
        u16(static_cast<std::uint16_t>(value >> 16));
    }
    void append(const std::uint8_t* first, std::size_t count) { put(first, count); }
    void append(std::string_view text) { put(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()); }

    void flush()
    {
        out_.write(reinterpret_cast<const char*>(buffer_.get()), static_cast<std::streamsize>(used_));
        used_ = 0;
    }

private:
    static constexpr std::size_t kSize = std::size_t{64} << 10;

    void put(const std::uint8_t* bytes, std::size_t count)
    {
        while (count > kSize - used_) {
            const std::size_t part = kSize - used_;
            std::copy_n(bytes, part, buffer_.get() + used_);
            used_ = kSize;
            flush();
            bytes += part;
            count -= part;
        }
        std::copy_n(bytes, count, buffer_.get() + used_);
        used_ += count;
    }

    std::ostream& out_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t used_ = 0;
};

std::string framePlace(std::size_t frame, std::size_t row, std::size_t run)
{
    return "frame " + std::to_string(frame) + ", row " + std::to_string(row) + ", run " + std::to_string(run);
}

// The file holds what the counts say, so counts that promise more than the tree
// holds cannot be written without inventing data: refuse before touching any file.
void checkWritable(const OrvData& tree)
{
    const std::uint32_t count = tree.info.frame_count;
    if (tree.has_background && count == 0) {
        throw std::invalid_argument("Cannot save: the animation has a background but a frame count of 0");
    }
    if (count > tree.frames.size()) {
        throw std::invalid_argument("Cannot save: the frame count " + std::to_string(count) + " exceeds the " +
                                    std::to_string(tree.frames.size()) + " frames held");
    }
    for (std::size_t f = 0; f < count; ++f) {
        const OrvFrame& frame = tree.frames[f];
        if (frame.is_shadow) {
            continue;  // shadow runs are written without indices
        }
        for (std::size_t r = 0; r < frame.pixel_sets.size(); ++r) {
            const std::vector<OrvPixelBlock>& blocks = frame.pixel_sets[r].blocks;
            for (std::size_t b = 0; b < blocks.size(); ++b) {
                if (blocks[b].color_count > blocks[b].colors.size()) {
                    throw std::invalid_argument("Cannot save: " + framePlace(f, r, b) + " has a color count of " +
                                                std::to_string(blocks[b].color_count) + " but holds " +
                                                std::to_string(blocks[b].colors.size()) + " colors");
                }
            }
        }
    }
}

void encode(const OrvData& tree, const std::string& paletteLocation, ByteWriter& out)
{
    // A speed whose bytes spell the magic would read back as a background header:
    // such a file gets the header too, with the flag 0, so that it reads as written.
    if (tree.has_background || tree.info.speed == kMagicAsSpeed) {
        out.append("FATZ");
        out.u32(0);
        out.u8(tree.has_background ? 1 : 0);
    }
    out.u32(tree.info.speed);
    out.u32(static_cast<std::uint32_t>(paletteLocation.size() + 1));  // the NUL is counted
    out.append(paletteLocation);
    out.u8(0);
    out.u32(tree.info.frame_count - (tree.has_background ? 1 : 0));

    for (std::size_t f = 0; f < tree.info.frame_count; ++f) {
        const OrvFrame& frame = tree.frames[f];
        out.u32(frame.frame_size);
        out.u16(frame.is_shadow ? static_cast<std::uint16_t>(kShadowBit | (frame.height & 0xFF)) : frame.height);
        out.u16(frame.width);
        out.u16(static_cast<std::uint16_t>(frame.y_offset));
        out.u16(static_cast<std::uint16_t>(frame.x_offset));
        out.u8(0);  // unk1
        out.u8(1);  // unk2
        for (const OrvPixelSet& row : frame.pixel_sets) {
            out.u8(row.block_count);
            for (const OrvPixelBlock& block : row.blocks) {
                out.u8(block.offset);
                out.u8(block.color_count);
                if (!frame.is_shadow) {
                    out.append(block.colors.data(), block.color_count);
                }
            }
        }
    }
    out.flush();
}

}  // namespace

void OrvF::save(std::string file_name, std::string project_root, std::string palette_path)
{
    OrvData& tree = *animationData;
    // Everything that can fail happens before the file is opened, so that a failure
    // never leaves an existing file emptied.
    checkWritable(tree);
    const fs::path root = fs::weakly_canonical(project_root);
    const fs::path palette = fs::weakly_canonical(palette_path);
    const std::string location = fs::relative(palette, root).generic_string();

    std::ofstream out;
    ByteWriter writer(out);
    out.open(file_name, std::ios::binary | std::ios::trunc);
    if (!out.is_open()) {
        ravir::reportError("Could not open animation file for writing: " + file_name);
        return;
    }
    savedFileName = file_name;
    encode(tree, location, writer);
    for (std::size_t f = 0; f < tree.info.frame_count; ++f) {
        tree.frames[f].unk1 = 0;
        tree.frames[f].unk2 = 1;
    }
    tree.palette->save(palette.string());
    out.close();
    if (!out) {
        ravir::reportError("Could not write animation file: " + file_name);
    }
}
