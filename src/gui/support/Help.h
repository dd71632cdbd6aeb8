#pragma once

#include <QString>
#include <QUrl>

namespace bw {

// The manual's file name in the data directory.
inline const QString kManualName = QStringLiteral("Beschreibung.doc");

// The text of the About box: the product name, a line break and the version line.
QString infoText();

// "&Info": the About box.
void Info1Click();

// "Beschreibung": opens the manual with the desktop's application for it; says where it should
// have been, or that nothing could open it.
void Beschreibung1Click();

// What a click on a contact line of the maker window opens: an address as written, an e-mail
// address as a mail link. None (empty) for a line that holds no address, such as "–".
QUrl contactUrl(const QString& text);

} // namespace bw
