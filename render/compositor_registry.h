#pragma once
// The compositors a render can blend with, by the names RenderOptions::blendingMethod holds.
// Stored settings keep a compositor's place in this table, so rows are only ever added at the end.

#include "render/compositor.h"
#include "render/registry.h"

namespace vantorra {

const ComponentTable<Compositor>& compositors();

}  // namespace vantorra
