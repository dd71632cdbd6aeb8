#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace bw {

class DirectoryListBox;
class FileListBox;
class IndexerHost;

// What the other windows and the commands need of the main window. The main window implements
// it, so that they stand below it and never reach into its controls.
class MainWindowAccess {
public:
    // The main window itself: the parent to centre on, to disable while a loop runs, to close.
    virtual QWidget& widget() = 0;
    // Paints the current page again (marks, colours, entries changed).
    virtual void repaintPage() = 0;
    // Shows the page at the scroll bar's place again, after the catalogue was read anew.
    virtual void showPageAtScrollBar() = 0;
    // The icon count panel and the copy-directory panel of the status bars.
    virtual void setIconCountPanel(const QString& text) = 0;
    virtual void setCopyDirectoryPanel(const QString& text) = 0;
    // The checked patterns of the file-type list, in list order.
    virtual QStringList checkedFileTypes() const = 0;
    // The file list of the read directory.
    virtual FileListBox& fileList() = 0;
    // The directory list beside it.
    virtual DirectoryListBox& directoryList() = 0;
    // How a read reports to the main window: page, count panel, geometry, full catalogue.
    virtual IndexerHost& pageIndexer() = 0;
    // At start-up the splash stays in front of any window a read shows, until it closes.
    virtual void keepSplashInFront() = 0;

protected:
    ~MainWindowAccess() = default;
};

} // namespace bw
