// bildwiesel-cli: the icon core for scripts and measurements.

#include "CliSupport.h"
#include "Commands.h"

#include <QCoreApplication>

#include <string_view>

int main(int argc, char** argv)
{
    // The image codecs live in QtGui but need no display, only an application object.
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return cli::usage();
    const std::string_view command = argv[1];
    if (command == "count")
        return cli::countCommand(argc, argv);
    if (command == "scan")
        return cli::scanCommand(argc, argv);
    if (command == "dupes")
        return cli::dupesCommand(argc, argv);
    if (command == "extract" || command == "write-ico" || command == "write-bmp")
        return cli::writeCommand(argc, argv);
    return cli::usage();
}
