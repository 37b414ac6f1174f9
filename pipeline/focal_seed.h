#pragma once
// An EXIF focal length is where registration starts, not a fact: a wrong one (a converter that
// writes the same value into every photograph, a lens the camera did not know) can lead the
// adjustment into a wrong fit that lens distortion then bends further. When EXIF blocks gave
// focal lengths, the cameras are also registered from the size rule alone, and the seed whose
// globally adjusted cameras fit the matches better (the smaller robust scale of the transfer
// errors) is kept.

#include <vector>

#include "adjust/bundle_adjuster.h"
#include "io/photo_exif.h"
#include "matching/match_table.h"
#include "pipeline/camera_registration.h"

namespace vantorra {

// registerCameras then adjustGlobally, from the better of the two seeds. Logs the EXIF focal
// lengths as ignored when the size rule wins.
void registerFromBetterSeed(RegistrationRun& run, const MatchTable& matches, const BundleAdjuster& adjuster,
                            const std::vector<PhotoExif>& exif);

}  // namespace vantorra
