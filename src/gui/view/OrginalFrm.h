#pragma once

#include "gui/widgets/SecondaryWindow.h"
#include "icons/IconExtractor.h"

#include <QLabel>
#include <QListWidget>

#include <string>
#include <vector>

namespace bw {

// Shows a picture at its own size and, below it, the group the icon is stored as (in programs and
// icon libraries) and one line per image of the entry's icon; choosing a line shows that image.
class TOrginalF : public SecondaryWindow {
    Q_OBJECT
public:
    explicit TOrginalF(QWidget* mainWindow);
    QLabel* Image1;
    QLabel* Gruppe; // hidden for files without groups
    QListWidget* Bilder;

    // Loads the bitmap, sizes the window to it plus 25 pixels and centres it on the screen.
    // A file that cannot be read or is no bitmap ends the command with its error text.
    void loadPicture(const std::string& path);
    // Lists the images below the group line (none when empty), sizes the window once for the
    // largest, shows image `shown` and centres the window on the screen.
    void loadImages(std::vector<IconImageInfo> images, int shown, const QString& group = {});
    // Shows image `row` of the list at its own size, on a checkerboard where it is transparent.
    void showImage(int row);

private:
    void centre();
    std::vector<IconImageInfo> m_images;
};

// The line of the list for one image, e.g. "48 × 48, 8 Bit" or "256 × 256, 32 Bit, PNG".
QString imageLine(const IconImageInfo& image);

// The line naming an icon's group, e.g. "Gruppe 184, Sprache 1033" or "Gruppe „MAINICON“";
// empty for an icon that is no group.
QString groupLine(const IconOrigin& origin);

// "Oginalgröße": the viewer for a bitmap entry, or every image of an icon entry; a message for an
// entry without a readable picture.
void showOriginalSize(TOrginalF& viewer, const std::string& path, int iconIndex = 0);

} // namespace bw
