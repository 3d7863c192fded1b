#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "anim/orv_data.h"
#include "common/problems.h"
#include "render/frame_buffer.h"

// An animation file: owns one animation tree for its whole life, loads it from a
// file and saves it to one (the format itself is orv_codec.h's), and caches the
// frames rendered by each load.
class OrvF {
public:
    // What a load is asked to do beyond reading `file_name`.
    struct LoadRequest {
        std::string file_name;
        int color_profile = 0;
        // The palette file to use instead of the one the animation names; relative
        // paths are taken from the current directory.
        std::string io_pal;
        // Colors to use as they are, instead of any palette file: nothing is searched.
        std::optional<std::vector<PalF::Color>> palette_colors;
    };

    // What a load found besides the tree.
    struct LoadReport {
        bool opened = false;       // the animation file could be opened
        std::string palette_path;  // the palette file asked for; "" when the search found none
    };

    OrvF();
    OrvF(const OrvF&) = delete;
    OrvF& operator=(const OrvF&) = delete;
    // Empties the frame list first: an OrvData that outlives its OrvF keeps no frames.
    // Their storage goes to the next OrvF that loads (SpareFrames).
    virtual ~OrvF();

    // Reads `file_name` into this object's tree, loads its palette (from `io_pal` when
    // given, else found by searching upwards for the stored location) and renders every
    // frame. Returns the tree, or an empty pointer when the file cannot be opened or
    // nothing was rendered. Problems go to standard error.
    std::shared_ptr<OrvData> load(std::string file_name, int color_profile = 0, std::string io_pal = "");
    // The same, with the problems reported to `problems` and what was found to `report`.
    std::shared_ptr<OrvData> load(const LoadRequest& request, ravir::ProblemSink& problems, LoadReport& report);

    // Writes the tree to `file_name` with the palette path stored relative to
    // `project_root`, and the palette itself to `palette_path`; each file is replaced
    // in one step (ravir::replaceFile). Throws std::invalid_argument, before touching
    // any file, for a tree that would not read back as it is (checkEncodable) or a
    // palette that no palette file can hold. A file that cannot be written is
    // reported on standard error and thrown as ravir::FileError; when that is the
    // palette, the animation file has been written. A palette without colors does
    // not replace an existing palette file.
    void save(std::string file_name, std::string project_root, std::string palette_path);

    std::shared_ptr<OrvData> data() const { return animationData; }
    std::vector<OrvFrameBufferObject> getFrameBuffer() const { return frameBuffers; }

    // Counts the loads that replaced the frames' storage, which invalidates whatever
    // pointed into it; a load that fails before reading the file leaves it alone.
    std::uint64_t frameStorageGeneration() const { return frameGeneration; }

    // The canonical path of the palette, searched for from the animation's directory
    // upwards; empty when nothing is found.
    static std::filesystem::path resolvePalPath(const std::filesystem::path& animation_path,
                                                const std::filesystem::path& palette_location);

    // The palette location an animation saved with these arguments stores: the palette
    // path relative to the project root, both made weakly canonical first.
    static std::string storedLocation(const std::string& project_root, const std::string& palette_path);

private:
    std::vector<OrvFrameBufferObject> frameBuffers;
    std::shared_ptr<OrvData> animationData;
    int colorProfile = 0;
    std::string savedFileName;
    bool shadowMode = false;
    std::uint64_t frameGeneration = 0;
    std::size_t largestFile = 0;  // of those the frames' storage was filled from
};
