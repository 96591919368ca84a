// What a wall panel reaches outside itself: the link it talks to the units through and the
// link thread that drives it for the GUI, the settings (selected and installed units, the
// link's switches, the file), the operator, and the idle jobs that run its scans while its
// dialog waits.
#pragma once

#include "base/idle_jobs.h"
#include "base/operator_ui.h"
#include "link/link.h"
#include "link/link_worker.h"
#include "link/settings.h"

namespace qm {

struct PanelServices {
  Link& link;
  LinkWorker& worker;
  Settings& settings;
  OperatorUi& ui;
  IdleJobs& idle;
};

}  // namespace qm
