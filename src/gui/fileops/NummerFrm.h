#pragma once

#include "gui/widgets/SecondaryWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace bw {

struct AppState;
class MainWindowAccess;
class TEinleseF;

// The renumbering window: a prefix, "und Los", and the countdown while the files of the read
// directory get their new names.
class TNummerF : public SecondaryWindow {
    Q_OBJECT
public:
    // A renumbering renames the files of the read directory of `state`, then reads the directory
    // again, showing the read in `progress`.
    TNummerF(MainWindowAccess* main, TEinleseF* progress, AppState& state);

    QLineEdit* Edit1;     // the prefix
    QLabel* Label1;       // "Texteingabe"
    QPushButton* BitBtn1; // "und Los", the countdown during the run
    QPushButton* BitBtn2; // "Abbrechen", visible during the run
    QLabel* Label2;       // what the window does

    // Set by "Abbrechen"; the run clears it when it starts.
    bool renumberCancel = false;
    bool running() const { return m_running; }

public slots:
    void BitBtn1Click();
    void BitBtn2Click();

protected:
    void showEvent(QShowEvent* event) override;
    // Before a run a close request closes the window; during a run it is "Abbrechen", and the run
    // closes the window when it has ended.
    CloseRequest closeRequestRule() const override { return m_running ? CloseRequest::Cancel : CloseRequest::Close; }
    void cancelRequested() override { BitBtn2Click(); }

private:
    MainWindowAccess* m_main;
    TEinleseF* m_progress;
    AppState& m_state;
    bool m_running = false;
};

} // namespace bw
