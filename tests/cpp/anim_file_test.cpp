// OrvF with files: where loads find palettes, what reaches standard error, and
// what saves write, refuse and report. The format itself is the codec's
// (anim_decode_test.cpp, anim_encode_test.cpp).

#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "anim/orv_codec.h"
#include "anim/orv_file.h"
#include "anim_samples.h"
#include "common/file_io.h"
#include "palette/pal_codec.h"

namespace ravir::test {
namespace {

using samples::kSmall;

// Switches the working directory for one test and back.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const fs::path& dir) : saved_(fs::current_path()) { fs::current_path(dir); }
    ~WorkingDirectory() { fs::current_path(saved_); }

private:
    fs::path saved_;
};

class AnimationLoad : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        palette = dir / "pal" / "a.pal";
        writeFile(palette, paletteBytes(rampColors(256), 256));
    }

    fs::path writeAnimation(const Bytes& bytes, const std::string& name = "x.orv")
    {
        const fs::path path = dir / "anim" / name;
        writeFile(path, bytes);
        return path;
    }

    // Loads with the output on stderr captured into `err`.
    std::shared_ptr<OrvData> load(OrvF& file, const fs::path& path, const std::string& ioPal = "")
    {
        std::shared_ptr<OrvData> result;
        err = stderrOf([&] { result = file.load(path.string(), 0, ioPal); });
        return result;
    }

    fs::path palette;
    std::string err;
};

// How one way of reading a file ended: the tree it left, or the refusal.
struct Outcome {
    std::string refused;
    OrvInfo info;
    bool background = false;
    std::vector<OrvFrame> frames;
    std::string location;
    unsigned locationSize = 0;

    friend bool operator==(const Outcome&, const Outcome&) = default;
};

template <class Read>
Outcome outcomeOf(Read&& read)
{
    try {
        const OrvData& tree = read();
        return {"", tree.info, tree.has_background, tree.frames, tree.palette->location(),
                tree.palette->locationSize()};
    } catch (const std::length_error& e) {
        Outcome refused;
        refused.refused = e.what();
        return refused;
    }
}

// Every file the decoding tests build, loaded from disk, with and without its
// palette: the tree is the one decoding its bytes gives; the problems collected
// start with decoding's; standard error gets exactly the collected errors.
TEST_F(AnimationLoad, LoadingAFileGivesWhatDecodingItsBytesGives)
{
    for (const bool withPalette : {true, false}) {
        if (!withPalette) {
            fs::remove(palette);
        }
        for (const auto& [name, bytes] : samples::all()) {
            SCOPED_TRACE(name + (withPalette ? "" : " without palette"));
            const fs::path path = writeAnimation(bytes);
            OrvData decoded;
            decoded.palette = std::make_shared<PalF>();
            ProblemList decodeProblems;
            const Outcome expected = outcomeOf([&]() -> const OrvData& {
                decodeAnimation(bytes, decoded, decodeProblems);
                return decoded;
            });

            OrvF collecting;
            ProblemList problems;
            OrvF::LoadReport report;
            EXPECT_EQ(outcomeOf([&]() -> const OrvData& {
                          collecting.load({path.string(), 0, "", std::nullopt}, problems, report);
                          return *collecting.data();
                      }),
                      expected);
            EXPECT_TRUE(report.opened);
            ASSERT_GE(problems.problems.size(), decodeProblems.problems.size());
            EXPECT_TRUE(std::equal(decodeProblems.problems.begin(), decodeProblems.problems.end(),
                                   problems.problems.begin()));

            OrvF printing;
            Outcome printed;
            const std::string printedErr = stderrOf([&] {
                printed = outcomeOf([&]() -> const OrvData& {
                    printing.load(path.string());
                    return *printing.data();
                });
            });
            EXPECT_EQ(printed, expected);
            std::string errorLines;
            for (const Problem& problem : problems.problems) {
                errorLines += problem.kind == Problem::Kind::error ? "ERROR: " + problem.message + "\n" : "";
            }
            EXPECT_EQ(printedErr, errorLines);
            EXPECT_EQ(printing.getFrameBuffer().size(), collecting.getFrameBuffer().size());
        }
    }
}

