#include "Desktop.h"

#include <QDesktopServices>

namespace bw {
namespace {

class SystemDesktop final : public Desktop {
public:
    void open(const QUrl& url) override { QDesktopServices::openUrl(url); }
};

SystemDesktop systemDesktop;
Desktop* current = &systemDesktop;

} // namespace

Desktop& desktop() { return *current; }

Desktop* setDesktop(Desktop* implementation)
{
    Desktop* previous = current;
    current = implementation ? implementation : &systemDesktop;
    return previous;
}

} // namespace bw
