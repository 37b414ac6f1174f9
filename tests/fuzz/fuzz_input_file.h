#pragma once
// The readers take a path, so each fuzz input is handed to them through a file that lives in
// memory (memfd) and is rewritten for every input: the whole reading path, fopen included, is
// exercised without touching the disk.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vantorra::fuzz {

class FuzzInputFile {
public:
    FuzzInputFile() : descriptor_(memfd_create("vantorra-fuzz-input", MFD_CLOEXEC)) {
        if (descriptor_ < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        path_ = "/proc/self/fd/" + std::to_string(descriptor_);
    }
    ~FuzzInputFile() { close(descriptor_); }
    FuzzInputFile(const FuzzInputFile&) = delete;
    FuzzInputFile& operator=(const FuzzInputFile&) = delete;

    // Replaces the file's contents with the input; returns the path the readers open.
    const std::string& hold(const uint8_t* data, size_t size) {
        if (ftruncate(descriptor_, 0) != 0) std::abort();
        size_t written = 0;
        while (written < size) {
            const ssize_t n = pwrite(descriptor_, data + written, size - written, static_cast<off_t>(written));
            if (n <= 0) std::abort();
            written += static_cast<size_t>(n);
        }
        return path_;
    }

private:
    int descriptor_;
    std::string path_;
};

}  // namespace vantorra::fuzz