TEST_F(AnimationLoad, NoFramesRendersNothingButLoadsThePalette)
{
    OrvF file;
    EXPECT_EQ(load(file, writeAnimation(FileBytes().header(0, "pal/a.pal", 0).bytes)), nullptr);
    EXPECT_EQ(err, "");
    EXPECT_EQ(file.data()->palette->colors(), rampColors(256));
}

TEST_F(AnimationLoad, MissingFileChangesNothingButTheColorProfile)
{
    OrvF file;
    ASSERT_NE(load(file, writeAnimation(FileBytes().header(5, "pal/a.pal", 1).frame(kSmall).bytes)), nullptr);
    const std::uint64_t generation = file.frameStorageGeneration();
    std::shared_ptr<OrvData> result;
    EXPECT_EQ(stderrOf([&] { result = file.load((dir / "none.orv").string(), 3, ""); }), "");
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(file.data()->frames, std::vector<OrvFrame>{kSmall});
    EXPECT_EQ(file.getFrameBuffer().size(), 1u);
    EXPECT_EQ(file.frameStorageGeneration(), generation);

    ProblemList problems;
    OrvF::LoadReport report{true, "x"};
    file.load({(dir / "none.orv").string(), 0, "", std::nullopt}, problems, report);
    EXPECT_FALSE(report.opened);
}

TEST_F(AnimationLoad, RefusedFrameCountKeepsTheFrameStorage)
{
    OrvF file;
    ASSERT_NE(load(file, writeAnimation(FileBytes().header(0, "pal/a.pal", 1).frame(kSmall).bytes)), nullptr);
    const std::uint64_t generation = file.frameStorageGeneration();
    const fs::path refused = writeAnimation(samples::refusedCounts()[0].bytes, "refused.orv");
    EXPECT_THROW(file.load(refused.string()), std::length_error);
    EXPECT_EQ(file.data()->frames, std::vector<OrvFrame>{kSmall});
    EXPECT_EQ(file.frameStorageGeneration(), generation);
}

TEST_F(AnimationLoad, DirectoryReadsAsAnEmptyFile)
{
    fs::create_directories(dir / "anim" / "sub");
    OrvF file;
    EXPECT_EQ(load(file, dir / "anim" / "sub", palette.string()), nullptr);
    EXPECT_EQ(err, "");
    EXPECT_EQ(file.data()->info.frame_count, 0u);
    EXPECT_EQ(file.data()->palette->locationSize(), 0u);
}

TEST_F(AnimationLoad, PaletteThatCannotBeFoundRendersNothing)
{
    OrvF file;
    const fs::path path = writeAnimation(FileBytes().header(0, "pal/none.pal", 1).frame(kSmall).bytes);
    EXPECT_EQ(load(file, path), nullptr);
    EXPECT_EQ(err, "ERROR: Could not open palette file: \nERROR: No palette data available!\n");
    EXPECT_EQ(file.data()->frames, std::vector<OrvFrame>{kSmall});  // decoded all the same
}

TEST_F(AnimationLoad, ReloadStartsCleanEvenWhenThePaletteIsMissing)
{
    OrvF file;
    ASSERT_NE(load(file, writeAnimation(samples::withBackgroundFlag(1))), nullptr);
    const fs::path orphan = writeAnimation(FileBytes().header(0, "pal/none.pal", 1).frame(kSmall).bytes, "y.orv");
    EXPECT_EQ(load(file, orphan), nullptr);  // the first file's colors are not reused
    EXPECT_FALSE(file.data()->has_background);
    EXPECT_TRUE(file.data()->palette->colors().empty());
    EXPECT_TRUE(file.getFrameBuffer().empty());
}

