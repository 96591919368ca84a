// Turns a unit's reply into readable lines for the operator.
#pragma once

#include <functional>
#include <string>

#include "link/unit_frame.h"

namespace qm {

// Receives one output line; the sink starts a new line before each text after the first.
using LineSink = std::function<void(const std::string&)>;

// Prints the lines of one reply: a decoded layout for the known function codes, otherwise a
// hexadecimal dump. A frame with a count below 3 prints nothing.
void unit_report(const UnitFrame& frame, const LineSink& sink);

}  // namespace qm
