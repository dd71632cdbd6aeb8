#pragma once

#include <QWidget>

namespace bw {

// Centres a window over its owner (or the screen when there is none), moved by dx, dy. Outer
// sizes count; a window larger than its owner lands left of or above it.
void CenterForm(QWidget* owner, QWidget* window, int dx, int dy);

// Shows a window and lets it paint once before the caller goes on, so that no window stands blank
// on the screen while the program is busy. Waits at most half a second for the window manager.
void showPainted(QWidget& window);

} // namespace bw