TEST_F(AnimationLoad, BareFileNameSearchesNowhere)
{
    writeAnimation(FileBytes().header(0, "pal/a.pal", 1).frame(kSmall).bytes);
    WorkingDirectory cwd(dir / "anim");
    OrvF file;
    EXPECT_EQ(load(file, "x.orv"), nullptr);
    EXPECT_EQ(err, "ERROR: Could not open palette file: \nERROR: No palette data available!\n");
}

TEST_F(AnimationLoad, IoPalReplacesTheStoredLocation)
{
    writeFile(dir / "p" / "b.pal", paletteBytes({{1, 2, 3, 4}}, 1));
    const fs::path path = writeAnimation(FileBytes().header(0, "pal/a.pal", 1).frame(kSmall).bytes);
    WorkingDirectory cwd(dir);
    for (const std::string& ioPal : {std::string("p/b.pal"), (dir / "p" / "b.pal").string()}) {
        OrvF file;
        const auto data = load(file, path, ioPal);
        ASSERT_NE(data, nullptr) << ioPal;
        EXPECT_EQ(data->palette->location(), ioPal);
        EXPECT_EQ(data->palette->locationSize(), 10u);
        EXPECT_EQ(data->palette->getColor(0), (PalF::Color{1, 2, 3, 4}));

        ProblemList problems;
        OrvF::LoadReport report;
        file.load({path.string(), 0, ioPal, std::nullopt}, problems, report);
        EXPECT_EQ(report.palette_path, (dir / "p" / "b.pal").string());
    }
}

TEST_F(AnimationLoad, DestroyingTheFileEmptiesTheFramesItShared)
{
    std::shared_ptr<OrvData> kept;
    {
        OrvF file;
        kept = load(file, writeAnimation(FileBytes().header(9, "pal/a.pal", 1).frame(kSmall).bytes));
        ASSERT_NE(kept, nullptr);
        EXPECT_EQ(file.data(), kept);
    }
    EXPECT_TRUE(kept->frames.empty());
    EXPECT_EQ(kept->info.frame_count, 1u);
    EXPECT_EQ(kept->info.speed, 9u);
    EXPECT_EQ(kept->palette->colors().size(), 256u);
}

TEST(AnimationFile, StartsEmpty)
{
    OrvF file;
    ASSERT_NE(file.data(), nullptr);
    EXPECT_EQ(file.data(), file.data());
    EXPECT_EQ(file.data()->info.frame_count, 0u);
    EXPECT_FALSE(file.data()->has_background);
    ASSERT_NE(file.data()->palette, nullptr);
    EXPECT_TRUE(file.data()->palette->colors().empty());
    EXPECT_TRUE(file.getFrameBuffer().empty());
}

class PaletteSearch : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        writeFile(dir / "game" / "pal" / "a.pal", paletteBytes({{1, 1, 1, 1}}, 1));
        fs::create_directories(dir / "game" / "units" / "tank");
    }
};

TEST_F(PaletteSearch, AbsolutePathsSearchUpToTheRoot)
{
    const fs::path found = dir / "game" / "pal" / "a.pal";
    EXPECT_EQ(OrvF::resolvePalPath(dir / "game" / "units" / "tank" / "t.orv", "pal/a.pal"), found);
    EXPECT_EQ(OrvF::resolvePalPath(dir / "game" / "units" / "tank" / "t.orv", "pal/../pal/a.pal"), found);
    EXPECT_EQ(OrvF::resolvePalPath(dir / "game" / "t.orv", found), found);
    EXPECT_EQ(OrvF::resolvePalPath(dir / "game" / "units" / "t.orv", "pal/none.pal"), fs::path());
}

TEST_F(PaletteSearch, RelativePathsStopAtTheirFirstComponent)
{
    WorkingDirectory cwd(dir / "game");
    const fs::path found = dir / "game" / "pal" / "a.pal";
    EXPECT_EQ(OrvF::resolvePalPath("units/tank/t.orv", "pal/a.pal"), fs::path());  // "." is not tried
    EXPECT_EQ(OrvF::resolvePalPath("./units/tank/t.orv", "pal/a.pal"), found);
    EXPECT_EQ(OrvF::resolvePalPath("./t.orv", "pal/a.pal"), found);
    EXPECT_EQ(OrvF::resolvePalPath("t.orv", "pal/a.pal"), fs::path());
}

