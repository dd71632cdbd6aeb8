#pragma once

class QLabel;
class QListWidget;
class QString;
class QWidget;

namespace bw {

// The windows keep their designed sizes wherever the desktop's font lets a text fit; where it
// does not, a control (or the window) grows just enough. These say how much is enough.

// The whole width a label or push button needs for its text (and picture) in its own font,
// frame and margins included.
int textWidthNeeded(const QWidget& control);
// The same for a label showing the given text.
int textWidthNeeded(const QLabel& label, const QString& text);

// Widens a label or push button that is too narrow for its text; returns how much it grew.
int growToFitText(QWidget& control);

// Makes a list tall enough to show its first `rows` rows whole (the rest scroll); returns how
// much it grew.
int growToShowRows(QListWidget& list, int rows);

// The width a window needs for its caption in the title bar, with room for the bar's icon and
// three buttons (0 for a window without a title bar).
int captionWidthNeeded(const QWidget& window);

} // namespace bw
