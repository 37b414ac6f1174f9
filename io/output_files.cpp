#include "io/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/cancel_flag.h"
#include "core/image.h"
#include "io/panorama_file_sink.h"
#include "io/jpeg.h"
#include "io/output_commit.h"
#include "io/panorama_checksum.h"
#include "io/staged_file.h"

namespace vantorra {
namespace {

std::string cannotWrite(const std::string& path, const std::string& reason) {
    return "cannot write " + path + ": " + reason;
}

std::string joined(const std::string& folder, const char* name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string writeAll(int descriptor, const char* bytes, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(descriptor, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::strerror(n < 0 ? errno : ENOSPC);
        done += static_cast<size_t>(n);
    }
    return std::string();
}

std::string stageText(StagedFile& file, const std::string& text) {
    if (std::string why = file.open(); !why.empty()) return why;
    if (std::string why = writeAll(file.descriptor(), text.data(), text.size()); !why.empty()) return why;
    return file.flush();
}

std::string stageJpeg(StagedFile& file, const Image& panorama, int quality) {
    if (std::string why = file.open(); !why.empty()) return why;
    if (panorama.channels != 3 || panorama.data.size() != static_cast<size_t>(panorama.rows) * panorama.cols * 3)
        return "only a 3-channel image can be written as JPEG";
    const int copy = dup(file.descriptor());
    std::FILE* stream = copy >= 0 ? fdopen(copy, "wb") : nullptr;
    if (!stream) {
        const int saved = errno;
        if (copy >= 0) close(copy);
        return std::strerror(saved);
    }
    std::string why;
    const bool encoded = writeJpegToFile(stream, panorama.data.data(), panorama.cols, panorama.rows, quality, &why);
    errno = 0;
    const bool closed = std::fclose(stream) == 0;
    if (!encoded) return why;
    if (!closed) return std::strerror(errno != 0 ? errno : EIO);
    return file.flush();
}

bool cancelled(const CancelFlag* cancel) { return cancel && cancel->requested(); }

// The panorama's size and checksum, recorded after the parameter file's own text.
std::string withPanoramaSection(const std::string& parameters, StagedFile& image, std::string& why) {
    PanoramaChecksum checksum;
    if (!checksumOfFile(image.descriptor(), checksum, &why)) return std::string();
    checksum.name = image.target().substr(image.target().rfind('/') + 1);
    return parameters + panoramaSection(checksum);
}

// The earlier file at `target` under a temporary name (a second link, nothing copied), to be put
// back if the pair cannot be completed. False when there is none or it cannot be kept.
bool keepEarlier(const std::string& target, const std::string& kept, int& slot) {
    slot = claimSlot(kept);
    unlink(kept.c_str());  // a leftover of an earlier process with this number
    if (link(target.c_str(), kept.c_str()) == 0) return true;
    releaseSlot(slot);
    slot = -1;
    return false;
}

// Gives both staged files their names under the folder's lock. When the second cannot be
// replaced, the first target gets its earlier file back (or none, when it had none), so the
// folder holds the earlier pair; a leftover of a run that died is removed first.
OutputFailure replaceBoth(StagedFile& first, StagedFile& second, const CancelFlag* cancel) {
    const std::string folder = folderOf(first.target());
    const FolderLock lock(folder, cancel);
    if (!lock.error().empty()) return {folder, "cannot lock the folder: " + lock.error()};
    for (StagedFile* file : {&first, &second}) removeDeadTemporaries(file->target());
    for (StagedFile* file : {&first, &second})
        if (std::string why = file->name(); !why.empty()) return {file->target(), why};
    const std::string kept = temporaryName(first.target(), "old");
    int slot = -1;
    const bool hadEarlier = access(first.target().c_str(), F_OK) == 0;
    const bool keptEarlier = hadEarlier && keepEarlier(first.target(), kept, slot);
    if (std::string why = first.replaceTarget(); !why.empty()) {
        if (keptEarlier) unlink(kept.c_str());
        releaseSlot(slot);
        return {first.target(), why};
    }
    std::string why = second.replaceTarget();
    if (!why.empty()) {
        const bool restored = keptEarlier ? std::rename(kept.c_str(), first.target().c_str()) == 0
                                          : !hadEarlier && unlink(first.target().c_str()) == 0;
        if (!restored) why += " (and " + first.target() + " is already the new one)";
    } else if (keptEarlier) {
        unlink(kept.c_str());
    }
    releaseSlot(slot);
    return why.empty() ? OutputFailure{} : OutputFailure{second.target(), why};
}

// One staged file given its name under the folder's lock; discarded when that fails.
OutputFailure replaceAlone(StagedFile& file, const CancelFlag* cancel) {
    const std::string folder = folderOf(file.target());
    const FolderLock lock(folder, cancel);
    if (!lock.error().empty()) return {folder, "cannot lock the folder: " + lock.error()};
    removeDeadTemporaries(file.target());
    std::string why = file.name();
    if (why.empty()) why = file.replaceTarget();
    if (why.empty()) return {};
    file.discard();
    return {file.target(), why};
}

// Whatever failed, no temporary of the pair stays once the call returns.
OutputFailure replacePair(StagedFile& first, StagedFile& second, const CancelFlag* cancel = nullptr) {
    OutputFailure failure = replaceBoth(first, second, cancel);
    if (failure.failed()) {
        first.discard();
        second.discard();
    }
    return failure;
}

// Whether the regular file at `path` holds exactly `text`.
bool holds(const std::string& path, const std::string& text) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size != static_cast<off_t>(text.size()))
        return false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::string content(text.size(), '\0');
    const bool read = std::fread(content.data(), 1, content.size(), file) == content.size();
    std::fclose(file);
    return read && content == text;
}

}  // namespace

