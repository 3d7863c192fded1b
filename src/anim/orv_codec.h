#pragma once

// The animation file format on bytes (layout in orv_format.h): decoding and
// encoding touch no file, so that they can be fed from memory and their results
// written wherever the caller likes.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "anim/orv_data.h"
#include "common/problems.h"

namespace ravir {

// The file header as stored (layout in orv_format.h).
struct FileHeader {
    bool has_background = false;
    std::uint32_t speed = 0;
    std::uint32_t location_size = 0;
    std::size_t location_offset = 0;         // where the location starts in the file
    std::span<const std::uint8_t> location;  // the bytes of it that the file holds
    std::uint32_t frame_count = 0;           // as stored: the background frame not counted
    std::size_t size = 0;                    // the bytes it takes, where the frame records start
};

// A frame record's header as stored, the height word decoded.
struct FrameHeader {
    std::uint32_t frame_size = 0;
    bool shadow = false;
    std::uint16_t height = 0;
    std::uint16_t width = 0;
    std::int16_t y_offset = 0;
    std::int16_t x_offset = 0;
};

// The header at the start of `bytes`, as a load reads it; fields the bytes do not
// hold read as zeros, and `complete` says whether they held it whole.
struct HeaderPeek {
    FileHeader file;
    bool complete = false;
};
HeaderPeek peekHeader(std::span<const std::uint8_t> bytes);

// The header of every frame record whose record starts within `bytes`, as
// decodeAnimation decodes it, found by stepping over the rows without keeping them:
// every frame's size and offsets at the cost of a pass over the bytes, with no tree
// and no render. The frames past these read as zeros (no pixels, offsets 0). Throws
// std::length_error for a frame count that the file cannot hold, as decoding does.
std::vector<FrameHeader> frameHeaders(std::span<const std::uint8_t> bytes);

// Decodes a whole file into `tree`, which must hold a palette. Sets `info`,
// `has_background` and `frames`, and the palette's location (as stored, cut at its
// first NUL) and location size. The lists keep the storage they already have, so
// that decoding one file after another into the same tree reuses its memory.
// A file that ends early reads as if zeros followed, and is reported to `problems`
// as a warning naming the frame and field where it ends. Throws std::length_error,
// before the frame list is touched, for a frame count that the file cannot hold.
// Returns whether the file holds a shadow frame.
bool decodeAnimation(std::span<const std::uint8_t> bytes, OrvData& tree, ProblemSink& problems);

// Throws std::invalid_argument, naming the frame and row, for a tree that would
// not read back as it is: counts that promise more than the lists hold, a height or
// run count that disagrees with the rows or runs held, or a height that the height
// word cannot hold.
void checkEncodable(const OrvData& tree);

// The bytes that the frame records of a tree that checkEncodable accepts take in
// its file: what encoding writes for them, and what decoding reads.
std::size_t frameRecordsSize(const OrvData& tree);

// The file holding `tree`, whose palette it names `paletteLocation`; every frame's
// unk1 and unk2 are written as 0 and 1. Checks the tree first (checkEncodable).
std::vector<std::uint8_t> encodeAnimation(const OrvData& tree, std::string_view paletteLocation);

}  // namespace ravir
