#pragma once
// The exponential and arctangent tables of the feature library: the detector never calls exp or
// atan2 per pixel.

namespace vantorra {

// Fills both tables unless already filled (the first exponential entry is still 0 until then).
void fillLookupTables();
// E[i] = exp(-(i + 0.5) / 100), i = 0..999; used as E[(int)(100 t)] ~ exp(-t).
const float* expTable();
// T[j] = atan((j + 0.5) / 100), j = 0..100; used as T[(int)(100 r)] ~ atan(r) for 0 <= r <= 1.
const float* atanTable();

}  // namespace vantorra
