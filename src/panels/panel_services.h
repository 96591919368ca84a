// What a wall panel reaches outside itself: the link it talks to the units through and the
// link thread that drives it for the GUI, the settings (selected and installed units, the
// link's switches, the file), the operator, and the idle jobs that run its scans while its
// dialog waits.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "base/idle_jobs.h"
#include "base/operator_ui.h"
#include "link/link.h"
#include "link/link_worker.h"
#include "link/settings.h"
#include "link/unit_frame.h"

namespace qm {

// A message a panel's control sends to the units: the function code and its data (device 7).
struct PanelMessage {
  std::uint8_t function = 0;
  std::vector<std::uint8_t> data;
  bool operator==(const PanelMessage&) const = default;
};

struct PanelServices {
  Link& link;
  LinkWorker& worker;
  Settings& settings;
  OperatorUi& ui;
  IdleJobs& idle;

  // Sends the messages to `address` in order, on the link thread; no reply is awaited.
  void send(std::uint8_t address, std::vector<PanelMessage> messages) const {
    worker.post([address, messages = std::move(messages)](Link& to_units) {
      for (const PanelMessage& m : messages)
        to_units.unit_send(kDeviceUnit, address, m.function, m.data);
    });
  }
};

}  // namespace qm
