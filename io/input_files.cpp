#include "io/input_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "core/cancel_flag.h"

namespace vantorra {
namespace {

struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t modified = 0;  // nanoseconds
    // Every write moves the status change time, and no one can set it back as a copy that keeps
    // the modification time does: a change in place of the same size is seen by it.
    int64_t statusChanged = 0;
    uint64_t checksum = 0;
    bool operator==(const Identity&) const = default;
};

// The part every reader reads first (header, EXIF): cheap to hash again at each read.
constexpr size_t kCheckedBytes = size_t{64} << 10;

uint64_t checksumOfStart(int descriptor) {
    std::vector<unsigned char> bytes(kCheckedBytes);
    size_t have = 0;
    while (have < bytes.size()) {
        const ssize_t n = pread(descriptor, bytes.data() + have, bytes.size() - have, static_cast<off_t>(have));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        have += static_cast<size_t>(n);
    }
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (size_t i = 0; i < have; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
    return hash;
}

bool identify(int descriptor, Identity& identity) {
    struct stat info;
    if (fstat(descriptor, &info) != 0) return false;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = info.st_size;
    identity.modified = int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
    identity.statusChanged = int64_t{info.st_ctim.tv_sec} * 1000000000 + info.st_ctim.tv_nsec;
    identity.checksum = checksumOfStart(descriptor);
    return true;
}

struct Watch {
    std::mutex mutex;
    int depth = 0;
    std::map<std::string, Identity> seen;
    std::string changed;
    std::atomic<const CancelFlag*> cancel{nullptr};
};

Watch& watch() {
    static Watch instance;
    return instance;
}

}  // namespace

std::FILE* openInputFile(const std::string& path, std::string* error) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never come.
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        if (error) *error = std::string(kOpenVerb) + path + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat info;
    std::FILE* file = nullptr;
    if (fstat(descriptor, &info) != 0) {
        if (error) *error = std::string(kOpenVerb) + path + ": " + std::strerror(errno);
    } else if (!S_ISREG(info.st_mode)) {
        if (error) *error = path + (S_ISDIR(info.st_mode) ? ": not a regular file (a folder)" : ": not a regular file");
    } else {
        fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
        file = fdopen(descriptor, "rb");
        if (!file && error) *error = std::string(kOpenVerb) + path + ": " + std::strerror(errno);
    }
    if (!file) close(descriptor);
    return file;
}

std::string inputFileProblem(const std::string& path) {
    std::string why;
    std::FILE* file = openInputFile(path, &why);
    if (file) std::fclose(file);
    return why;
}

std::string checkUnchanged(const std::string& path, std::FILE* file) {
    Watch& w = watch();
    {
        const std::lock_guard lock(w.mutex);
        if (w.depth == 0) return std::string();
    }
    Identity now;
    if (!identify(fileno(file), now)) return std::string();
    const std::lock_guard lock(w.mutex);
    if (w.depth == 0) return std::string();
    const auto [first, inserted] = w.seen.try_emplace(path, now);
    if (inserted || first->second == now) return std::string();
    const std::string message = path + " changed during the run";
    if (w.changed.empty()) w.changed = message;
    return message;
}

InputWatch::InputWatch(const CancelFlag* cancel) {
    Watch& w = watch();
    const std::lock_guard lock(w.mutex);
    if (w.depth++ == 0) {
        w.seen.clear();
        w.changed.clear();
    }
    w.cancel.store(cancel);
}

InputWatch::~InputWatch() {
    Watch& w = watch();
    const std::lock_guard lock(w.mutex);
    if (--w.depth == 0) {
        w.cancel.store(nullptr);
        w.seen.clear();
        w.changed.clear();
    }
}

std::string InputWatch::changedDuringRun() {
    Watch& w = watch();
    const std::lock_guard lock(w.mutex);
    return w.changed;
}

bool InputWatch::readCancelled() {
    const CancelFlag* cancel = watch().cancel.load(std::memory_order_relaxed);
    return cancel != nullptr && cancel->requested();
}

}  // namespace vantorra
