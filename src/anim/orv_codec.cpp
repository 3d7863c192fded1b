#include "anim/orv_codec.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>

#include "anim/orv_format.h"
#include "common/byte_reader.h"
#include "common/byte_writer.h"

namespace ravir {

namespace {

// --- decoding ------------------------------------------------------------------

// Every stored frame takes at least 14 bytes, so a count above the file's size is
// a lie, and sizing the frame list by it would let a tiny file claim gigabytes.
void checkFrameCount(std::uint64_t count, std::size_t fileSize)
{
    if (count > fileSize) {
        throw std::length_error("Frame count " + std::to_string(count) + " exceeds the size of the file");
    }
}

// Decoding names nothing as it goes; only a frame in which the file was found to
// end is decoded once more with an EndFinder, to say where it ends. That second
// decoding reads the same bytes into the same frame, so it reuses the frame's storage.
struct Unnamed {
    static constexpr bool kTracksReads = false;
    void field(const char*) {}
    void row(std::size_t) {}
    void run(std::size_t) {}
};

class EndFinder {
public:
    static constexpr bool kTracksReads = true;
    explicit EndFinder(const ByteReader& in) : in_(in) {}

    // Each is called before the reads it names.
    void field(const char* name)
    {
        settle();
        field_ = name;
    }
    void row(std::size_t row)
    {
        settle();
        row_ = row;
        run_.reset();
    }
    void run(std::size_t run)
    {
        settle();
        run_ = run;
    }

    // Where the reads ran out, as "row 3, run 1: its palette indices".
    std::string place()
    {
        settle();
        std::string text;
        if (end_.row) {
            text = "row " + std::to_string(*end_.row) + (end_.run ? ", run " + std::to_string(*end_.run) : "") + ": ";
        }
        return text + end_.field;
    }

private:
    struct Place {
        const char* field = "";
        std::optional<std::size_t> row;
        std::optional<std::size_t> run;
    };

    void settle()
    {
        if (!found_ && in_.ranOut()) {
            found_ = true;
            end_ = {field_, row_, run_};
        }
    }

