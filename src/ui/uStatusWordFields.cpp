#include "ui/uStatusWordFields.h"

#include "ui/uHexEdit.h"

void TStatusWordFields::Show(const TStatusBlock& block) const
{
    for (const auto& [word, field] : fields_) SetHexWord(field, block.Word(static_cast<int>(word)));
}
