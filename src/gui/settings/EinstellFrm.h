#pragma once

#include "gui/widgets/SecondaryWindow.h"

#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <cstdint>

namespace bw {

struct AppState;
class MainWindowAccess;

// The settings dialog: the page background colour and the format of the copy loops.
class TEinstellF : public SecondaryWindow {
    Q_OBJECT
public:
    // The choices go into `state` as they are made; a new colour repaints the page.
    TEinstellF(MainWindowAccess* main, AppState& state);

    QPushButton* BitBtn1; // "&Hintergrundfarbe auswählen"
    QPushButton* BitBtn3; // "Neutralfarbe"
    QPushButton* BitBtn2; // "OK"
    QLabel* Label1;       // "Kopierformat"
    QComboBox* ComboBox1; // the copy loops' formats, in the order of ExportFormat

    // The colour dialog opens with the colour it returned last (black at first).
    QColor lastDialogColour {0, 0, 0};

public slots:
    void BitBtn1Click();
    void BitBtn3Click();
    void BitBtn2Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    MainWindowAccess* m_main;
    AppState& m_state;
};

// The page frames are red, yellow and white: the background may be none of them.
bool isForbiddenBackground(std::uint32_t colour);
std::uint32_t fromQColor(const QColor& colour);

} // namespace bw
