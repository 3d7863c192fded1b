#include "common/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <random>
#include <utility>

namespace ravir {

namespace {

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now, and reports the failure that a close may be the first to see.
    int close() { return ::close(std::exchange(fd_, -1)); }

private:
    int fd_;
};

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path with every symbolic link at its end followed, so that writing replaces
// the file a link names and keeps the link. A dangling link gives the path it names.
std::string followLinks(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            break;
        }
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
        if (length < 0 || static_cast<std::size_t>(length) == sizeof target) {
            break;
        }
        std::string next(target, static_cast<std::size_t>(length));
        path = next.front() == '/' ? next : folderOf(path) + "/" + next;
    }
    return path;
}

// Writes everything, or sets errno and returns false.
bool writeAll(int fd, std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

std::string hiddenName(const std::string& target)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
    // Hidden, and ending in ".tmp": no folder scan takes it for an animation or palette.
    return folderOf(target) + "/." + nameOf(target) + "." + std::string(suffix, 8) + ".tmp";
}

void writeInPlace(const std::string& path, const std::string& target, std::span<const std::uint8_t> bytes)
{
    Descriptor out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!out.valid()) {
        throw FileError(FileError::Stage::opening, errno, path);
    }
    if (!writeAll(out.get(), bytes) || out.close() != 0) {
        throw FileError(FileError::Stage::writing, errno, path);
    }
}

void syncFolder(const std::string& folder)
{
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) {
        ::fsync(dir.get());  // some file systems cannot flush folders; the rename is done either way
    }
}

}  // namespace

namespace {

std::string reasonOf(int error, const std::string& consequence)
{
    return std::string(std::strerror(error)) + (consequence.empty() ? "" : " (" + consequence + ")");
}

}  // namespace

FileError::FileError(Stage stage, int error, std::string path, const std::string& consequence)
    : std::runtime_error(reasonOf(error, consequence) + ": " + path), stage_(stage), error_(error),
      path_(std::move(path)), reason_(reasonOf(error, consequence))
{
}

std::optional<std::vector<std::uint8_t>> readFile(const std::string& path, std::size_t limit)
{
    Descriptor in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) {
        return std::nullopt;
    }
    // The size on disk is only a hint: folders and pipes report none, and a file may
    // change while it is read.
    struct stat info {};
    constexpr std::size_t kChunk = 64 * 1024;
    std::size_t chunk = kChunk;
    const bool regular = ::fstat(in.get(), &info) == 0 && S_ISREG(info.st_mode);
    if (regular && info.st_size > 0) {
        // One byte more than expected, so that a file of the expected size ends the loop at once.
        chunk = std::min(static_cast<std::size_t>(info.st_size), limit - 1) + 1;
    }
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < limit) {
        const std::size_t held = bytes.size();
        const std::size_t wanted = std::min(chunk, limit - held);
        bytes.resize(held + wanted);
        const ssize_t got = ::read(in.get(), bytes.data() + held, wanted);
        if (got < 0 && errno == EINTR) {
            bytes.resize(held);
            continue;
        }
        bytes.resize(held + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        // A regular file gives less than asked for only at its end.
        if (got <= 0 || (regular && static_cast<std::size_t>(got) < wanted)) {
            break;
        }
        chunk = kChunk;
    }
    return bytes;
}

bool mayBlock(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    return S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISSOCK(info.st_mode);
}

void replaceFile(const std::string& path, std::span<const std::uint8_t> bytes)
{
    if (path.empty()) {
        // Names no file, as open() would say; the hidden file must not land in the
        // working directory on the way to a rename that cannot succeed.
        throw FileError(FileError::Stage::opening, ENOENT, path);
    }
    const std::string target = followLinks(path);
    struct stat previous {};
    const bool exists = ::stat(target.c_str(), &previous) == 0;
    if (exists && !S_ISREG(previous.st_mode)) {
        writeInPlace(path, target, bytes);
        return;
    }

    std::string hidden;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        hidden = hiddenName(target);
        // 0666 as for any new file: the umask takes its usual share.
        fd = ::open(hidden.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    Descriptor out(fd);
    if (!out.valid()) {
        throw FileError(FileError::Stage::opening, errno, path);
    }
    const auto fail = [&] {
        const int error = errno;
        ::unlink(hidden.c_str());
        throw FileError(FileError::Stage::writing, error, path);
    };
    if (!writeAll(out.get(), bytes)) {
        fail();
    }
    if (exists) {
        if (::fchmod(out.get(), previous.st_mode & 07777) != 0) {
            fail();
        }
        if (previous.st_uid != ::geteuid() || previous.st_gid != ::getegid()) {
            // Only a privileged process may give a file away; others keep what they get.
            (void)::fchown(out.get(), previous.st_uid, previous.st_gid);
        }
    }
    if (::fsync(out.get()) != 0 || out.close() != 0 || ::rename(hidden.c_str(), target.c_str()) != 0) {
        fail();
    }
    syncFolder(folderOf(target));
}

void replaceFileReporting(const std::string& path, std::span<const std::uint8_t> bytes, std::string_view what,
                          ProblemSink& problems)
{
    try {
        replaceFile(path, bytes);
    } catch (const FileError& error) {
        const std::string kind(what);
        problems.error((error.stage() == FileError::Stage::opening ? "Could not open " + kind + " for writing: "
                                                                   : "Could not write " + kind + ": ") +
                       path);
        throw;
    }
}

}  // namespace ravir