TEST_F(PaletteSearch, EmptyLocationFindsTheAnimationsOwnDirectory)
{
    EXPECT_EQ(OrvF::resolvePalPath(dir / "game" / "units" / "t.orv", ""), dir / "game" / "units");
    writeFile(dir / "game" / "units" / "t.orv", FileBytes().header(0, "", 1).frame(kSmall).bytes);
    OrvF file;
    std::shared_ptr<OrvData> data;
    const std::string err = stderrOf([&] { data = file.load((dir / "game" / "units" / "t.orv").string()); });
    EXPECT_EQ(data, nullptr);
    EXPECT_TRUE(err.starts_with("ERROR: ")) << err;
    EXPECT_TRUE(err.ends_with("ERROR: No palette data available!\n")) << err;
}

TEST_F(PaletteSearch, FileSystemErrorsOtherThanAbsenceReachTheCaller)
{
    const std::string tooLong(300, 'n');
    writeFile(dir / "game" / "t.orv", FileBytes().header(0, tooLong, 1).frame(kSmall).bytes);
    OrvF file;
    EXPECT_THROW(file.load((dir / "game" / "t.orv").string()), fs::filesystem_error);
}

// --- saving ----------------------------------------------------------------------

class AnimationSave : public TempDirTest {
protected:
    // An OrvF holding `frames` with a full palette, as a load would leave it.
    static void fill(OrvF& file, std::vector<OrvFrame> frames)
    {
        OrvData& data = *file.data();
        data.info = {100, static_cast<std::uint32_t>(frames.size())};
        data.frames = std::move(frames);
        data.palette->colors(rampColors(256));
    }

    struct Saved {
        std::string err;
        std::optional<FileError> failure;
    };

    // Saves x.orv into the test directory, with standard error and a FileError caught.
    static Saved save(OrvF& file, const fs::path& out, const fs::path& root, const std::string& palette)
    {
        Saved saved;
        saved.err = stderrOf([&] {
            try {
                file.save(out.string(), root.string(), palette);
            } catch (const FileError& e) {
                saved.failure = e;
            }
        });
        return saved;
    }
};

TEST_F(AnimationSave, WritesBothFilesAndSetsTheUnknownBytesInTheTree)
{
    OrvF file;
    OrvFrame f = kSmall;
    f.unk1 = 7;
    f.unk2 = 9;
    fill(file, {f, f});
    fs::create_directories(dir / "pal");
    const Saved saved = save(file, dir / "x.orv", dir, (dir / "pal" / "a.pal").string());
    EXPECT_EQ(saved.err, "");
    EXPECT_FALSE(saved.failure);
    EXPECT_EQ(readFile(dir / "x.orv"), encodeAnimation(*file.data(), "pal/a.pal"));
    EXPECT_EQ(readFile(dir / "pal" / "a.pal"), encodePalette(rampColors(256), 0));
    for (const OrvFrame& held : file.data()->frames) {
        EXPECT_EQ(held.unk1, 0);
        EXPECT_EQ(held.unk2, 1);
    }
    OrvF reread;
    ASSERT_NE(reread.load((dir / "x.orv").string()), nullptr);
    EXPECT_EQ(reread.data()->frames, file.data()->frames);
}

TEST_F(AnimationSave, RefusalsComeBeforeAnyFileIsTouched)
{
    const Bytes old{1, 2, 3};
    writeFile(dir / "x.orv", old);
    OrvF file;
    fill(file, {kSmall});
    file.data()->info.frame_count = 2;
    EXPECT_THROW(file.save((dir / "x.orv").string(), dir.string(), (dir / "a.pal").string()), std::invalid_argument);
    file.data()->info.frame_count = 1;
    file.data()->palette->colors(rampColors(257));
    EXPECT_THROW(file.save((dir / "x.orv").string(), dir.string(), (dir / "a.pal").string()), std::invalid_argument);
    const std::string tooLong(300, 'n');
    EXPECT_THROW(file.save((dir / "x.orv").string(), (dir / tooLong).string(), (dir / "a.pal").string()),
                 fs::filesystem_error);
    EXPECT_EQ(readFile(dir / "x.orv"), old);
    EXPECT_FALSE(fs::exists(dir / "a.pal"));
    EXPECT_EQ(file.data()->frames[0].unk2, 0);
}

