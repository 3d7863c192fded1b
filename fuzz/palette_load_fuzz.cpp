// Palette files: whatever the bytes, a load either refuses them and leaves the
// palette as it was, or yields 256 colors that read with r and b exchanged under
// color model 1 and survive a save and a second load unchanged.

#include "fuzz_support.h"
#include "palette/pal_file.h"

using ravir::fuzz::require;
using ravir::fuzz::scratch;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = scratch().write("input.pal", {data, size});
    PalF plain;
    PalF swapped;
    swapped.colorModel(1);
    const int result = plain.load(path);
    require(swapped.load(path) == result, "the color model changed the result of load");
    if (result != 1) {
        require(result == -2, "a readable file gave a result other than 1 or -2");
        require(plain.colors().empty() && swapped.colors().empty(), "a refused palette was changed");
        return 0;
    }

    const std::vector<PalF::Color> colors = plain.colors();
    require(colors.size() == 256, "a loaded palette does not hold 256 colors");
    const std::vector<PalF::Color> exchanged = swapped.colors();
    for (std::size_t i = 0; i < colors.size(); ++i) {
        const PalF::Color& c = colors[i];
        require(exchanged[i] == PalF::Color{c.b, c.g, c.r, c.a}, "color model 1 did not exchange r and b");
    }

    const std::string copy = scratch().path("copy.pal");
    plain.save(copy);
    PalF reread;
    require(reread.load(copy) == 1 && reread.colors() == colors, "a saved palette reads back differently");
    return 0;
}
