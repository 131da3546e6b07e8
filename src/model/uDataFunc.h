// Texts of the cabinet's codes in the current language, and the small text helpers the
// windows share.
#pragma once

#include <QString>
#include <cstdint>

// Picks the English or the Chinese text by the language flag at the moment of the call.
QString LangText(const char* en, const char* zh);

// The low 16 bits of a value as four upper-case hexadecimal digits.
QString HexWord(uint32_t value);

QString StateText(int code);
QString EventText(int code);
QString AlarmText(int code);
QString SupplyModeText(int code);
QString InvModeText(int code);
