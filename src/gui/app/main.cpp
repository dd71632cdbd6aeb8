#include "gui/app/IconFrm.h"
#include "gui/app/MainU.h"
#include "gui/app/QtTranslations.h"
#include "gui/widgets/QtDialogs.h"

#include <QApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

// SIGTERM and SIGINT close the main window like "&Ende", so the settings are saved on logout.
void closeOnTerminate(QWidget* mainWindow)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, mainWindow);
    QObject::connect(notifier, &QSocketNotifier::activated, mainWindow, [mainWindow] {
        char c = 0;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &c, 1);
        mainWindow->close();
    });
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Lets the desktop match the windows to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("local.bildwiesel.Bildwiesel"));
    bw::installGermanQtTranslations(app);
    bw::QtDialogs dialogs;
    bw::setDialogs(&dialogs);
    bw::createWindows();
    closeOnTerminate(bw::windows().IconF);
    bw::windows().IconF->show();
    // A close during start-up (e.g. SIGTERM) has already shut down: no message loop then.
    const int result = bw::shutDownDone() ? 0 : QApplication::exec();
    bw::destroyWindows();
    return result;
}
