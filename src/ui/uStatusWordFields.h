// The words of a status block shown in hexadecimal, one code field a word: the main window's
// cabinet and module groups and the status-code viewer say once which field shows which word.
#pragma once

#include "model/uUpsInfo.h"

#include <initializer_list>
#include <utility>
#include <vector>

class QLineEdit;

// The ten words of a status block, numbered as TStatusBlock::Word numbers them.
enum class TStatusWord {
    CmmStaH,
    CmmStaL,
    CmmAlmH,
    CmmAlmL,
    InvStaH,
    InvStaL,
    InvAlmH,
    InvAlmL,
    SysSta,
    SysAlm
};

class TStatusWordFields {
public:
    using TField = std::pair<TStatusWord, QLineEdit*>;
    TStatusWordFields() = default;
    TStatusWordFields(std::initializer_list<TField> fields) : fields_(fields) {}

    void Add(TStatusWord word, QLineEdit* field) { fields_.emplace_back(word, field); }
    // Each field shows its word of block as four upper-case hexadecimal digits.
    void Show(const TStatusBlock& block) const;
    const std::vector<TField>& Fields() const { return fields_; }

private:
    std::vector<TField> fields_;
};
