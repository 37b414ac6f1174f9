#pragma once
// The seam finders a render can place its seams with, by the names RenderOptions::seam holds.

#include "render/registry.h"
#include "render/seam_finder.h"

namespace vantorra {

const ComponentTable<SeamFinder>& seamFinders();

}  // namespace vantorra
