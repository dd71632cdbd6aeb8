// The starting inputs of every fuzz harness, made from the test fixtures. Written to disk for
// the fuzzer by fuzz_seeds, and replayed through each harness by the tests.
#pragma once

#include "support/FixtureWriter.h"

#include <functional>

// Calls `seed(harness, bytes)` for every input; inputs that are whole files of a kind the
// program reads are given to the "file" harness as well.
void makeFuzzSeeds(const std::function<void(const char* harness, const fixtures::Bytes& bytes)>& seed);
