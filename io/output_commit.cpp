#include "io/output_commit.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/cancel_flag.h"

namespace vantorra {
namespace {

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The longest suffix a temporary gets ("-XXXXXX" while mkostemp picks it) after the longest
// process number.
constexpr size_t kLongestTemporaryTail = sizeof ".4294967295-XXXXXX" - 1;

}  // namespace

FolderLock::FolderLock(const std::string& folder, const CancelFlag* cancel) {
    descriptor_ = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor_ < 0) {
        error_ = std::strerror(errno);
        return;
    }
    // Polled, so that a run asked to stop while another holds the folder stops at once.
    while (flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK || errno == EINTR) {
            if (cancel != nullptr && cancel->requested()) {
                error_ = "cancelled while another run was writing into the folder";
                close(descriptor_);
                descriptor_ = -1;
                return;
            }
            if (errno == EWOULDBLOCK) usleep(20000);
            continue;
        }
        // A file system without locks (some network mounts): the outputs are still replaced whole.
        if (errno == ENOLCK || errno == EOPNOTSUPP) return;
        error_ = std::strerror(errno);
        close(descriptor_);
        descriptor_ = -1;
        return;
    }
}

FolderLock::~FolderLock() {
    if (descriptor_ >= 0) close(descriptor_);  // closing releases the lock
}

std::string temporaryName(const std::string& target, const std::string& suffix) {
    const std::string folder = folderOf(target);
    const std::string prefix = target.find('/') == std::string::npos ? std::string() : (folder == "/" ? "/" : folder + "/");
    return prefix + "." + nameOf(target) + "." + std::to_string(getpid()) + "-" + suffix;
}

void removeDeadTemporaries(const std::string& target) {
    const std::string folder = folderOf(target);
    std::string start = ".";  // built in steps: GCC 12 warns falsely about "." + name + "."
    start += nameOf(target);
    start += '.';
    DIR* directory = opendir(folder.c_str());
    if (!directory) return;
    while (const dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        if (name.rfind(start, 0) != 0) continue;
        size_t end = start.size();
        while (end < name.size() && name[end] >= '0' && name[end] <= '9') ++end;
        if (end == start.size() || end >= name.size() || name[end] != '-' || end - start.size() > 10) continue;
        const long process = std::stol(name.substr(start.size(), end - start.size()));
        if (process <= 0 || process == getpid()) continue;
        if (kill(static_cast<pid_t>(process), 0) == 0 || errno != ESRCH) continue;  // still running
        unlinkat(dirfd(directory), name.c_str(), 0);
    }
    closedir(directory);
}

std::string outputPathProblem(const std::string& path, bool temporaries) {
    const std::string name = nameOf(path);
    const size_t extra = temporaries ? 1 + kLongestTemporaryTail : 0;
    const long limit = pathconf(folderOf(path).c_str(), _PC_NAME_MAX);
    const size_t longestName = limit > 0 ? static_cast<size_t>(limit) : NAME_MAX;
    const std::string what = temporaries ? "its temporary's " : "its ";
    if (path.size() + extra >= PATH_MAX)
        return "cannot write " + path + ": " + what + "path would be longer than " + std::to_string(PATH_MAX - 1) +
               " bytes (" + std::strerror(ENAMETOOLONG) + ")";
    if (name.size() + extra > longestName)
        return "cannot write " + path + ": " + what + "name would be longer than " + std::to_string(longestName) +
               " bytes (" + std::strerror(ENAMETOOLONG) + ")";
    return std::string();
}

}  // namespace vantorra
