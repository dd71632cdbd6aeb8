#pragma once

#include "catalogue/Indexer.h"

#include <QDialog>
#include <QWidget>

#include <string>

namespace bw {

struct AppState;
class TIconF;
class TStartF;
class TOrginalF;
class TEinleseF;
class TEinstellF;
class TMeldungF;
class TKopierpfadF;
class TNummerF;
class TVergleichF;

// The program's windows, created once at program entry in this order and kept to the end.
struct Windows {
    TIconF* IconF = nullptr;
    TEinleseF* EinleseF = nullptr;
    TEinstellF* EinstellF = nullptr;
    QDialog* KWBfrm = nullptr;
    TVergleichF* VergleichF = nullptr;
    TKopierpfadF* KopierpfadF = nullptr;
    TMeldungF* MeldungF = nullptr;
    TOrginalF* OrginalF = nullptr;
    TNummerF* NummerF = nullptr;
    TStartF* StartF = nullptr;
};

Windows& windows();
void createWindows();
void destroyWindows();

// The whole start-up sequence; run when the main window is first shown.
void startUp(TIconF& main);
// Saves the settings and ends the message loop.
void shutDown(TIconF& main);
// True once shutDown ran (possibly during start-up, before the message loop).
bool shutDownDone();

// Reads the settings files into `state` and the main window's controls: bildwiesel.conf, then
// bwsave.kwb, whose first bad number is reported. False when bwsave.kwb does not exist (a first
// start), which leaves the values before it as they were.
bool loadSettings(TIconF& main, AppState& state);
// Writes both settings files from `state` and the controls; a file not written is reported.
void saveSettings(const TIconF& main, const AppState& state);

// Page geometry after the catalogue or the window size changed; sets the scroll bar's range.
void ComputePageGeometry(TIconF& main);
// Paints entries first..last into the page (first == last: into the pointer's cell).
void PaintEntries(TIconF& main, std::int32_t first, std::int32_t last);
// PaintEntries(firstVisible, firstVisible + pageCapacity - 1).
void repaintCurrentPage(TIconF& main);

// The indexer's view of the main window.
class MainIndexerHost final : public IndexerHost {
public:
    explicit MainIndexerHost(TIconF& main) : m_main(main) {}
    void blankPage() override;
    void setCountPanel(const QString& text) override;
    void pumpMessages() override;
    void computePageGeometry() override;
    void reportCatalogueFull() override;
    std::int64_t tickCount() override;
    int iconCountOf(std::string_view path) override;

private:
    TIconF& m_main;
};

} // namespace bw
