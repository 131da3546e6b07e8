// What a view needs of the main window without knowing it: the main window installs its own
// at creation. The defaults stand in while there is none (a view opened by a test on its own).
#pragma once

class TViewMainHooks {
public:
    virtual ~TViewMainHooks() = default;
    // The menu flags changed: show and hide the menu items they govern.
    virtual void ApplyMenuVisibility() {}
};

// Install nullptr to return to the defaults.
void SetViewMainHooks(TViewMainHooks* hooks);
TViewMainHooks& ViewMain();
