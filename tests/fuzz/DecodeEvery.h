// Shared by the harnesses: decodes every image of a group, not only the one the program would
// choose, so that every decoder (PNG, 1 to 32 bits, masks) is reached whatever the choice, and
// then makes both choices the program makes, and puts the group together as an icon file.
#pragma once

#include "icons/IconDirectory.h"
#include "icons/IconImageDecoder.h"

#include <cstdlib>
#include <optional>
#include <vector>

// A reader that gives nothing must say why, and one that gives something must not.
inline void checkReason(bool gaveSomething)
{
    if (gaveSomething != (bw::lastReadError() == bw::ReadError::None))
        std::abort();
}

// `candidates` is the result of the read just made.
inline void decodeEvery(const std::optional<std::vector<bw::IconCandidate>>& candidates)
{
    checkReason(candidates.has_value());
    if (!candidates)
        return;
    for (const bw::IconCandidate& c : *candidates) {
        (void)bw::iconImageBitCount(c.data);
        checkReason(!bw::decodeIconImage(c.data).isNull());
    }
    checkReason(!bw::pictureFromCandidates(*candidates, bw::ImagePick::IconSize).isNull());
    checkReason(bw::chooseIconImage(*candidates, bw::ImagePick::Largest).has_value());
    checkReason(bw::iconFileOfGroup(*candidates).has_value());
}
