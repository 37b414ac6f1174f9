#pragma once
// Opening the files a run reads, photographs and parameter files alike, whatever their format.
//
// Only regular files are opened: a FIFO, a device or a folder named like a photograph would block
// the reader or give nonsense, so it is refused at once ("not a regular file") without waiting.
//
// A photograph is read several times during a run (features, refinement, gains, every band of
// the render). A file still being copied or synced would give each read another picture, so the
// run that is in progress identifies each file when it is first read (size, modification time and
// a checksum of its first 64 KiB) and every later read, at its start and at its end, checks the
// file against that. A file that differs fails the read with "PATH changed during the run", and
// the run keeps that message to end with (changedDuringRun), whichever stage was reading.
//
// The watch is one per process because every reader of every stage, on any thread, must see it
// without each stage's interface carrying it; runs in one process that overlap share it.

#include <cstdio>
#include <string>

namespace vantorra {

class CancelFlag;

// The words a failure to open a file starts with ("can't open PATH: reason").
inline constexpr const char* kOpenVerb = "can't open ";

// Opens `path` for reading in binary mode when it is a regular file. Null when it is not, with
// "PATH: not a regular file" in `error`, or with "can't open PATH: reason" when it cannot be opened.
std::FILE* openInputFile(const std::string& path, std::string* error = nullptr);

// Empty when `path` is a regular file that can be read, else the reason as openInputFile gives it.
std::string inputFileProblem(const std::string& path);

// Identifies the open `file` (read from `path`) against its first reading in this run: empty when
// it is the same or no run is watching, else "PATH changed during the run".
std::string checkUnchanged(const std::string& path, std::FILE* file);

// While one lives, the files read are watched and `cancel` (may be null) can stop a read part-way.
class InputWatch {
public:
    explicit InputWatch(const CancelFlag* cancel);
    ~InputWatch();
    InputWatch(const InputWatch&) = delete;
    InputWatch& operator=(const InputWatch&) = delete;

    // The first change seen by a read during this watch, or empty.
    static std::string changedDuringRun();
    // Whether the watching run was asked to stop; a read gives up at its next block of data.
    static bool readCancelled();
};

}  // namespace vantorra
