#pragma once
// What makes replacing the two outputs of a run safe when runs meet: a lock that serialises the
// runs that replace outputs in one folder, the names of the temporaries a run keeps beside its
// targets (".NAME.PID-SUFFIX", so the next run can tell which belonged to a process that died),
// and the check, before a run, that every path it will write fits the system's limits.

#include <string>

namespace vantorra {

class CancelFlag;

// Held while it lives: an exclusive lock on the folder itself (no file is made for it), waited
// for when another run holds it, until `cancel` (when given) is requested. Runs that replace
// outputs in one folder do so one at a time, so the pair left is always one run's.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder, const CancelFlag* cancel = nullptr);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool locked() const { return descriptor_ >= 0; }
    const std::string& error() const { return error_; }  // why the folder could not be locked

private:
    int descriptor_ = -1;
    std::string error_;
};

// The name of a temporary of this process beside `target`: ".NAME.PID-SUFFIX" in its folder.
std::string temporaryName(const std::string& target, const std::string& suffix);

// Removes the temporaries beside `target` left by processes that no longer run (killed between
// writing and renaming, say). Those of running processes are left alone.
void removeDeadTemporaries(const std::string& target);

// Why `path`, and with `temporaries` the temporaries made beside it, cannot be written for their
// length: "cannot write PATH: ..." naming the limit, or empty. Checked before a run, so that a
// long stitch never fails at its end for a name the system refuses.
std::string outputPathProblem(const std::string& path, bool temporaries = true);

}  // namespace vantorra
