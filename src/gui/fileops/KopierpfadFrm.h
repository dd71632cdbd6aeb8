#pragma once

#include "gui/widgets/DirectoryWidgets.h"
#include "gui/widgets/SecondaryWindow.h"

#include <QLabel>
#include <QPushButton>

#include <optional>
#include <string>

namespace bw {

class MainWindowAccess;

// The copy-directory chooser: drive box, directory list and file list; OK takes the directory
// the list shows.
class TKopierpfadF : public SecondaryWindow {
    Q_OBJECT
public:
    explicit TKopierpfadF(MainWindowAccess* main);

    // Shows the chooser modally from `from` (or its nearest ancestor that still exists); the
    // directory taken with OK, ending in '/', or none when the user cancelled.
    std::optional<std::string> choose(const std::string& from);

    QLabel* Label1; // the chosen directory, blue
    DriveComboBox* DriveComboBox1;
    DirectoryListBox* DirectoryListBox1;
    FileListBox* FileListBox1;
    QPushButton* BitBtn1; // OK
    QPushButton* BitBtn2; // Cancel

public slots:
    void DriveComboBox1Change();
    void DirectoryListBox1Change();
    void BitBtn1Click();
    void BitBtn2Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    MainWindowAccess* m_main;
    std::string m_from = "/"; // where the next opening starts
};

} // namespace bw
