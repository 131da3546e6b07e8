#include "ui/uViewMainHooks.h"

namespace {
TViewMainHooks defaultHooks;
TViewMainHooks* hooks = &defaultHooks;
} // namespace

void SetViewMainHooks(TViewMainHooks* h) { hooks = h ? h : &defaultHooks; }

TViewMainHooks& ViewMain() { return *hooks; }
