#pragma once

#include "gui/widgets/SecondaryWindow.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

namespace bw {

class MainWindowAccess;

// The progress window of the reading commands.
class TEinleseF : public SecondaryWindow {
    Q_OBJECT
public:
    explicit TEinleseF(MainWindowAccess* main);

    QLabel* Label1;        // "Suche *.ico Dateien ."
    QLabel* Label2;        // "Symbole 17", right-aligned
    QListWidget* ListBox1; // one line per file found
    QListWidget* ListBox2; // cleared by the reads, filled by nothing
    QPushButton* BitBtn1;  // "Abbrechen"
    QTimer* Timer1;        // closes the window 100 ms after a read or a cancel

    // Set by "Abbrechen", read by the scan between files.
    bool readCancelled = false;
    // True from the start of a read to its very end: the window stays and the main window stays
    // disabled until then, whatever closes or cancels it meanwhile.
    bool readRunning = false;

    void setLabel2(const QString& text);

public slots:
    void BitBtn1Click();
    void Timer1Timer();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    MainWindowAccess* m_main;
};

} // namespace bw
