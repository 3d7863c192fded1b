#include "anim/orv_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "anim/orv_codec.h"
#include "anim/orv_format.h"
#include "anim/spare_frames.h"
#include "common/file_io.h"
#include "palette/pal_codec.h"

namespace fs = std::filesystem;

OrvF::OrvF() : animationData(std::make_shared<OrvData>())
{
    animationData->palette = std::make_shared<PalF>();
}

OrvF::~OrvF()
{
    ravir::SpareFrames::keep({std::exchange(animationData->frames, {}), largestFile});
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
    LoadReport report;
    return load({std::move(file_name), color_profile, std::move(io_pal), std::nullopt}, ravir::standardError(),
                report);
}

std::shared_ptr<OrvData> OrvF::load(const LoadRequest& request, ravir::ProblemSink& problems, LoadReport& report)
{
    colorProfile = request.color_profile;
    const std::optional<std::vector<std::uint8_t>> bytes = ravir::readFile(request.file_name);
    report = {bytes.has_value(), ""};
    if (!bytes) {
        return {};
    }

    OrvData& tree = *animationData;
    PalF& palette = *tree.palette;
    // What a file yields must not depend on what this object loaded before.
    palette.colors({});
    const bool adopted = tree.frames.capacity() == 0;
    if (adopted) {
        ravir::SpareFrames::Frames spare = ravir::SpareFrames::take();
        tree.frames = std::move(spare.frames);
        largestFile = spare.fileBytes;
    }
    largestFile = std::max(largestFile, bytes->size());
    try {
        shadowMode = ravir::decodeAnimation(*bytes, tree, problems);
    } catch (const std::length_error&) {
        // The frame count was refused before the frames were touched: they stay as they were.
        if (adopted) {
            ravir::SpareFrames::keep({std::exchange(tree.frames, {}), std::exchange(largestFile, 0)});
        }
        throw;
    } catch (...) {
        ++frameGeneration;
        throw;
    }
    ++frameGeneration;

    if (request.palette_colors) {
        palette.colors(*request.palette_colors);
    } else if (!request.io_pal.empty()) {
        palette.location(request.io_pal);
        fs::path palettePath(request.io_pal);
        if (!palettePath.has_root_directory()) {
            palettePath = fs::current_path() / palettePath;
        }
        report.palette_path = palettePath.string();
        palette.load(report.palette_path, problems);
    } else {
        report.palette_path = resolvePalPath(request.file_name, palette.location()).string();
        palette.load(report.palette_path, problems);
    }

    OrvFrameBuffer renderer(tree, problems);
    frameBuffers = std::move(renderer.getBuffer());
    if (frameBuffers.empty()) {
        return {};
    }
    return animationData;
}

std::string OrvF::storedLocation(const std::string& project_root, const std::string& palette_path)
{
    return fs::relative(fs::weakly_canonical(palette_path), fs::weakly_canonical(project_root)).generic_string();
}

void OrvF::save(std::string file_name, std::string project_root, std::string palette_path)
{
    OrvData& tree = *animationData;
    const PalF& palette = *tree.palette;
    // Everything that can be refused is refused before any file is touched.
    const fs::path palettePath = fs::weakly_canonical(palette_path);
    const std::vector<std::uint8_t> animation = ravir::encodeAnimation(tree, storedLocation(project_root, palette_path));
    const std::vector<std::uint8_t> colors = ravir::encodePalette(palette.colors(), palette.colorModel());

    ravir::replaceFileReporting(file_name, animation, "animation file", ravir::standardError());
    savedFileName = file_name;
    for (std::size_t f = 0; f < tree.info.frame_count; ++f) {
        tree.frames[f].unk1 = ravir::orv::kWrittenUnk1;
        tree.frames[f].unk2 = ravir::orv::kWrittenUnk2;
    }

    struct stat existing {};
    if (palette.colors().empty() && ::stat(palettePath.c_str(), &existing) == 0) {
        return;  // a palette that was never found must not blank the one other animations share
    }
    try {
        palette.save(palettePath.string());
    } catch (const ravir::FileError& error) {
        throw ravir::FileError(error.stage(), error.error(), error.path(),
                               "the animation file " + file_name + " was saved, its palette was not");
    }
}
