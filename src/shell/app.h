// One program's state: the settings, the traffic log, the clock and the link, built in the
// order they depend on each other. The GUI and the command line each make one; tests make as
// many as they like.
#pragma once

#include "link/link.h"
#include "link/settings.h"
#include "link/tick_clock.h"
#include "link/traffic_log.h"
#include "shell/operator_ui.h"

namespace qm {

class App {
 public:
  App(OperatorUi& operator_ui, Settings loaded)
      : ui(operator_ui),
        settings(std::move(loaded)),
        log(settings.user_folder()),
        link(settings.values, log, ui, clock) {}

  App(const App&) = delete;
  App& operator=(const App&) = delete;

  OperatorUi& ui;
  Settings settings;
  TrafficLog log;
  TickClock clock;
  Link link;
};

}  // namespace qm
