#include "io/jpeg_errors.h"

#include <cstring>

#include <jerror.h>

#include "io/input_files.h"

namespace vantorra::jpeg_detail {
namespace {

[[noreturn]] void errorExit(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    longjmp(manager->jump, 1);
}

// Warnings (recoverable corruption) are not printed: a library must not write to the user's
// terminal. A premature end of the file or of a data segment is promoted to an error, because
// the library would otherwise hand back an image whose missing part is filled with grey (and a
// header claiming a huge size followed by nothing would be decoded in full).
void emitMessage(j_common_ptr cinfo, int level) {
    if (level < 0) {
        const int code = cinfo->err->msg_code;
        if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) errorExit(cinfo);
        cinfo->err->num_warnings++;
    }
}

void outputMessage(j_common_ptr) {}

}  // namespace

void installErrorManager(ErrorManager& manager) {
    jpeg_std_error(&manager.pub);
    manager.pub.error_exit = errorExit;
    manager.pub.emit_message = emitMessage;
    manager.pub.output_message = outputMessage;
    manager.message[0] = '\0';
}

void setError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

std::string openFailure(const std::string& path, int savedErrno) {
    return kOpenVerb + path + ": " + std::strerror(savedErrno);
}

}  // namespace vantorra::jpeg_detail
