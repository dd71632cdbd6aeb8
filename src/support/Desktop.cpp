#include "Desktop.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>

namespace bw {
namespace {

class SystemDesktop final : public Desktop {
public:
    void open(const QUrl& url, const std::function<void()>& failed) override
    {
        // For a document, xdg-open tells by its exit code whether an application took it; Qt's
        // own call only tells whether xdg-open started. No parent: a viewer still open when the
        // program ends must not be ended with it.
        if (url.isLocalFile() && !QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty()) {
            auto* opener = new QProcess;
            QObject::connect(opener, &QProcess::finished, opener, [opener, failed](int code, QProcess::ExitStatus status) {
                if ((code != 0 || status != QProcess::NormalExit) && failed)
                    failed();
                opener->deleteLater();
            });
            QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, failed](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart)
                    return; // the others end in finished()
                if (failed)
                    failed();
                opener->deleteLater();
            });
            opener->start(QStringLiteral("xdg-open"), {url.toLocalFile()});
            return;
        }
        if (!QDesktopServices::openUrl(url) && failed)
            failed();
    }
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
