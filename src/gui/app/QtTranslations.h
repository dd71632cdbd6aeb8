#pragma once

class QCoreApplication;

namespace bw {

// Loads Qt's own German texts (standard dialogs and buttons: "Abbrechen", "Farbe auswählen") into
// the application, whatever the desktop's language: the whole program speaks German. False when
// the translation files are missing; Qt's English texts stay then.
bool installGermanQtTranslations(QCoreApplication& app);

} // namespace bw
