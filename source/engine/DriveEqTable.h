#pragma once

#include "engine/EngineSettings.h"

#include <array>

namespace orlix
{

// Drive level compensation in dB by drive type (row) and drive amount column
// (0, 10, 25, 50, 100 %). Column 0 is always 0 dB.
struct DriveEqTable
{
    bool valid = false;
    std::array<std::array<float, 5>, numDriveTypes> levels{};
};

} // namespace orlix
