#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "anim/orv_data.h"
#include "render/frame_buffer.h"

// An animation file: owns one animation tree for its whole life, reads it from and
// writes it to the file format below, and caches the frames rendered by each load.
//
// File layout, little-endian, no padding:
//   optional background header: "FATZ", u32 reserved, u8 background flag
//   u32 speed, u32 location size L, L bytes palette location (NUL-terminated),
//   u32 frame count (without the background frame), then the frame records.
// Frame record: u32 frame_size, u16 height word (bit 15: shadow frame), u16 width,
//   i16 y_offset, i16 x_offset, u8 unk1, u8 unk2, then `height` rows.
// Row: u8 block count, then blocks of u8 offset, u8 color count and, outside
//   shadow frames, one palette index per pixel.
class OrvF {
public:
    OrvF();
    OrvF(const OrvF&) = delete;
    OrvF& operator=(const OrvF&) = delete;
    // Empties the frame list first: an OrvData that outlives its OrvF keeps no frames.
    virtual ~OrvF();

    // Reads `file_name` into this object's tree, loads its palette (from `io_pal` when
    // given, else found by searching upwards for the stored location) and renders every
    // frame. Returns the tree, or an empty pointer when the file cannot be opened or
    // nothing was rendered.
    std::shared_ptr<OrvData> load(std::string file_name, int color_profile = 0, std::string io_pal = "");

    // Writes the tree to `file_name` with the palette path stored relative to
    // `project_root`, and the palette itself to `palette_path`.
    void save(std::string file_name, std::string project_root, std::string palette_path);

    std::shared_ptr<OrvData> data() const { return animationData; }
    std::vector<OrvFrameBufferObject> getFrameBuffer() const { return frameBuffers; }

    // Whether the stream starts with the background header; leaves it at offset 0.
    static bool hasMagic(std::ifstream& stream);
    // The canonical path of the palette, searched for from the animation's directory
    // upwards; empty when nothing is found.
    static std::filesystem::path resolvePalPath(const std::filesystem::path& animation_path,
                                                const std::filesystem::path& palette_location);

private:
    std::vector<OrvFrameBufferObject> frameBuffers;
    std::shared_ptr<OrvData> animationData;
    int colorProfile = 0;
    std::string savedFileName;
    bool shadowMode = false;
};
