// The registry layer's cases over the Windows registry.

#include "scratch_registry.h"

#include "registry/registry_layer_cases.h"
