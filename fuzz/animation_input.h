#pragma once

// Decoding a fuzzed animation file from memory, shared by the animation targets.

#include <algorithm>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

#include "anim/orv_codec.h"
#include "anim/orv_format.h"
#include "fuzz_support.h"
#include "tree_checks.h"

namespace ravir::fuzz {

struct Decoded {
    OrvData tree;
    ProblemList problems;
    bool shadow = false;

    Decoded() { tree.palette = std::make_shared<PalF>(); }
};

// Decodes `bytes` into `decoded`, or returns false when the decoder refused them: a
// frame count larger than the file is the one refusal it is allowed, and it must
// throw that.
inline bool decodeOnly(std::span<const std::uint8_t> bytes, Decoded& decoded)
{
    try {
        decoded.shadow = decodeAnimation(bytes, decoded.tree, decoded.problems);
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

// Stepping over the rows finds the header of each frame as decoding read it, and
// the frames it does not list decode without pixels, at 0, 0.
inline void requireFrameHeadersAgree(std::span<const std::uint8_t> bytes, const OrvData& tree)
{
    const std::vector<FrameHeader> headers = frameHeaders(bytes);
    require(headers.size() <= tree.frames.size(), "more frame headers than frames");
    for (std::size_t f = 0; f < tree.frames.size(); ++f) {
        const OrvFrame& frame = tree.frames[f];
        const FrameHeader read = f < headers.size() ? headers[f] : FrameHeader{};
        require(read.frame_size == frame.frame_size && read.shadow == (frame.is_shadow != 0) &&
                    read.height == frame.height && read.width == frame.width && read.y_offset == frame.y_offset &&
                    read.x_offset == frame.x_offset,
                "a frame header differs from the decoded frame's");
    }
}

// Decodes the input and checks what holds for every tree fresh from decoding.
inline bool decodeInput(std::span<const std::uint8_t> bytes, Decoded& decoded)
{
    if (!decodeOnly(bytes, decoded)) {
        bool refused = false;
        try {
            frameHeaders(bytes);
        } catch (const std::length_error&) {
            refused = true;
        }
        require(refused, "frame headers were read from a file whose frame count decoding refused");
        return false;
    }
    requireReadInvariants(decoded.tree);
    requireFrameHeadersAgree(bytes, decoded.tree);
    require(decoded.shadow == std::any_of(decoded.tree.frames.begin(), decoded.tree.frames.end(),
                                          [](const OrvFrame& frame) { return frame.is_shadow != 0; }),
            "decoding misreported whether the file holds a shadow frame");
    return true;
}

// How many bytes a file declares: its header, its palette location and the frame
// records of what it decodes to.
inline std::size_t declaredSize(std::span<const std::uint8_t> bytes, std::size_t locationSize,
                                std::size_t frameRecords)
{
    return (orv::startsWithBackgroundHeader(bytes) ? orv::kBackgroundHeaderSize : 0) + orv::kBodyHeaderSize +
           locationSize + frameRecords;
}

// The warning of a file that ends early comes exactly when the file is shorter than
// it declares, once; decoding reports nothing else.
inline void requireWarnedWhenShort(std::size_t size, std::size_t declared, const Decoded& decoded)
{
    const bool shorter = size < declared;
    require(decoded.problems.problems.size() == countOf(decoded.problems, Problem::Kind::warning),
            "decoding reported an error");
    require(decoded.problems.problems.size() == (shorter ? 1u : 0u),
            shorter ? "a file shorter than it declares was not warned about once"
                    : "a file that holds all it declares was warned about");
}

// A file that ends early declares little more than it holds (the rest of one frame,
// and a header for each frame after it) unless its palette location size is huge:
// padding is capped for that.
inline constexpr std::size_t kMaxPadding = std::size_t{64} << 10;

// What is missing from a file reads as zeros, with a warning: the input is warned
// about exactly when it is shorter than it declares, and the input with zeros after
// it, up to what it declares (or one byte when it holds all that), decodes to the
// same tree, without warning once it holds all it declares.
inline void requireReadAsIfZerosFollowed(std::span<const std::uint8_t> bytes, const Decoded& decoded)
{
    const std::size_t declared =
        declaredSize(bytes, decoded.tree.palette->locationSize(), frameRecordsSize(decoded.tree));
    requireWarnedWhenShort(bytes.size(), declared, decoded);

    std::vector<std::uint8_t> padded(bytes.begin(), bytes.end());
    padded.resize(std::clamp(declared, bytes.size() + 1, bytes.size() + kMaxPadding));
    Decoded again;
    require(decodeOnly(padded, again), "the input with zeros after it was refused");
    require(treeDifference(decoded.tree, again.tree).empty() &&
                decoded.tree.palette->locationSize() == again.tree.palette->locationSize() &&
                decoded.shadow == again.shadow,
            "the input with zeros after it decodes differently");
    // The same tree, location size and header declare the same size.
    requireWarnedWhenShort(padded.size(), declared, again);
}

}  // namespace ravir::fuzz
