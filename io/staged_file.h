#pragma once
// One output file being written: staged in the target's folder and given the target's name only
// once it is complete, so that an earlier file is never replaced by a part of a new one.

#include <string>
#include <utility>

namespace vantorra {

// "." for a bare name, else the folder part of `path`.
std::string folderOf(const std::string& path);

// Claims one of a few fixed slots for the name a temporary holds for an instant before its rename,
// so that a signal handler can remove it without allocating; -1 when none is free or the name is
// too long. releaseSlot(-1) does nothing.
int claimSlot(const std::string& path);
void releaseSlot(int slot);
// From a signal handler: removes every file whose name a slot holds.
void removeNamedTemporaries() noexcept;

// An unnamed file in the target's folder when the file system offers them (nothing is left if
// the process dies), else a hidden named one beside the target. Every call that can fail returns
// empty, or the system's reason.
class StagedFile {
public:
    explicit StagedFile(std::string target) : target_(std::move(target)) {}
    ~StagedFile() { discard(); }
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    std::string open();
    int descriptor() const { return descriptor_; }
    // Everything written reaches the disk before the file gets its name.
    std::string flush();
    // Gives the unnamed file a name beside the target (the named one has it already).
    std::string name();
    std::string replaceTarget();
    void discard();
    const std::string& target() const { return target_; }

private:
    std::string target_;
    std::string named_;
    int descriptor_ = -1;
    int slot_ = -1;
};

}  // namespace vantorra