// A palette never found has no colors: it must not blank the file others share,
// yet where there is none an empty one is written.
TEST_F(AnimationSave, PaletteWithoutColorsReplacesNoPaletteFile)
{
    const Bytes shared = paletteBytes(rampColors(2), 2);
    writeFile(dir / "shared.pal", shared);
    OrvF file;
    fill(file, {kSmall});
    file.data()->palette->colors({});
    EXPECT_EQ(save(file, dir / "x.orv", dir, (dir / "shared.pal").string()).err, "");
    EXPECT_EQ(readFile(dir / "shared.pal"), shared);
    EXPECT_EQ(readFile(dir / "x.orv"), encodeAnimation(*file.data(), "shared.pal"));

    EXPECT_EQ(save(file, dir / "x.orv", dir, (dir / "new.pal").string()).err, "");
    EXPECT_EQ(readFile(dir / "new.pal"), (Bytes{0, 0, 0, 0}));
}

TEST_F(AnimationSave, AnimationThatCannotBeWrittenIsReportedThrownAndNothingWritten)
{
    struct Case {
        fs::path out;
        std::string line;
        FileError::Stage stage;
        int error;
    };
    const fs::path missing = dir / "none" / "x.orv";
    for (const Case& c : {Case{missing, "ERROR: Could not open animation file for writing: " + missing.string() + "\n",
                               FileError::Stage::opening, ENOENT},
                          Case{"/dev/full", "ERROR: Could not write animation file: /dev/full\n",
                               FileError::Stage::writing, ENOSPC}}) {
        SCOPED_TRACE(c.out);
        OrvF file;
        fill(file, {kSmall});
        file.data()->frames[0].unk1 = 4;
        const Saved saved = save(file, c.out, dir, (dir / "a.pal").string());
        EXPECT_EQ(saved.err, c.line);
        ASSERT_TRUE(saved.failure);
        EXPECT_EQ(saved.failure->stage(), c.stage);
        EXPECT_EQ(saved.failure->error(), c.error);
        EXPECT_EQ(saved.failure->path(), c.out.string());
        EXPECT_FALSE(fs::exists(dir / "a.pal"));
        EXPECT_EQ(file.data()->frames[0].unk1, 4);
    }
}

TEST_F(AnimationSave, PaletteThatCannotBeWrittenIsReportedAfterTheAnimationIsSaved)
{
    struct Case {
        std::string palette;
        std::string line;
    };
    const std::string missing = (dir / "none" / "a.pal").string();
    for (const Case& c : {Case{missing, "ERROR: Could not open palette file for writing: " + missing + "\n"},
                          Case{"", "ERROR: Could not open palette file for writing: \n"},
                          Case{"/dev/full", "ERROR: Could not write palette file: /dev/full\n"}}) {
        SCOPED_TRACE(c.palette);
        fs::remove(dir / "x.orv");
        OrvF file;
        fill(file, {kSmall});
        const Saved saved = save(file, dir / "x.orv", dir, c.palette);
        EXPECT_EQ(saved.err, c.line);
        ASSERT_TRUE(saved.failure);
        EXPECT_EQ(saved.failure->path(), c.palette);
        EXPECT_EQ(saved.failure->reason(), std::string(std::strerror(saved.failure->error())) + " (the animation file " +
                                               (dir / "x.orv").string() + " was saved, its palette was not)");
        EXPECT_EQ(readFile(dir / "x.orv"),
                  encodeAnimation(*file.data(), OrvF::storedLocation(dir.string(), c.palette)));
    }
}

}  // namespace
}  // namespace ravir::test
