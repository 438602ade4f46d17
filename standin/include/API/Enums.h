#pragma once
// Engine enumerations.

namespace EIncludeSuperFlag {
enum Type : int { ExcludeSuper = 0x0, IncludeSuper = 0x1 };
}
