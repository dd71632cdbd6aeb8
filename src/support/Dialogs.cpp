#include "Dialogs.h"

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

Dialogs* setDialogs(Dialogs* implementation)
{
    Dialogs* previous = current;
    current = implementation ? implementation : &silent;
    return previous;
}

} // namespace bw
