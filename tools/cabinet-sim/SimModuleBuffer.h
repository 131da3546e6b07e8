// The receive buffer of one power module, as the cabinet reports it at 54000..54102: the
// entries at 54000..54099, the module whose buffer it is at 54101 (written to choose the
// module) and the number of entries received at 54102.
#pragma once

#include <cstdint>

namespace sim {

class RegisterImage;

constexpr uint32_t ModuleBufferFirst = 54000;
constexpr uint32_t ModuleBufferEntries = 100;
constexpr uint32_t ModuleBufferSelect = 54101;
constexpr uint32_t ModuleBufferLength = 54102;

// Entries received from a module: each module has a length and contents of its own, and
// some lengths are above the 100 entries the cabinet can report.
uint16_t ModuleBufferLengthOf(int module);
uint16_t ModuleBufferEntry(int module, uint32_t index);

// Fills the reported buffer with that of the module chosen; a module number outside 1..32
// reports an empty buffer.
void SelectModuleBuffer(RegisterImage& image, uint16_t module);

} // namespace sim
