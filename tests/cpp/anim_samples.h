#pragma once

// Animation files built byte by byte. The decoding tests read each of them from
// memory; the file tests load every one of them from disk and expect the same.
// Every file that names a palette names pal/a.pal.

#include <string>
#include <utility>

#include "test_support.h"

namespace ravir::test::samples {

inline const OrvFrame kSmall = frame(3, {row({block(1, {5, 6})})});
inline const OrvFrame kBackground = frame(2, {row({block(0, {9, 9})})});

inline Bytes withBackgroundFlag(std::uint8_t flag)
{
    return FileBytes().background(flag).header(4, "pal/a.pal", 1).frame(kSmall).frame(kBackground).bytes;
}

// "FATY" is not the magic: its bytes are the speed.
inline Bytes withoutMagic()
{
    return FileBytes().text("FATY").u32(10).text("pal/a.pal").u8(0).u32(1).frame(kSmall).bytes;
}

// The smallest complete file: speed 3, no location, no frames.
inline Bytes smallest()
{
    return FileBytes().header(3, "", 0).bytes;
}

// Width 3, height 1: one run of two pixels, one pixel in, indices 5 and 6; size 77,
// offsets -4 and -5, unk1 2 and unk2 3.
inline Bytes oneRunRecord()
{
    return FileBytes().header(0, "pal/a.pal", 1).u32(77).u16(1).u16(3).i16(-4).i16(-5).u8(2).u8(3)
        .raw({0x01, 0x01, 0x02, 0x05, 0x06}).bytes;
}

// A location of 12 bytes stored, "pal/a.pal" up to its first NUL.
inline Bytes locationWithNul()
{
    return FileBytes().u32(0).u32(12).text("pal/a.pal").raw({0, 'z', 0}).u32(1).frame(kSmall).bytes;
}

// Height words 0x0123, then a shadow frame's 0x8005, then 0x0123 again.
inline const OrvFrame kTall = frame(1, std::vector<OrvPixelSet>(291, row({})));
inline const OrvFrame kShadow = frame(4, std::vector<OrvPixelSet>(5, row({shadowBlock(1, 2)})), 1);
inline const OrvFrame kAfterShadow = frame(1, std::vector<OrvPixelSet>(35, row({})));
inline Bytes shadowHeights()
{
    return FileBytes().header(0, "pal/a.pal", 3).frame(kTall, 0x0123).frame(kShadow, 0x8005)
        .frame(kAfterShadow, 0x0123).bytes;
}
inline Bytes tallOnly()
{
    return FileBytes().header(0, "pal/a.pal", 1).frame(kTall, 0x0123).bytes;
}

inline const OrvFrame kFlat = frame(5, {});
inline const OrvFrame kGaps = frame(2, {row({}), row({block(0, {1})}), row({})});
inline Bytes emptyRowsAndFrames()
{
    return FileBytes().header(0, "pal/a.pal", 2).frame(kFlat).frame(kGaps).bytes;
}

// A background, a shadow frame and runs of colors: every kind of field, for cutting short.
inline Bytes mixed()
{
    return FileBytes()
        .background(1)
        .header(0x01020304, "pal/a.pal", 2)
        .frame(kSmall)
        .frame(frame(3, {row({shadowBlock(0, 2)}), row({shadowBlock(1, 1)})}, 1))
        .frame(frame(4, {row({block(0, {1, 2}), block(1, {3})}), row({})}))
        .bytes;
}

// Decoded one after the other into one tree: the second has fewer frames, rows,
// runs and indices, a shadow frame where the first has colors and colors where the
// first has shadow.
inline Bytes manyFrames()
{
    const OrvFrame wide = frame(6, {row({block(0, {1, 2, 3}), block(1, {4, 5})}), row({block(2, {7})}), row({})});
    const OrvFrame shadow = frame(6, {row({shadowBlock(0, 3), shadowBlock(1, 2)}), row({shadowBlock(0, 1)})}, 1);
    return FileBytes().header(1, "pal/a.pal", 4).frame(wide).frame(wide).frame(shadow).frame(wide).bytes;
}
inline Bytes fewerFrames()
{
    return FileBytes()
        .header(2, "pal/a.pal", 3)
        .frame(frame(4, {row({shadowBlock(2, 1)})}, 1))
        .frame(frame(2, {row({block(0, {9})})}))
        .frame(frame(3, {row({block(1, {8, 8})}), row({})}))
        .bytes;
}

inline Bytes locationBeyondTheFile()
{
    return FileBytes().u32(1).u32(0xFFFFFFF0).text("pal/a.pal").bytes;
}

// Frame counts the file cannot hold, with the message they are refused with.
struct RefusedCount {
    const char* name;
    Bytes bytes;
    std::string message;
};

inline std::vector<RefusedCount> refusedCounts()
{
    return {{"Huge", FileBytes().header(6, "", 0xFFFFFFFF).bytes, "Frame count 4294967295 exceeds the size of the file"},
            {"OneMoreThanBytes", FileBytes().header(6, "", 14).bytes, "Frame count 14 exceeds the size of the file"},
            // 22 bytes: the stored 22 fits, the background frame makes it 23.
            {"WithBackground", FileBytes().background(1).header(6, "", 22).bytes,
             "Frame count 23 exceeds the size of the file"}};
}

inline Bytes cut(const Bytes& bytes, std::size_t size)
{
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

// Every file above, and `mixed` cut at every length.
inline std::vector<std::pair<std::string, Bytes>> all()
{
    std::vector<std::pair<std::string, Bytes>> files = {
        {"withoutMagic", withoutMagic()}, {"smallest", smallest()}, {"oneRunRecord", oneRunRecord()},
        {"locationWithNul", locationWithNul()}, {"shadowHeights", shadowHeights()}, {"tallOnly", tallOnly()},
        {"emptyRowsAndFrames", emptyRowsAndFrames()}, {"manyFrames", manyFrames()}, {"fewerFrames", fewerFrames()},
        {"locationBeyondTheFile", locationBeyondTheFile()}};
    for (const int flag : {0, 1, 7, 255}) {
        files.emplace_back("withBackgroundFlag" + std::to_string(flag), withBackgroundFlag(static_cast<std::uint8_t>(flag)));
    }
    for (RefusedCount& refused : refusedCounts()) {
        files.emplace_back(std::string("refused") + refused.name, std::move(refused.bytes));
    }
    const Bytes whole = mixed();
    for (std::size_t size = 0; size <= whole.size(); ++size) {
        files.emplace_back("mixedCutAt" + std::to_string(size), cut(whole, size));
    }
    return files;
}

}  // namespace ravir::test::samples
