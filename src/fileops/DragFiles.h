#pragma once

#include <QImage>
#include <QString>

#include <string>
#include <vector>

namespace bw {

// A private folder for the files of icons dragged out of the program: made on first use with
// permissions 0700 under the user's runtime directory (else the cache directory), one per running
// program, and removed with everything in it when the object ends. The program holds a lock on
// it while it lives, so a folder that a killed run left behind is told from one in use; the next
// run removes such folders when it makes its own.
class DragFolder {
public:
    // `base`: where the folders of all runs lie; empty for the user's runtime or cache directory.
    explicit DragFolder(std::string base = {});
    ~DragFolder();
    DragFolder(const DragFolder&) = delete;
    DragFolder& operator=(const DragFolder&) = delete;

    // A new, empty folder inside for one drag, ending in '/'; empty when none can be made.
    std::string newDragDirectory();
    // The folder of this run; empty before the first drag.
    const std::string& path() const { return m_path; }

private:
    bool open();
    std::string m_base;
    std::string m_path; // ends in '/'
    int m_lock = -1;
    int m_drags = 0;
};

// One icon a drag takes along: where it comes from, and the picture to give instead of reading
// the source (the kept picture of an entry whose source is gone or changed).
struct DraggedIcon {
    std::string path;
    int index = 0;
    QImage kept;
};

// Writes the largest image (or the kept picture) of each icon as a PNG file into `directory` (ending in '/'), named
// after its source file without the extension and "_" + the index above 0, and gives the files
// written, as their names are decoded for the desktop. Icons without a picture are left out.
QStringList writeDragFiles(const std::string& directory, const std::vector<DraggedIcon>& icons);

} // namespace bw
