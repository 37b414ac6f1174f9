#pragma once
// The outputs of a run, pano.jpg and pano.txt in one folder, replaced only whole and together.
// Each is written to an unnamed temporary file in the same folder (so an interrupted or killed
// run leaves nothing behind and the earlier outputs untouched), flushed to the disk, and only
// when both are complete are they given their names, one rename each. A failure, or a cancel
// requested before the renames, removes the temporaries and keeps the earlier files.

#include <memory>
#include <string>

#include "io/panorama_format.h"
#include "io/panorama_sink.h"

namespace vantorra {

class CancelFlag;
class Image;

struct OutputFiles {
    static constexpr const char* kPanoramaName = "pano.jpg";
    static constexpr const char* kParameterFileName = "pano.txt";
};

// Whether new files can be created in `folder` and its earlier outputs replaced: empty when they
// can, else "cannot write PATH: reason". For the start of a run, so a long stitch never ends in
// a folder it cannot use. An earlier output without write permission counts as not replaceable.
std::string checkOutputsWritable(const std::string& folder, const std::string& panoramaName = OutputFiles::kPanoramaName);

// Writes `panorama` as JPEG at `quality` and `parameters` (the parameter file's text) into
// `folder`, replacing both together. Returns empty on success, else "cannot write PATH: reason"
// or, when `cancel` was requested before the renames, "cancelled before the outputs were
// replaced"; the earlier files are then as they were.
std::string writeOutputs(const std::string& folder, const Image& panorama, int quality,
                         const std::string& parameters, const CancelFlag* cancel = nullptr);

// Why writing the outputs failed: the file it failed on and the reason alone; both empty when
// the outputs were replaced.
struct OutputFailure {
    std::string path;
    std::string reason;
    bool failed() const { return !reason.empty(); }
};

// As writeOutputs for outputs of any names: the panorama to `panoramaPath` and the parameter
// file's text to `parameterPath`, each staged beside its target, replaced together or not at
// all. For a front end that lets the user name the panorama.
OutputFailure replaceOutputs(const std::string& panoramaPath, const std::string& parameterPath,
                             const Image& panorama, int quality, const std::string& parameters);

// The outputs of a run being made: the panorama is encoded into an unnamed temporary in the
// folder while it renders (it is never held whole), and commit() adds the parameter file and
// replaces both together. Destroyed without a commit, it leaves the earlier files as they were
// and no temporary behind.
class StagedOutputs {
public:
    // The panorama as a JPEG at `quality`, or in `encoding` (named pano.jpg, pano.tif or pano.png).
    StagedOutputs(const std::string& folder, int quality);
    StagedOutputs(const std::string& folder, const PanoramaEncoding& encoding);
    // The same for outputs of any names, each staged beside its target.
    StagedOutputs(const std::string& panoramaPath, const std::string& parameterPath, int quality);
    StagedOutputs(const std::string& panoramaPath, const std::string& parameterPath, const PanoramaEncoding& encoding);
    ~StagedOutputs();
    StagedOutputs(const StagedOutputs&) = delete;
    StagedOutputs& operator=(const StagedOutputs&) = delete;

    // Before the run: empty, or "cannot write PATH: reason".
    std::string open();
    // Instead of open() and a render: the panorama is a copy of the finished file at `source`
    // (a panorama saved under another name). Empty, or "cannot write PATH: reason" (or "cannot
    // read SOURCE: reason").
    std::string copyPanorama(const std::string& source);
    // Where the render writes the panorama; valid after a successful open().
    PanoramaSink& panorama();
    // Whether the panorama was completed; if not, why it could not be written ("cannot write
    // PATH: reason"), or empty when nothing was rendered into it.
    bool panoramaWritten() const;
    std::string panoramaError() const;
    // After the run, as writeOutputs: empty on success, else the reason; the earlier files stay.
    // A parameter file that already holds exactly `parameters` is left as it is (a re-render of
    // unchanged cameras does not rewrite the file it read).
    std::string commit(const std::string& parameters, const CancelFlag* cancel = nullptr);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// For a front end's SIGINT / SIGTERM handler that is about to end the process: removes the
// named temporary that exists for an instant between a completed write and its rename.
// Async-signal-safe (only unlink on paths stored beforehand).
void removeOutputTemporaries() noexcept;

}  // namespace vantorra
