#pragma once

#include <QWidget>

namespace bw {

// Centres a window over its owner (or the screen when there is none), moved by dx, dy. Outer
// sizes count; a window larger than its owner lands left of or above it.
void CenterForm(QWidget* owner, QWidget* window, int dx, int dy);

} // namespace bw