std::string checkOutputsWritable(const std::string& folder, const std::string& panoramaName) {
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) return cannotWrite(folder, std::strerror(errno));
    if (!S_ISDIR(info.st_mode)) return cannotWrite(folder, "not a folder");
    for (const char* name : {panoramaName.c_str(), OutputFiles::kParameterFileName})
        if (std::string why = outputPathProblem(joined(folder, name)); !why.empty()) return why;
    // Creating a file is the only honest test: permissions, a read-only mount, no free inodes.
    StagedFile probe(joined(folder, panoramaName.c_str()));
    if (std::string why = probe.open(); !why.empty()) return cannotWrite(folder, why);
    for (const char* name : {panoramaName.c_str(), OutputFiles::kParameterFileName}) {
        const std::string path = joined(folder, name);
        if (lstat(path.c_str(), &info) != 0) continue;  // nothing to replace
        if (!S_ISREG(info.st_mode)) return cannotWrite(path, "not a regular file");
        // A read-only earlier output is the user's wish to keep it, though a rename could replace it.
        if (access(path.c_str(), W_OK) != 0)
            return cannotWrite(path, std::string(std::strerror(errno)) + " (the earlier file is read-only)");
    }
    return std::string();
}

std::string writeOutputs(const std::string& folder, const Image& panorama, int quality,
                         const std::string& parameters, const CancelFlag* cancel) {
    if (cancelled(cancel)) return "cancelled before the outputs were replaced";
    const std::string target = joined(folder, OutputFiles::kPanoramaName);
    if (panorama.channels != 3 || panorama.data.size() != static_cast<size_t>(panorama.rows) * panorama.cols * 3)
        return cannotWrite(target, "only a 3-channel image can be written as JPEG");
    // The same staging as a streamed run: the whole image is simply its only row of blocks.
    StagedOutputs staged(folder, quality);
    if (std::string why = staged.open(); !why.empty()) return why;
    if (!writeToSink(panorama, staged.panorama())) {
        const std::string why = staged.panoramaError();
        return why.empty() ? cannotWrite(target, "the panorama was not completed") : why;
    }
    return staged.commit(parameters, cancel);
}

struct StagedOutputs::State {
    State(const std::string& panoramaPath, const std::string& parameterPath, PanoramaEncoding encoding)
        : image(panoramaPath), text(parameterPath), encoding(std::move(encoding)) {}
    StagedFile image, text;
    PanoramaEncoding encoding;
    std::unique_ptr<FileSink> sink;
    bool copied = false;
};

StagedOutputs::StagedOutputs(const std::string& folder, int quality)
    : StagedOutputs(folder, PanoramaEncoding{PanoramaFormat::Jpeg, 8, quality, {}}) {}

StagedOutputs::StagedOutputs(const std::string& folder, const PanoramaEncoding& encoding)
    : StagedOutputs(joined(folder, panoramaFileName(encoding.format)), joined(folder, OutputFiles::kParameterFileName),
                    encoding) {}

