#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "palette/pal_file.h"

// The in-memory form of one animation. The structures mirror the file format
// field for field and enforce nothing: every field may be changed on its own.

// One run of opaque pixels within a row.
struct OrvPixelBlock {
    std::uint8_t offset = 0;       // transparent pixels skipped before the run
    std::uint8_t color_count = 0;  // pixels in the run
    std::vector<std::uint8_t> colors;  // one palette index per pixel; empty in shadow frames

    friend bool operator==(const OrvPixelBlock&, const OrvPixelBlock&) = default;
};

// One image row.
struct OrvPixelSet {
    std::uint8_t block_count = 0;
    std::vector<OrvPixelBlock> blocks;

    friend bool operator==(const OrvPixelSet&, const OrvPixelSet&) = default;
};

struct OrvFrame {
    std::uint32_t frame_size = 0;
    std::uint16_t height = 0;
    std::uint8_t is_shadow = 0;  // shadow runs carry no indices and draw opaque black
    std::uint16_t width = 0;
    std::int16_t y_offset = 0;
    std::int16_t x_offset = 0;
    std::uint8_t unk1 = 0;
    std::uint8_t unk2 = 0;
    std::vector<OrvPixelSet> pixel_sets;  // one per row, top row first

    friend bool operator==(const OrvFrame&, const OrvFrame&) = default;
};

struct OrvInfo {
    std::uint32_t speed = 0;
    std::uint32_t frame_count = 0;  // includes the background frame after a read

    friend bool operator==(const OrvInfo&, const OrvInfo&) = default;
};

struct OrvData {
    OrvInfo info;
    std::vector<OrvFrame> frames;  // the background frame, if any, is the last
    std::shared_ptr<PalF> palette;
    bool has_background = false;
};
