#pragma once

// Small files built to make a reader work hard: they are valid enough to pass every header check
// and then name as much work as their format allows. Used by the tests (each must give little or
// nothing, quickly) and by the benchmark that measures their time and memory.

#include "support/FixtureWriter.h"

namespace fixtures {

// A PE library of one group naming 65,535 images, and an icon directory of 131,070 entries in
// descending (unsorted) order with the named ids last; every icon entry shares one small image.
Bytes peGroupOfManyImages();

// An NE library whose group names 65,535 images, all the last of some 5,000 icons.
Bytes neGroupOfManyImages();

// A 1 KB run-length coded 8-bit bitmap claiming `edge` x `edge` pixels.
Bytes rleBitmapClaiming(int edge);

// An uncompressed 24-bit bitmap claiming `edge` x `edge` pixels with only a few bytes of rows.
Bytes shortBitmapClaiming(int edge);

// An animated cursor of 1,000,000 empty chunks, half before its frame list and half in it after
// its one frame.
Bytes aniOfManyChunks();

// An animated cursor of 1024 frames, each an icon file naming one small image 256 times.
Bytes aniOfFramesOfManyImages();

// An animated cursor of 1024 frames, each an icon file of a PNG claiming 1024 x 1024 in a few KB.
Bytes aniOfPngBombs();

// An animated cursor of two frames whose sequence starts at frame `firstStep`.
Bytes aniShowingFrame(std::uint32_t firstStep);

// An Apple icon file of 256 elements, each a PNG claiming 1024 x 1024 in a few KB.
Bytes icnsOfPngBombs();

// An Apple icon file of 255 old 32 x 32 images and, for their alpha, one mask element of 30 MB.
Bytes icnsOfImagesSharingAHugeMask();

// An Apple icon file whose length fields lie. The last four hold a 32 x 32 PNG besides the lie:
// an old 1-bit image of 4 MB (Qt's reader takes its edge from its length), a table of contents
// claiming such an image, an empty element before one of the same type with a PNG of 2048^2,
// and after the file's length an element of nearly 2 GB.
enum class IcnsLie {
    ElementOfLengthZero,
    ElementPastEnd,
    FileLengthCutsElement,
    FileLengthPastEnd,
    OldImageOfHugeLength,
    ContentsClaimingHugeImage,
    EmptyElementBeforeLargePng,
    ElementPastFileLength,
};
Bytes icnsThatLies(IcnsLie lie);

} // namespace fixtures
