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
