// The frames of the tool's windows, so that every window of a kind has the same one.
#pragma once

#include <Qt>

// The small fixed-size windows: a title with the system menu and the close button, no resizing.
constexpr Qt::WindowFlags FixedFrameFlags = Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
// A dialog with that frame, and a plain window (a view that is not modal) with it.
constexpr Qt::WindowFlags FixedDialogFlags = Qt::Dialog | FixedFrameFlags;
constexpr Qt::WindowFlags FixedWindowFlags = Qt::Window | FixedFrameFlags;
// A window of that frame that can also be minimised: the main window and the UPS parameters,
// which stay open beside the others.
constexpr Qt::WindowFlags MinimizableWindowFlags = FixedWindowFlags | Qt::WindowMinimizeButtonHint;
// A progress box: a title and the close button (its Cancel), no system menu.
constexpr Qt::WindowFlags ProgressDialogFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
