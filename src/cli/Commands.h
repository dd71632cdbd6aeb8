#pragma once

// The commands of bildwiesel-cli, one table entry each (see CommandLine.h); main.cpp lists them.

#include "CommandLine.h"

namespace cli {

extern const Command countCommand;
extern const Command extractCommand;
extern const Command writeIcoCommand;
extern const Command writeBmpCommand;
extern const Command scanCommand;
extern const Command thumbnailCommand;
extern const Command exportCommand;
extern const Command checkCommand;
extern const Command dupesCommand;
extern const Command collectCommand;

} // namespace cli
