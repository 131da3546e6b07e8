// Hexadecimal code fields: a status or alarm word shown as four upper-case hexadecimal
// digits, and edits that take such a word from the operator.
#pragma once

#include <QLineEdit>

#include <cstdint>

// A read-only field of four hexadecimal digits ("0000" at start): bold, centred, and
// legible when its group is disabled.
QLineEdit* MakeCodeField(QWidget* parent, const char* name);

// Shows the low 16 bits of value as four upper-case hexadecimal digits.
void SetHexWord(QLineEdit* field, uint32_t value);

// An edit that takes up to four hexadecimal digits (typed letters become upper case).
QLineEdit* MakeHexEdit(QWidget* parent, const char* name);

// The word in a hexadecimal edit; ok is false for an empty or invalid text.
uint16_t HexEditValue(const QLineEdit* edit, bool* ok = nullptr);
