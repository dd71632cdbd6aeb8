#pragma once

#include "fileops/Export.h"
#include "gui/widgets/SecondaryWindow.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>

namespace bw {

// The report window of the copying, deleting and checking loops: a status line, the list of
// report lines, and "Abbrechen".
class TMeldungF : public SecondaryWindow, public ReportLines {
    Q_OBJECT
public:
    explicit TMeldungF(QWidget* mainWindow);

    QLabel* Label1;        // bold blue status line
    QListWidget* ListBox1; // report lines
    QPushButton* BitBtn1;  // "Abbrechen": default and cancel button

    // Set by "Abbrechen" (or a close request while a loop runs); showing the window clears it.
    bool cancelRequested = false;

    // A report line. Lines are kept in order and reach the list at the next refresh (or flush),
    // so a loop with many failures does not repaint the list for each one.
    void addLine(const QString& line) override;
    void flushLines();
    void clearList();
    // Status line, pending lines into the list, and one pump of messages.
    void refresh(const QString& status);

    // Marks a loop as running while it lives: the main window stays disabled until the loop has
    // really ended, even if the window was closed meanwhile.
    class Loop {
    public:
        explicit Loop(TMeldungF& window);
        ~Loop();
        Loop(const Loop&) = delete;
        Loop& operator=(const Loop&) = delete;

    private:
        TMeldungF& m_window;
    };
    bool loopRunning() const { return m_loops > 0; }

public slots:
    void BitBtn1Click();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* m_main;
    QStringList m_pending;
    int m_loops = 0;
};

} // namespace bw
