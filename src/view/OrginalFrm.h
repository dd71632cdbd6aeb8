#pragma once

#include "app/SecondaryWindow.h"

#include <QLabel>

#include <string>

namespace bw {

// Shows a bitmap file at its own size.
class TOrginalF : public SecondaryWindow {
    Q_OBJECT
public:
    explicit TOrginalF(QWidget* mainWindow);
    QLabel* Image1;

    // Loads the bitmap, sizes the window to it plus 25 pixels and centres it on the screen.
    // A file that cannot be read or is no bitmap ends the command with its error text.
    void loadPicture(const std::string& path);
};

// "Oginalgröße": the viewer for a bitmap entry, a message for anything else.
void showOriginalSize(TOrginalF& viewer, const std::string& path);

} // namespace bw
