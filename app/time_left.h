#pragma once
// How long a run has left, from how far the overall bar has come in the time so far, once that
// says something: the run must have been going a few seconds and be a little way in.

#include <optional>
#include <string>

namespace vantorra {

// Seconds left when `fraction` (0..1) of the run took `elapsed` seconds; none before the
// estimate means anything.
std::optional<double> secondsLeft(double fraction, double elapsed);

// "About 2 min 10 s left", "About 40 s left", "Less than 5 s left", rounded to what a reader
// takes in at a glance.
std::string timeLeftText(double seconds);

}  // namespace vantorra
