// Animation round trip: every tree that decodes can be encoded as it is (it passes
// checkEncodable), and decoding what it encodes to gives the same tree, with every
// frame's unk1 and unk2 as the encoder writes them and the palette location stored
// with its NUL, from a file that holds exactly what it declares.

#include "animation_input.h"

using ravir::fuzz::require;

namespace {

std::vector<std::uint8_t> encodeDecoded(const OrvData& tree, std::string_view paletteLocation)
{
    try {
        return ravir::encodeAnimation(tree, paletteLocation);  // checks the tree first (checkEncodable)
    } catch (const std::invalid_argument& refusal) {
        ravir::fuzz::fail(std::string("a decoded tree cannot be encoded: ") + refusal.what());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ravir::fuzz::Decoded decoded;
    if (!ravir::fuzz::decodeInput({data, size}, decoded)) {
        return 0;
    }
    OrvData& expected = decoded.tree;
    const std::string location = expected.palette->location();
    const std::vector<std::uint8_t> encoded = encodeDecoded(expected, location);

    ravir::fuzz::Decoded again;
    require(ravir::fuzz::decodeOnly(encoded, again), "the encoded file was refused");
    require(again.problems.problems.empty(), "the encoded file decodes with problems");
    for (OrvFrame& frame : expected.frames) {
        frame.unk1 = ravir::orv::kWrittenUnk1;
        frame.unk2 = ravir::orv::kWrittenUnk2;
    }
    const std::string difference = ravir::fuzz::treeDifference(expected, again.tree);
    require(difference.empty(), "the encoded file decodes differently: " + difference);
    require(again.tree.palette->locationSize() == location.size() + 1, "the location size is not stored with its NUL");
    require(again.shadow == decoded.shadow, "the encoded file differs in holding a shadow frame");
    require(encoded.size() == ravir::fuzz::declaredSize(encoded, location.size() + 1, ravir::frameRecordsSize(expected)),
            "the encoded file does not hold exactly what it declares");
    return 0;
}
