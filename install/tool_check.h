// Whether a tool the run will start is there and is a program this system can start: checked at
// Start, before the target is wiped, so that a missing or foreign tool stops nothing half-way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "shell/ports.h"

namespace morvane {

// The machine field of a PE program's file header (0x014C x86, 0x8664 x64); nothing for a file
// that is no PE program.
std::optional<uint16_t> PeMachine(const std::string& file);

// Whether the system starts programs of `machine`: its own, x86 where 32-bit programs run, and x64
// on an ARM64 system (which emulates it). A system of unknown machine is not second-guessed.
bool CanRun(uint16_t machine, const Machines& system);

// Why the tool at `path` cannot serve ("映像工具" or "引导工具" in `kind`); nothing when it can,
// or when it cannot be read to tell.
std::optional<std::wstring> ToolProblem(SystemPort& sys, const std::wstring& path, const std::wstring& kind);

}  // namespace morvane
