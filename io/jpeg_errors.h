#pragma once
// What the JPEG reader and writer share: libjpeg's fatal errors turned into false results, the
// reasons given to callers, and a FILE owned for the length of one call.

#include <csetjmp>
#include <cstdio>
#include <string>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace vantorra::jpeg_detail {

// libjpeg reports a fatal error by calling error_exit, which must not return. Ours records the
// library's message and jumps back to the routine that started the call, so a corrupt file
// becomes a false result instead of the end of the process.
struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void installErrorManager(ErrorManager& manager);

void setError(std::string* error, const std::string& text);

// "can't open PATH: reason" for the errno saved after a failed open.
std::string openFailure(const std::string& path, int savedErrno);

// Owns the FILE for the length of one call.
class FileHandle {
public:
    explicit FileHandle(FILE* file) : file_(file) {}
    ~FileHandle() {
        if (file_) std::fclose(file_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FILE* get() const { return file_; }
    // Closes now and reports whether everything buffered reached the file.
    bool close() {
        const bool ok = std::fclose(file_) == 0;
        file_ = nullptr;
        return ok;
    }

private:
    FILE* file_;
};

}  // namespace vantorra::jpeg_detail
