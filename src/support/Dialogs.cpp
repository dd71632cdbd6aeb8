#include "Dialogs.h"

#include "Funky.h"

namespace bw {
namespace {

// Until the program installs its dialogs, nothing is shown (a tool without windows).
class SilentDialogs final : public Dialogs {
public:
    void message(const QString&, const QString&) override {}
    bool confirm(const QString&, const QString&) override { return false; }
    void about(const QString&, const QString&) override {}
    std::optional<QColor> chooseColour(const QColor&) override { return std::nullopt; }
    std::optional<QString> openPicture(const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> savePicture(const QString&, const QString&) override { return std::nullopt; }
};

SilentDialogs silent;
Dialogs* current = &silent;

} // namespace

Dialogs& dialogs() { return *current; }

CommandError::CommandError(const QString& before, std::string path, const QString& after) : CommandError(before + pathText(path) + after)
{
    m_namesPath = true;
    m_path = std::move(path);
    m_before = before;
    m_after = after;
}

Dialogs* setDialogs(Dialogs* implementation)
{
    Dialogs* previous = current;
    current = implementation ? implementation : &silent;
    return previous;
}

} // namespace bw
