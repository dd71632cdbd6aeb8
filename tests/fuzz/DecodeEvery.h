// Shared by the harnesses: decodes every image of a group, not only the one the program would
// choose, so that every decoder (PNG, 1 to 32 bits, masks) is reached whatever the choice, and
// then makes both choices the program makes, and puts the group together as an icon file.
#pragma once

#include "icons/IconDirectory.h"
#include "icons/IconImageDecoder.h"

#include <optional>
#include <vector>

inline void decodeEvery(const std::optional<std::vector<bw::IconCandidate>>& candidates)
{
    if (!candidates)
        return;
    for (const bw::IconCandidate& c : *candidates) {
        (void)bw::iconImageBitCount(c.data);
        (void)bw::decodeIconImage(c.data);
    }
    (void)bw::pictureFromCandidates(*candidates, bw::ImagePick::IconSize);
    (void)bw::chooseIconImage(*candidates, bw::ImagePick::Largest);
    (void)bw::iconFileOfGroup(*candidates);
}
