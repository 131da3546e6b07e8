#include "model/UShareData.h"

TRecInfo RecInfo;
TLocalPara LocalPara;
