// Reading an animation file into the tree (layout in orv_file.h).

#include <algorithm>
#include <stdexcept>

#include "anim/byte_reader.h"
#include "anim/orv_file.h"

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[] = {'F', 'A', 'T', 'Z'};
constexpr std::size_t kBackgroundFlagOffset = 8;
constexpr std::uint16_t kShadowBit = 0x8000;

// The whole file in memory. Its size on disk is only a hint: directories and pipes
// open like files but report no usable size, and a file may change while read.
std::vector<std::uint8_t> readAll(std::ifstream& stream, const std::string& path)
{
    constexpr std::size_t kChunk = 64 * 1024;
    std::error_code error;
    const fs::directory_entry entry(path, error);  // one stat for both type and size
    const std::uintmax_t expected = !error && entry.is_regular_file(error) ? entry.file_size(error) : 0;
    // One byte more than expected, so that a file of the expected size ends the loop at once.
    std::size_t chunk = error || expected == 0 ? kChunk : static_cast<std::size_t>(expected) + 1;
    std::vector<std::uint8_t> bytes;
    while (stream) {
        const std::size_t held = bytes.size();
        bytes.resize(held + chunk);
        stream.read(reinterpret_cast<char*>(bytes.data() + held), static_cast<std::streamsize>(chunk));
        bytes.resize(held + static_cast<std::size_t>(stream.gcount()));
        chunk = kChunk;
    }
    return bytes;
}

// Every stored frame takes at least 14 bytes, so a count above the file's size is
// a lie, and sizing the frame list by it would let a tiny file claim gigabytes.
void checkFrameCount(std::uint32_t count, std::size_t fileSize)
{
    if (count > fileSize) {
        throw std::length_error("Frame count " + std::to_string(count) + " exceeds the size of the file");
    }
}

std::string cutAtNul(std::string text)
{
    text.resize(std::min(text.find('\0'), text.size()));
    return text;
}

// Decodes one frame record into `frame`, setting every field. The lists keep the
// storage they already have, so that loading one file after another into the same
// object reuses the previous tree's memory instead of freeing and allocating a
// hundred thousand small vectors. Once a shadow frame has been met, every later
// height keeps only its low 8 bits.
void decodeFrame(ravir::ByteReader& in, bool& shadowMode, OrvFrame& frame)
{
    frame.frame_size = in.u32();
    const std::uint16_t heightWord = in.u16();
    frame.is_shadow = (heightWord & kShadowBit) ? 1 : 0;
    if (frame.is_shadow) {
        shadowMode = true;
    }
    frame.height = shadowMode ? static_cast<std::uint16_t>(heightWord & 0xFF) : heightWord;
    frame.width = in.u16();
    frame.y_offset = in.i16();
    frame.x_offset = in.i16();
    frame.unk1 = in.u8();
    frame.unk2 = in.u8();

    frame.pixel_sets.resize(frame.height);
    for (OrvPixelSet& row : frame.pixel_sets) {
        row.block_count = in.u8();
        row.blocks.resize(row.block_count);
        for (OrvPixelBlock& block : row.blocks) {
            block.offset = in.u8();
            block.color_count = in.u8();
            if (frame.is_shadow) {
                block.colors.clear();
                continue;
            }
            const std::span<const std::uint8_t> indices = in.take(block.color_count);
            block.colors.reserve(block.color_count);
            block.colors.assign(indices.begin(), indices.end());
            block.colors.resize(block.color_count);  // indices past the end read as 0
        }
    }
}

}  // namespace

bool OrvF::hasMagic(std::ifstream& stream)
{
    char head[sizeof kMagic] = {};
    stream.read(head, sizeof head);
    const bool found = stream.gcount() == sizeof head && std::equal(head, head + sizeof head, kMagic);
    stream.clear();
    stream.seekg(0);
    return found;
}

fs::path OrvF::resolvePalPath(const fs::path& animation_path, const fs::path& palette_location)
{
    fs::path dir = animation_path.parent_path();
    while (!dir.empty()) {
        const fs::path candidate = dir / palette_location;
        if (fs::exists(candidate)) {
            return fs::canonical(candidate);
        }
        fs::path parent = dir.parent_path();
        if (parent == dir) {
            break;  // the root has been tried
        }
        dir = std::move(parent);
    }
    return {};
}

std::shared_ptr<OrvData> OrvF::load(std::string file_name, int color_profile, std::string io_pal)
{
    colorProfile = color_profile;
    std::ifstream stream(file_name, std::ios::binary);
    if (!stream.is_open()) {
        return {};
    }

    OrvData& tree = *animationData;
    PalF& palette = *tree.palette;
    // What a file yields must not depend on what this object loaded before.
    tree.has_background = false;
    shadowMode = false;
    palette.colors({});

    const bool hasBackgroundHeader = hasMagic(stream);
    const std::vector<std::uint8_t> bytes = readAll(stream, file_name);
    stream.close();

    ravir::ByteReader in(bytes);
    if (hasBackgroundHeader) {
        in.seek(kBackgroundFlagOffset);
        tree.has_background = in.u8() != 0;
    }
    tree.info.speed = in.u32();
    const std::uint32_t locationSize = in.u32();
    palette.locationSize(locationSize);
    // Only what the file holds: a huge stored size must not allocate beyond it.
    const std::span<const std::uint8_t> location = in.take(locationSize);
    palette.location(std::string(location.begin(), location.end()));

    tree.info.frame_count = in.u32();
    checkFrameCount(tree.info.frame_count, bytes.size());
    tree.frames.resize(tree.info.frame_count);

    palette.location(io_pal.empty() ? cutAtNul(palette.location()) : io_pal);

    if (tree.has_background) {
        ++tree.info.frame_count;
        checkFrameCount(tree.info.frame_count, bytes.size());
        tree.frames.resize(tree.info.frame_count);
    }

    if (!io_pal.empty()) {
        fs::path palettePath(io_pal);
        if (!palettePath.has_root_directory()) {
            palettePath = fs::current_path() / palettePath;
        }
        palette.load(palettePath.string());
    } else {
        palette.load(resolvePalPath(file_name, palette.location()).string());
    }

    for (std::uint32_t j = 0; j < tree.info.frame_count; ++j) {
        decodeFrame(in, shadowMode, tree.frames[j]);
    }

    OrvFrameBuffer renderer(tree);
    frameBuffers = std::move(renderer.getBuffer());
    if (frameBuffers.empty()) {
        return {};
    }
    return animationData;
}
