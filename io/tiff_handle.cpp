#include "io/tiff_handle.h"

#include <cstdarg>
#include <sys/stat.h>

namespace vantorra::tiff_detail {
namespace {

std::FILE* fileOf(thandle_t handle) { return static_cast<std::FILE*>(handle); }

tmsize_t readProc(thandle_t handle, void* data, tmsize_t size) {
    return static_cast<tmsize_t>(std::fread(data, 1, static_cast<size_t>(size), fileOf(handle)));
}

tmsize_t writeProc(thandle_t handle, void* data, tmsize_t size) {
    return static_cast<tmsize_t>(std::fwrite(data, 1, static_cast<size_t>(size), fileOf(handle)));
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
    if (fseeko(fileOf(handle), static_cast<off_t>(offset), whence) != 0) return static_cast<toff_t>(-1);
    return static_cast<toff_t>(ftello(fileOf(handle)));
}

int closeProc(thandle_t) { return 0; }  // the caller closes its file

toff_t sizeProc(thandle_t handle) {
    struct stat facts {};
    if (fstat(fileno(fileOf(handle)), &facts) != 0) return 0;
    return static_cast<toff_t>(facts.st_size);
}

int mapProc(thandle_t, void**, toff_t*) { return 0; }
void unmapProc(thandle_t, void*, toff_t) {}

// The handle's name, which libtiff puts in front of many of its messages.
constexpr const char* kName = "photograph";

int onError(TIFF*, void* user, const char*, const char* format, va_list args) {
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    std::string message = text;
    const std::string name = std::string(kName) + ": ";
    if (message.rfind(name, 0) == 0) message.erase(0, name.size());
    for (char& c : message)
        if (c == '\n' || c == '\r') c = ' ';
    static_cast<TiffHandle*>(user)->complain(message);
    return 1;
}

int onWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

}  // namespace

TiffHandle::TiffHandle(std::FILE* file, const char* mode) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return;
    TIFFOpenOptionsSetErrorHandlerExtR(options, onError, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options, onWarning, this);
    // A forged directory must not make the library allocate what no photograph needs.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t{1} << 30);
    std::rewind(file);
    // "m": no memory mapping, the reads go through the procs (and the caller's change checks).
    const std::string flags = std::string(mode) + "m";
    tiff_ = TIFFClientOpenExt(kName, flags.c_str(), file, readProc, writeProc, seekProc, closeProc,
                              sizeProc, mapProc, unmapProc, options);
    TIFFOpenOptionsFree(options);
}

TiffHandle::~TiffHandle() {
    if (tiff_) TIFFClose(tiff_);
}

}  // namespace vantorra::tiff_detail
