// The program options of the Options dialog. Only remote access (ENABLE_IP, kept in the
// settings) outlives the run; the others are off at every start.
#pragma once

namespace qm {

struct ProgramOptions {
  bool skip_std = false;       // "Skip standard include file STD.INC"
  bool flash_sector1 = false;  // "Enable Flash sector 1 read/write"
  bool logging = false;        // "Logging enabled"
};

}  // namespace qm
