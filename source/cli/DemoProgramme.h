#pragma once

#include "cli/AudioFiles.h"

namespace orlix::cli
{
// Twelve seconds of a drum loop with a bass line at 120 BPM, stereo, 48 kHz.
AudioFile demoProgramme();
} // namespace orlix::cli
