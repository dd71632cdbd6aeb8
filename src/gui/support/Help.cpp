#include "Help.h"

#include "support/Desktop.h"
#include "support/Dialogs.h"
#include "support/Funky.h"

#include <QFile>
#include <QFileInfo>

namespace bw {

QString infoText()
{
    return QStringLiteral("Bildwiesel") + kLineBreak + QStringLiteral("Version ") + kVersionText
        + QStringLiteral(", ein Icon-Sammler für Linux");
}

void Info1Click() { dialogs().about(kAppTitle, infoText()); }

void Beschreibung1Click()
{
    const std::string& directory = programPaths().dataDirectory;
    const QString manual = QFile::decodeName(directory.c_str()) + kManualName; // for Qt's file classes
    if (QFileInfo(manual).isFile()) {
        desktop().open(QUrl::fromLocalFile(manual), [manual] {
            dialogs().message(QStringLiteral("Kein Programm kann >") + manual + QStringLiteral("< öffnen."), kAppTitle);
        });
        return;
    }
    dialogs().message(QStringLiteral("Beschreibung.doc konte im Programmpfad >") + pathText(directory)
                          + QStringLiteral("< nicht gefunden werden.") + kLineBreak
                          + QStringLiteral(" Datei ist im Programmpfad nicht vorhanden ."),
                      kAppTitle);
}

QUrl contactUrl(const QString& text)
{
    const QString address = text.trimmed();
    if (address.isEmpty() || address == QStringLiteral("–") || address == QStringLiteral("-"))
        return {};
    // A bare e-mail address has no scheme; the desktop opens it as a mail link.
    if (address.contains(QLatin1Char('@')) && !address.contains(QLatin1Char(':')))
        return QUrl(QStringLiteral("mailto:") + address);
    const QUrl url = QUrl::fromUserInput(address);
    return url.isValid() ? url : QUrl();
}

} // namespace bw
