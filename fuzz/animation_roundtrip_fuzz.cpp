// Animation round trip: whatever loads is saved and loaded again, and must give the
// same tree, with unk1 0 and unk2 1 in every frame, and the same palette.

#include "animation_input.h"
#include "tree_checks.h"

using ravir::fuzz::require;
using ravir::fuzz::scratch;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    OrvData expected;
    std::vector<PalF::Color> colors;
    const std::string saved = scratch().path("saved.orv");
    const std::string palette = scratch().path("saved.pal");
    {
        // Scoped, so that the images of the first load are gone before the second.
        OrvF file;
        if (!ravir::fuzz::loadInput(file, data, size)) {
            return 0;
        }
        expected = *file.data();
        for (OrvFrame& frame : expected.frames) {
            frame.unk1 = 0;
            frame.unk2 = 1;
        }
        colors = file.data()->palette->colors();
        file.save(saved, scratch().dir().string(), palette);
        require(ravir::fuzz::treeDifference(expected, *file.data()).empty(),
                "save changed the tree beyond unk1 and unk2");
    }

    OrvF again;
    again.load(saved, 0, palette);
    const std::string difference = ravir::fuzz::treeDifference(expected, *again.data());
    require(difference.empty(), "the saved file reads back differently: " + difference);
    require(again.data()->palette->colors() == colors, "the saved palette reads back differently");
    return 0;
}
