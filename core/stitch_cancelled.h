#pragma once
// Thrown by the progress reporter when a cancel request is seen, so a run unwinds from wherever
// it reports. The engine's public entry points catch it: callers see Stitcher::cancelled, never
// the exception.

#include <exception>

namespace vantorra {

class StitchCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "Stitching cancelled"; }
};

}  // namespace vantorra
