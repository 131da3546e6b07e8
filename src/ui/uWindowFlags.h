// The frame of the tool's small fixed-size windows: a title with the system menu and the
// close button, no resizing.
#pragma once

#include <Qt>

constexpr Qt::WindowFlags FixedFrameFlags = Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
// A dialog with that frame, and a plain window (a view that is not modal) with it.
constexpr Qt::WindowFlags FixedDialogFlags = Qt::Dialog | FixedFrameFlags;
constexpr Qt::WindowFlags FixedWindowFlags = Qt::Window | FixedFrameFlags;
