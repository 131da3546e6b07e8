#include "model/UShareData.h"

TLocalPara LocalPara;