StagedOutputs::StagedOutputs(const std::string& panoramaPath, const std::string& parameterPath, int quality)
    : StagedOutputs(panoramaPath, parameterPath, PanoramaEncoding{PanoramaFormat::Jpeg, 8, quality, {}}) {}

StagedOutputs::StagedOutputs(const std::string& panoramaPath, const std::string& parameterPath,
                             const PanoramaEncoding& encoding)
    : state_(std::make_unique<State>(panoramaPath, parameterPath, encoding)) {}

StagedOutputs::~StagedOutputs() = default;

std::string StagedOutputs::open() {
    State& s = *state_;
    if (std::string why = s.image.open(); !why.empty()) return cannotWrite(s.image.target(), why);
    const int copy = dup(s.image.descriptor());
    std::FILE* stream = copy >= 0 ? fdopen(copy, "wb") : nullptr;
    if (!stream) {
        const int saved = errno;
        if (copy >= 0) close(copy);
        return cannotWrite(s.image.target(), std::strerror(saved));
    }
    s.sink = makeFileSink(stream, s.image.target(), s.encoding);
    return std::string();
}

std::string StagedOutputs::copyPanorama(const std::string& source) {
    State& s = *state_;
    const int from = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0) return "cannot read " + source + ": " + std::strerror(errno);
    std::string why = s.image.open();
    std::string chunk(1 << 20, '\0');
    while (why.empty()) {
        const ssize_t n = read(from, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const std::string reason = std::strerror(errno);
            close(from);
            return "cannot read " + source + ": " + reason;
        }
        if (n == 0) break;
        why = writeAll(s.image.descriptor(), chunk.data(), static_cast<size_t>(n));
    }
    close(from);
    if (!why.empty()) return cannotWrite(s.image.target(), why);
    s.copied = true;
    return std::string();
}

PanoramaSink& StagedOutputs::panorama() { return *state_->sink; }

bool StagedOutputs::panoramaWritten() const { return state_->copied || (state_->sink && state_->sink->finished()); }

std::string StagedOutputs::panoramaError() const {
    if (!state_->sink || state_->sink->error().empty()) return std::string();
    const std::string& error = state_->sink->error();
    const std::string prefix = "can't write " + state_->image.target() + ": ";
    return cannotWrite(state_->image.target(),
                       error.rfind(prefix, 0) == 0 ? error.substr(prefix.size()) : error);
}

std::string StagedOutputs::commit(const std::string& parameters, const CancelFlag* cancel) {
    const char* const cancelMessage = "cancelled before the outputs were replaced";
    State& s = *state_;
    if (!panoramaWritten()) return cannotWrite(s.image.target(), "the panorama was not completed");
    if (cancelled(cancel)) return cancelMessage;
    if (std::string why = s.image.flush(); !why.empty()) return cannotWrite(s.image.target(), why);
    std::string why;
    const std::string text = withPanoramaSection(parameters, s.image, why);
    if (!why.empty()) return cannotWrite(s.image.target(), why);
    // A re-render of unchanged cameras to the same pixels leaves the file it read as it is.
    if (holds(s.text.target(), text)) {
        if (cancelled(cancel)) return cancelMessage;
        const OutputFailure failure = replaceAlone(s.image, cancel);
        if (failure.failed() && cancelled(cancel)) return cancelMessage;
        return failure.failed() ? cannotWrite(failure.path, failure.reason) : std::string();
    }
    if (std::string failed = stageText(s.text, text); !failed.empty()) return cannotWrite(s.text.target(), failed);
    if (cancelled(cancel)) return cancelMessage;
    const OutputFailure failure = replacePair(s.image, s.text, cancel);
    if (failure.failed() && cancelled(cancel)) return cancelMessage;  // while waiting for the folder
    return failure.failed() ? cannotWrite(failure.path, failure.reason) : std::string();
}

OutputFailure replaceOutputs(const std::string& panoramaPath, const std::string& parameterPath,
                             const Image& panorama, int quality, const std::string& parameters) {
    StagedFile image(panoramaPath), text(parameterPath);
    if (std::string why = stageJpeg(image, panorama, quality); !why.empty()) return {panoramaPath, why};
    std::string why;
    const std::string withSection = withPanoramaSection(parameters, image, why);
    if (!why.empty()) return {panoramaPath, why};
    if (std::string failed = stageText(text, withSection); !failed.empty()) return {parameterPath, failed};
    return replacePair(image, text);
}

void removeOutputTemporaries() noexcept { removeNamedTemporaries(); }

}  // namespace vantorra
