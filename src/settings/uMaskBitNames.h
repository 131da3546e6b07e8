// The cabinet's ten mask words (holding registers 40082 to 40091): the title of each word and
// the name of each of its bits, in English and simplified Chinese.
#pragma once

#include "model/uRegisters.h"

#include <QString>

constexpr int MaskChannelCount = 10;
// The first mask word is channel 1 at RegMaskFirst; channel n is the register n - 1 after it.
inline int MaskRegister(int channel) { return RegMaskFirst - 1 + channel; }

struct TMaskText {
    const char* en; // UTF-8; empty for a bit without a name
    const char* zh;
};

// Title of a channel (1 to 10); both texts empty for a channel out of range.
TMaskText MaskTitleText(int channel);
// Name of bit 0..15 of a channel (1 to 10); both texts empty for a bit without a name.
TMaskText MaskBitText(int channel, int bit);

// The same in the current language.
QString MaskTitle(int channel);
QString MaskBitName(int channel, int bit);
