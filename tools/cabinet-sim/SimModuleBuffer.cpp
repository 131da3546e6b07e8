#include "SimModuleBuffer.h"

#include "SimImage.h"

namespace sim {

namespace {
constexpr int ModulesWithBuffer = 32;
}

uint16_t ModuleBufferLengthOf(int module)
{
    if (module < 1 || module > ModulesWithBuffer) return 0;
    // 64 entries for module 1, 110 for module 3 (more than the 100 that are reported), 6 for
    // module 5; never more than 150.
    return static_cast<uint16_t>((23 * module + 40) % 150 + 1);
}

uint16_t ModuleBufferEntry(int module, uint32_t index)
{
    if (index >= ModuleBufferLengthOf(module)) return 0;
    // A frame from the module: its address first, then bytes that differ from module to
    // module; every seventh entry carries a ninth bit, as a received word with a flag does.
    if (index == 0) return static_cast<uint16_t>(module);
    const uint16_t byte = static_cast<uint16_t>((module * 29 + index * 37 + 11) & 0xFF);
    return index % 7 == 0 ? static_cast<uint16_t>(byte | 0x100) : byte;
}

void SelectModuleBuffer(RegisterImage& image, uint16_t module)
{
    for (uint32_t i = 0; i < ModuleBufferEntries; ++i)
        image.write(ModuleBufferFirst + i, ModuleBufferEntry(module, i));
    image.write(ModuleBufferFirst + ModuleBufferEntries, 0); // 54100: not used
    image.write(ModuleBufferSelect, module);
    image.write(ModuleBufferLength, ModuleBufferLengthOf(module));
}

} // namespace sim
