#pragma once

// What the fuzz targets share: a scratch directory of their own for the files the
// core reads and writes, and a check that aborts, which both libFuzzer and the
// replay driver report as a failure.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <string_view>

namespace ravir::fuzz {

[[noreturn]] inline void fail(std::string_view what)
{
    std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
}

inline void require(bool holds, std::string_view what)
{
    if (!holds) {
        fail(what);
    }
}

// One directory per process, so that parallel fuzzing jobs never share files.
class Scratch {
public:
    Scratch()
        : dir_(std::filesystem::temp_directory_path() / ("ravir-fuzz-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(dir_);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string path(std::string_view name) const { return (dir_ / name).string(); }
    const std::filesystem::path& dir() const { return dir_; }

    // Writes `bytes` to the file `name` and returns its path.
    std::string write(std::string_view name, std::span<const std::uint8_t> bytes) const
    {
        const std::string file = path(name);
        std::ofstream(file, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file;
    }

private:
    std::filesystem::path dir_;
};

inline const Scratch& scratch()
{
    static const Scratch instance;
    return instance;
}

}  // namespace ravir::fuzz
