#pragma once
// Part of the engine's Clang set-up, which the SDK does not ship; nothing is needed of it here.
