#pragma once

// The commands of bildwiesel-cli, one function each: argv[0] is the program, argv[1] the command.
namespace cli {

int countCommand(int argc, char** argv);
int scanCommand(int argc, char** argv);
int writeCommand(int argc, char** argv); // extract, write-ico, write-bmp
int dupesCommand(int argc, char** argv);

} // namespace cli
