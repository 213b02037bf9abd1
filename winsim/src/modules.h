// winsim internals of the libraries area that other areas use: the resources of a
// loaded module, for the resource loading calls.
#pragma once

#include "winsim/control_modules.h"

#include <memory>

namespace winsim::detail {

// The resources of the loaded module behind `module`; null when the handle names no
// loaded module or the module has no resources.
std::shared_ptr<ModuleResources> LoadedModuleResources(HMODULE module);

// The executable's path, as GetModuleFileNameA reports it; its folder heads the
// search path of a bare file name.
const std::string& MainModulePath();

}  // namespace winsim::detail