    const ByteReader& in_;
    const char* field_ = "";
    std::optional<std::size_t> row_;
    std::optional<std::size_t> run_;
    bool found_ = false;
    Place end_;
};

// Decodes one row record from `bytes`, which hold at least orv::kMaxRowBytes, into
// `row`, keeping the storage of its lists, and returns the bytes it took: the common
// case, read without a check per field.
std::size_t decodeWholeRow(std::span<const std::uint8_t> bytes, bool shadow, OrvPixelSet& row)
{
    const std::uint8_t* in = bytes.data();
    row.block_count = *in++;
    row.blocks.resize(row.block_count);
    for (OrvPixelBlock& block : row.blocks) {
        block.offset = in[0];
        block.color_count = in[1];
        in += 2;
        if (shadow) {
            block.colors.clear();
            continue;
        }
        block.colors.assign(in, in + block.color_count);
        in += block.color_count;
    }
    return static_cast<std::size_t>(in - bytes.data());
}

// Reads the file header; `check(field)` follows each field, to name where the
// bytes ran out. The location is only what the file holds of it: a huge stored size
// must not allocate beyond it.
template <class Check>
FileHeader decodeFileHeader(ByteReader& in, Check&& check)
{
    FileHeader header;
    if (orv::startsWithBackgroundHeader(in.rest())) {
        in.seek(orv::kBackgroundFlagOffset);
        header.has_background = in.u8() != 0;
        check("the background flag");
    }
    header.speed = in.u32();
    check("the speed");
    header.location_size = in.u32();
    check("the palette location's size");
    header.location_offset = in.position();
    header.location = in.take(header.location_size);
    check("the palette location");
    header.frame_count = in.u32();
    check("the frame count");
    header.size = in.position();
    return header;
}

// Reads a frame record's header up to its offsets; `afterShadow` is whether a
// shadow frame came before, which shortens the height word.
template <class Names>
FrameHeader decodeFrameHeader(ByteReader& in, bool afterShadow, Names& names)
{
    FrameHeader header;
    names.field("its size");
    header.frame_size = in.u32();
    names.field("its height");
    const orv::HeightWord word = orv::decodeHeightWord(in.u16(), afterShadow);
    header.shadow = word.shadow;
    header.height = word.height;
    names.field("its width");
    header.width = in.u16();
    names.field("its offsets");
    header.y_offset = in.i16();
    header.x_offset = in.i16();
    return header;
}

// Decodes one frame record into `frame`, setting every field, and keeps the storage
// of its lists. `shadowSeen` is whether a shadow frame came before; this frame
// may set it.
template <class Names>
void decodeFrame(ByteReader& in, bool& shadowSeen, OrvFrame& frame, Names& names)
{
    const FrameHeader header = decodeFrameHeader(in, shadowSeen, names);
    const orv::HeightWord word{header.shadow, header.height};
    shadowSeen = shadowSeen || word.shadow;
    frame.frame_size = header.frame_size;
    frame.is_shadow = word.shadow ? 1 : 0;
    frame.height = word.height;
    frame.width = header.width;
    frame.y_offset = header.y_offset;
    frame.x_offset = header.x_offset;
    names.field("its unk1 and unk2");
    frame.unk1 = in.u8();
    frame.unk2 = in.u8();

    frame.pixel_sets.resize(frame.height);
    for (std::size_t r = 0; r < frame.pixel_sets.size(); ++r) {
        OrvPixelSet& row = frame.pixel_sets[r];
        if (in.ranOut()) {
            // Past the end every row reads as one without runs: a few bytes declaring
            // thousands of rows cost no reads.
            row.block_count = 0;
            row.blocks.clear();
            continue;
        }
        if constexpr (!Names::kTracksReads) {
            if (const std::span<const std::uint8_t> rest = in.rest(); rest.size() >= orv::kMaxRowBytes) {
                in.skip(decodeWholeRow(rest, word.shadow, row));
                continue;
            }
        }
        names.row(r);
        names.field("its run count");
        row.block_count = in.u8();
        row.blocks.resize(row.block_count);
        for (std::size_t b = 0; b < row.blocks.size(); ++b) {
            OrvPixelBlock& block = row.blocks[b];
            names.run(b);
            names.field("its offset and length");
            block.offset = in.u8();
            block.color_count = in.u8();
            if (word.shadow) {
                block.colors.clear();
                continue;
            }
            names.field("its palette indices");
            const std::span<const std::uint8_t> indices = in.take(block.color_count);
            block.colors.reserve(block.color_count);
            block.colors.assign(indices.begin(), indices.end());
            block.colors.resize(block.color_count);  // indices past the end read as 0
        }
    }
}

// Moves past one row record, keeping nothing of it.
void skipRow(ByteReader& in, bool shadow)
{
    const std::uint8_t runs = in.u8();
    for (unsigned b = 0; b < runs && !in.ranOut(); ++b) {
        in.u8();  // the offset
        const std::uint8_t length = in.u8();
        if (!shadow) {
            in.take(length);
        }
    }
}

std::string endsEarly(std::size_t size, const std::string& where)
{
    return "The file ends after " + std::to_string(size) + " bytes, in " + where + "; what is missing reads as zeros";
}

// --- encoding ------------------------------------------------------------------

std::string plural(std::size_t count, const char* noun)
{
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

[[noreturn]] void refuse(const std::string& what)
{
    throw std::invalid_argument("Cannot save: " + what);
}

std::string framePlace(std::size_t frame, std::size_t row, std::size_t run)
{
    return "frame " + std::to_string(frame) + ", row " + std::to_string(row) + ", run " + std::to_string(run);
}

}  // namespace

bool decodeAnimation(std::span<const std::uint8_t> bytes, OrvData& tree, ProblemSink& problems)
{
    ByteReader in(bytes);
    PalF& palette = *tree.palette;
    bool reported = false;
    // Names the header field just read if the file ended within it.
    const auto check = [&](const char* field) {
        if (!reported && in.ranOut()) {
            reported = true;
            const std::string where = std::string("its header (") + field + ")";
            problems.report({Problem::Kind::warning, endsEarly(bytes.size(), where), std::nullopt, field});
        }
    };

    const FileHeader header = decodeFileHeader(in, check);
    tree.has_background = header.has_background;
    tree.info.speed = header.speed;
    palette.locationSize(header.location_size);
    const auto nul = std::find(header.location.begin(), header.location.end(), std::uint8_t{0});
    palette.location(std::string(header.location.begin(), nul));

    tree.info.frame_count = header.frame_count;
    checkFrameCount(tree.info.frame_count, bytes.size());
    if (tree.has_background) {
        // The background frame is stored after the counted ones.
        const std::uint64_t withBackground = std::uint64_t{tree.info.frame_count} + 1;
        ++tree.info.frame_count;
        checkFrameCount(withBackground, bytes.size());
    }
    tree.frames.resize(tree.info.frame_count);

    bool shadowSeen = false;
    Unnamed unnamed;
    for (std::size_t j = 0; j < tree.frames.size(); ++j) {
        const std::size_t start = in.position();
        const bool shadowBefore = shadowSeen;
        decodeFrame(in, shadowSeen, tree.frames[j], unnamed);
        if (!reported && in.ranOut()) {
            reported = true;
            ByteReader again(bytes);
            again.seek(start);
            bool shadow = shadowBefore;
            EndFinder finder(again);
            decodeFrame(again, shadow, tree.frames[j], finder);
            const std::string place = finder.place();
            const std::string where = "frame " + std::to_string(j) + " (" + place + ")";
            problems.report({Problem::Kind::warning, endsEarly(bytes.size(), where), static_cast<std::uint32_t>(j), place});
        }
    }
    return shadowSeen;
}

HeaderPeek peekHeader(std::span<const std::uint8_t> bytes)
{
    ByteReader in(bytes);
    HeaderPeek peek;
    peek.file = decodeFileHeader(in, [](const char*) {});
    peek.complete = !in.ranOut();
    return peek;
}

std::vector<FrameHeader> frameHeaders(std::span<const std::uint8_t> bytes)
{
    ByteReader in(bytes);
    const FileHeader header = decodeFileHeader(in, [](const char*) {});
    const std::uint64_t count = std::uint64_t{header.frame_count} + (header.has_background ? 1 : 0);
    checkFrameCount(count, bytes.size());
    std::vector<FrameHeader> headers;
    // Every record that starts within the bytes takes a header's worth of them, save the last.
    const std::uint64_t held = in.remaining() / orv::kFrameHeaderSize + 1;
    headers.reserve(static_cast<std::size_t>(std::min(count, held)));
    bool shadowSeen = false;
    Unnamed unnamed;
    while (headers.size() < count && in.remaining() > 0 && !in.ranOut()) {
        const FrameHeader frame = decodeFrameHeader(in, shadowSeen, unnamed);
        shadowSeen = shadowSeen || frame.shadow;
        in.take(2);  // unk1 and unk2
        for (std::size_t r = 0; r < frame.height && !in.ranOut(); ++r) {
            skipRow(in, frame.shadow);
        }
        headers.push_back(frame);
    }
    return headers;
}

std::size_t frameRecordsSize(const OrvData& tree)
{
    std::size_t size = 0;
    for (std::size_t f = 0; f < tree.info.frame_count; ++f) {
        const OrvFrame& frame = tree.frames[f];
        size += orv::kFrameHeaderSize + frame.pixel_sets.size();  // one run count per row
        for (const OrvPixelSet& row : frame.pixel_sets) {
            size += 2 * row.blocks.size();  // each run's offset and length
            if (!frame.is_shadow) {
                for (const OrvPixelBlock& block : row.blocks) {
                    size += block.color_count;
                }
            }
        }
    }
    return size;
}

void checkEncodable(const OrvData& tree)
{
    const std::uint32_t count = tree.info.frame_count;
    if (tree.has_background && count == 0) {
        refuse("the animation has a background but a frame count of 0");
    }
    if (count > tree.frames.size()) {
        refuse("the frame count " + std::to_string(count) + " exceeds the " + std::to_string(tree.frames.size()) +
               " frames held");
    }
    bool shadowSeen = false;
    for (std::size_t f = 0; f < count; ++f) {
        const OrvFrame& frame = tree.frames[f];
        const std::string name = "frame " + std::to_string(f);
        if (frame.height != frame.pixel_sets.size()) {
            refuse(name + " has a height of " + std::to_string(frame.height) + " but holds " +
                   plural(frame.pixel_sets.size(), "row"));
        }
        shadowSeen = shadowSeen || frame.is_shadow != 0;
        if (frame.height > orv::maxHeight(shadowSeen)) {
            refuse(name + " has " + plural(frame.height, "row") + ", but " +
                   (frame.is_shadow ? "a shadow frame" : shadowSeen ? "a frame after a shadow frame" : "a frame") +
                   " holds at most " + std::to_string(orv::maxHeight(shadowSeen)));
        }
        for (std::size_t r = 0; r < frame.pixel_sets.size(); ++r) {
            const OrvPixelSet& row = frame.pixel_sets[r];
            if (row.block_count != row.blocks.size()) {
                refuse(name + ", row " + std::to_string(r) + " has a run count of " + std::to_string(row.block_count) +
                       " but holds " + plural(row.blocks.size(), "run"));
            }
            if (frame.is_shadow) {
                continue;  // shadow runs are written without indices
            }
            for (std::size_t b = 0; b < row.blocks.size(); ++b) {
                const OrvPixelBlock& block = row.blocks[b];
                if (block.color_count > block.colors.size()) {
                    refuse(framePlace(f, r, b) + " has a color count of " + std::to_string(block.color_count) +
                           " but holds " + plural(block.colors.size(), "color"));
                }
            }
        }
    }
}

std::vector<std::uint8_t> encodeAnimation(const OrvData& tree, std::string_view paletteLocation)
{
    checkEncodable(tree);
    std::vector<std::uint8_t> bytes;
    // Room for the background header too, which not every file gets.
    bytes.reserve(orv::kBackgroundHeaderSize + orv::kBodyHeaderSize + paletteLocation.size() + 1 +
                  frameRecordsSize(tree));
    ByteWriter out(bytes);

    if (tree.has_background || tree.info.speed == orv::kMagicAsSpeed) {
        // Such a speed gets the header too, with the flag 0, so that it reads as written.
        out.bytes(orv::kMagic);
        out.u32(0);
        out.u8(tree.has_background ? 1 : 0);
    }
    out.u32(tree.info.speed);
    out.u32(static_cast<std::uint32_t>(paletteLocation.size() + 1));  // the NUL is counted
    out.text(paletteLocation);
    out.u8(0);
    out.u32(tree.info.frame_count - (tree.has_background ? 1 : 0));

    for (std::size_t f = 0; f < tree.info.frame_count; ++f) {
        const OrvFrame& frame = tree.frames[f];
        out.u32(frame.frame_size);
        out.u16(orv::encodeHeightWord(frame.height, frame.is_shadow != 0));
        out.u16(frame.width);
        out.i16(frame.y_offset);
        out.i16(frame.x_offset);
        out.u8(orv::kWrittenUnk1);
        out.u8(orv::kWrittenUnk2);
        for (const OrvPixelSet& row : frame.pixel_sets) {
            out.u8(row.block_count);
            for (const OrvPixelBlock& block : row.blocks) {
                out.u8(block.offset);
                out.u8(block.color_count);
                if (!frame.is_shadow) {
                    out.bytes({block.colors.data(), block.color_count});
                }
            }
        }
    }
    return bytes;
}

}  // namespace ravir
