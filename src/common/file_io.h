#pragma once

// The core's only contact with the file system: reading a whole file, and
// replacing a file in one step.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/problems.h"

namespace ravir {

// A file that could not be written. `stage` tells whether it could not even be
// created (opening) or failed while written (writing); `error` is the errno value,
// `reason` its text with what the caller adds about the consequences.
class FileError : public std::runtime_error {
public:
    enum class Stage { opening, writing };

    FileError(Stage stage, int error, std::string path, const std::string& consequence = "");

    Stage stage() const noexcept { return stage_; }
    int error() const noexcept { return error_; }
    const std::string& path() const noexcept { return path_; }
    const std::string& reason() const noexcept { return reason_; }

private:
    Stage stage_;
    int error_;
    std::string path_;
    std::string reason_;
};

// The first `limit` bytes of the file at `path` (all of it by default), or nothing
// when it cannot be opened. A file that cannot be read past some point, such as a
// folder, gives what could be read.
std::optional<std::vector<std::uint8_t>> readFile(const std::string& path,
                                                  std::size_t limit = std::numeric_limits<std::size_t>::max());

// Whether reading `path` could block until someone writes to it (a FIFO, a terminal,
// a socket, a device): paths taken from a file's content must not name such things.
bool mayBlock(const std::string& path);

// Replaces the file at `path` with `bytes` so that it holds either its previous
// content or the new one whatever happens: the bytes go to a hidden file in the
// same folder, are flushed to the disk and take the previous file's permission bits,
// then the hidden file is renamed over the target and the folder flushed. Through a
// symbolic link the file it names is replaced. A target that is not a regular file
// (a FIFO, /dev/stdout) is written in place. Throws FileError, having removed the
// hidden file and left the previous file as it was.
void replaceFile(const std::string& path, std::span<const std::uint8_t> bytes);

// replaceFile, with a failure reported to `problems` before it is thrown, as the line
// "Could not open WHAT for writing: PATH" when the file could not even be created,
// else "Could not write WHAT: PATH".
void replaceFileReporting(const std::string& path, std::span<const std::uint8_t> bytes, std::string_view what,
                          ProblemSink& problems);

}  // namespace ravir
