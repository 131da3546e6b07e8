#include "comm/uLinkState.h"

#include <cstring>

TLinkState LinkState;
bool FastLineForRun = false;
uint8_t TxBuf[CommBufSize];
uint8_t RxBuf[CommBufSize];

namespace {
TLinkMainHooks defaultMainHooks;
TLinkTraceHooks defaultTraceHooks;
TLinkMainHooks* mainHooks = &defaultMainHooks;
TLinkTraceHooks* traceHooks = &defaultTraceHooks;
} // namespace

void SetLinkMainHooks(TLinkMainHooks* hooks) { mainHooks = hooks ? hooks : &defaultMainHooks; }
void SetLinkTraceHooks(TLinkTraceHooks* hooks) { traceHooks = hooks ? hooks : &defaultTraceHooks; }
TLinkMainHooks& LinkMain() { return *mainHooks; }
TLinkTraceHooks& LinkTrace() { return *traceHooks; }

void ResetLinkState()
{
    LinkState = TLinkState{};
    FastLineForRun = false;
    std::memset(TxBuf, 0, sizeof TxBuf);
    std::memset(RxBuf, 0, sizeof RxBuf);
}
