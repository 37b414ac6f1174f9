#include "io/staged_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "io/output_commit.h"

namespace vantorra {
namespace {

// Fixed storage: a signal handler reads it.
constexpr size_t kSlots = 4;
constexpr size_t kPathBytes = 4096;
char slotPaths[kSlots][kPathBytes];
std::atomic<bool> slotInUse[kSlots];

}  // namespace

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int claimSlot(const std::string& path) {
    if (path.size() >= kPathBytes) return -1;
    for (size_t i = 0; i < kSlots; ++i) {
        bool expected = false;
        if (!slotInUse[i].compare_exchange_strong(expected, true)) continue;
        std::memcpy(slotPaths[i], path.c_str(), path.size() + 1);
        return static_cast<int>(i);
    }
    return -1;
}

void releaseSlot(int slot) {
    if (slot >= 0) slotInUse[slot].store(false);
}

void removeNamedTemporaries() noexcept {
    for (size_t i = 0; i < kSlots; ++i)
        if (slotInUse[i].load()) unlink(slotPaths[i]);
}

std::string StagedFile::open() {
    descriptor_ = ::open(folderOf(target_).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (descriptor_ >= 0) return std::string();  // created with 0666 less the umask
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return std::strerror(errno);
    std::string pattern = temporaryName(target_, "XXXXXX");
    slot_ = claimSlot(pattern);
    descriptor_ = mkostemp(pattern.data(), O_CLOEXEC);
    if (descriptor_ < 0) {
        const int saved = errno;
        releaseSlot(slot_);
        slot_ = -1;
        return std::strerror(saved);
    }
    named_ = pattern;
    if (slot_ >= 0) std::memcpy(slotPaths[slot_], named_.c_str(), named_.size() + 1);
    fchmod(descriptor_, 0644);  // mkostemp's 0600 would hide the panorama from other users
    return std::string();
}

std::string StagedFile::flush() { return fsync(descriptor_) == 0 ? std::string() : std::strerror(errno); }

std::string StagedFile::name() {
    if (!named_.empty()) return std::string();
    const std::string fd = "/proc/self/fd/" + std::to_string(descriptor_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = temporaryName(target_, std::to_string(attempt));
        slot_ = claimSlot(candidate);
        if (linkat(AT_FDCWD, fd.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            named_ = std::move(candidate);
            return std::string();
        }
        const int saved = errno;
        releaseSlot(slot_);
        slot_ = -1;
        if (saved != EEXIST) return std::strerror(saved);
    }
    return "no free temporary name";
}

std::string StagedFile::replaceTarget() {
    if (std::rename(named_.c_str(), target_.c_str()) != 0) return std::strerror(errno);
    named_.clear();
    releaseSlot(slot_);
    slot_ = -1;
    return std::string();
}

void StagedFile::discard() {
    if (!named_.empty()) unlink(named_.c_str());
    named_.clear();
    releaseSlot(slot_);
    slot_ = -1;
    if (descriptor_ >= 0) close(descriptor_);
    descriptor_ = -1;
}

}  // namespace vantorra
