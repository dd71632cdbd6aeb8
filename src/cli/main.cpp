// bildwiesel-cli: the icon core for scripts and measurements.

#include "Commands.h"

#include <QCoreApplication>

namespace {

// In the order --help lists them.
const cli::Command* const kCommands[] = {
    &cli::countCommand,   &cli::extractCommand, &cli::writeIcoCommand, &cli::writeBmpCommand, &cli::scanCommand,
    &cli::collectCommand, &cli::exportCommand,  &cli::checkCommand,    &cli::dupesCommand,    &cli::thumbnailCommand,
};

} // namespace

int main(int argc, char** argv)
{
    // The image codecs live in QtGui but need no display, only an application object.
    QCoreApplication app(argc, argv);
    return cli::runCommandLine(argc, argv, kCommands);
}
