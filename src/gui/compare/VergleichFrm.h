#pragma once

#include "gui/widgets/Panel.h"
#include "gui/widgets/SecondaryWindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>

namespace bw {

struct AppState;
class MainWindowAccess;

// "Icons Vergleichen": finds the icons of the catalogue that look (nearly) alike and marks the
// later ones, so that "Ausgewählte Löschen" can remove them.
class TVergleichF : public SecondaryWindow {
    Q_OBJECT
public:
    // A run compares the catalogue of `state` with its threshold, which the scroll bar sets.
    TVergleichF(MainWindowAccess* main, AppState& state);

    QLabel* Label1; // progress: "Vergleiche Icon i mit Icon j"
    Panel* Panel1;
    QLabel* Pic1;   // the reference's icon
    QLabel* Label6; // "->", "=" once a duplicate was found
    Panel* Panel2;
    QLabel* Pic2;           // the compared icon
    QLabel* Label2;         // the number of duplicates found
    QLabel* Label3;         // elapsed time
    QPushButton* BitBtn2;   // "und Los"
    QCheckBox* CheckBox1;   // "Ton Aus"
    QLabel* Label5;         // threshold text
    QScrollBar* ScrollBar1; // threshold
    QListWidget* ListBox1;  // defective icons and duplicates
    QLabel* Label4;         // explanation
    QPushButton* BitBtn3;   // "Abbrechen"
    QLabel* Image1;         // minimises the window

    // Set by "Abbrechen", cleared when a run starts, polled by the run.
    bool compareCancelled = false;

    void setPictures(const QImage& reference, const QImage& candidate);

public slots:
    void BitBtn2Click();
    void BitBtn3Click();
    void ScrollBar1Change();
    void Image1MouseUp();
    // Escape and a close request from the window manager do what "Abbrechen" does.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MainWindowAccess* m_main;
    AppState& m_state;
};

// "Vergleichen" in the menu "Icons": refuses an empty catalogue and one not read from icon and
// cursor files, else shows the window modally.
void compareIcons(const AppState& state, TVergleichF& window);

} // namespace bw
