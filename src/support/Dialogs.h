#pragma once

#include <QColor>
#include <QString>

#include <optional>
#include <stdexcept>
#include <string>

namespace bw {

// Every message box and question of the program goes through this interface, so that tests can
// answer them and read their texts. The program installs the Qt implementation at start.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A modal box with only an OK button and no symbol.
    virtual void message(const QString& text, const QString& caption) = 0;
    // A modal question; true for "Ja".
    virtual bool confirm(const QString& text, const QString& caption) = 0;
    // The desktop's About box.
    virtual void about(const QString& title, const QString& text) = 0;
    // The standard colour dialog, opened with `initial`; none when cancelled.
    virtual std::optional<QColor> chooseColour(const QColor& initial) = 0;
    // The standard open-picture dialog; none when cancelled.
    virtual std::optional<QString> openPicture(const QString& title, const QString& filter) = 0;
    // The standard save-picture dialog, which asks before replacing a file; `defaultSuffix` is
    // appended to a name typed without one. None when cancelled.
    virtual std::optional<QString> savePicture(const QString& filter, const QString& defaultSuffix) = 0;
    // The standard save dialog with a title, which does not ask before replacing a file (the
    // command asks itself, with "Nein" as the default). None when cancelled.
    virtual std::optional<QString> saveFile(const QString& /*title*/, const QString& /*filter*/, const QString& /*defaultSuffix*/)
    {
        return std::nullopt;
    }
};

inline const QString kAppTitle = QStringLiteral("Bildwiesel");

Dialogs& dialogs();
// Installs the implementation; returns the previous one. The caller keeps ownership.
Dialogs* setDialogs(Dialogs* implementation);

// An error that ends a command; its German text reaches the user through the top-level handler.
class CommandError : public std::runtime_error {
public:
    explicit CommandError(const QString& text) : std::runtime_error(text.toStdString()), m_text(text) {}
    // A text about a file: before + the path + after. The path's bytes are kept for callers
    // that write bytes (the command-line tool); windows show the text.
    CommandError(const QString& before, std::string path, const QString& after);
    const QString& text() const { return m_text; }
    bool namesPath() const { return m_namesPath; }
    const std::string& path() const { return m_path; }
    const QString& before() const { return m_before; }
    const QString& after() const { return m_after; }

private:
    QString m_text;
    bool m_namesPath = false;
    std::string m_path;
    QString m_before;
    QString m_after;
};

// Runs a command and shows the text of a CommandError that ends it in a message box.
template <typename Command> void runCommand(Command&& command)
{
    try {
        command();
    } catch (const CommandError& error) {
        dialogs().message(error.text(), kAppTitle);
    }
}

} // namespace bw
