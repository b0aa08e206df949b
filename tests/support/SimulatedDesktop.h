#pragma once

#include "Simulator/SimulatedDesktop.h"

namespace aimset::test {

// The tests' name for the simulated desktop, which lives with the simulator.
using SimulatedDesktop = aimset::SimulatedDesktop;

} // namespace aimset::test
