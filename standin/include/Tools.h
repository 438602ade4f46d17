#pragma once
// The host's tools.

#include <string>

#include "API/Base.h"

namespace AsaApi::Tools {
// The folder of the server's executable.
ARK_API std::string GetCurrentDir();
}  // namespace AsaApi::Tools

namespace API {
namespace Tools = AsaApi::Tools;
}
