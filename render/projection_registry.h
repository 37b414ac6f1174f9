#pragma once
// The projections a panorama can be drawn in, by the names RenderOptions::projection holds.

#include "render/projection.h"
#include "render/registry.h"

namespace vantorra {

const ComponentTable<Projection>& projections();

}  // namespace vantorra
