// Texts of the cabinet's codes in the current language, and the small text helpers the
// windows share.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// Picks the English or the Chinese text by the language flag at the moment of the call.
QString LangText(const char* en, const char* zh);

// The low 16 bits of a value as four upper-case hexadecimal digits.
QString HexWord(uint32_t value);

// The decimal text of value, padded in front with "0" up to width, or cut to its last width
// characters when longer.
QString ZeroPadDec(int64_t value, int width);

// One "1" or "0" per bit, from bit topBit down to bit 0.
QString BinText(uint32_t value, int topBit);

// Item index (from 0) of a delimited list, or the empty text when there are fewer items.
// Items are separated by the delimiter and by blanks and control characters; an item that
// begins with a double quote runs to its closing quote (a doubled quote inside stands for one);
// a delimiter at the very end adds an empty last item.
QString DelimitedField(const QString& text, QChar delimiter, int index);
// Every item of such a list.
QStringList DelimitedItems(const QString& text, QChar delimiter);

// A text the cabinet keeps in a fixed-width field, one character per byte (Latin-1): the
// characters up to the first zero byte, at most width.
QString FieldText(const uint8_t* bytes, int width);
// The reverse: the field filled with spaces, then one byte per character of text, at most
// width characters. A character that has no Latin-1 byte (or is the zero that would end the
// field) is stored as "?".
void PutFieldText(uint8_t* bytes, int width, const QString& text);

QString StateText(int code);
// The English text whatever the language flag: for readers that are programs (metric labels).
QString StateTextEnglish(int code);
QString AlarmTextEnglish(int code);
QString EventText(int code);
QString AlarmText(int code);
QString SupplyModeText(int code);
QString InvModeText(int code);
