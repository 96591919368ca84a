// One program's state: the settings, the traffic log, the clock and the link, built in the
// order they depend on each other. The GUI and the command line each make one; tests make as
// many as they like.
#pragma once

#include "base/idle_jobs.h"
#include "base/operator_ui.h"
#include "base/program_options.h"
#include "compiler/compiler.h"
#include "editor/editor_state.h"
#include "flash/key_map.h"
#include "flash/transfer.h"
#include "fontbuilder/font_choice.h"
#include "link/link.h"
#include "link/link_worker.h"
#include "link/settings.h"
#include "link/tick_clock.h"
#include "link/traffic_log.h"
#include "panels/alignment.h"
#include "panels/panel_services.h"
#include "panels/video_input.h"
#include "panels/video_output.h"
#include "runner/runner.h"
#include "shell/sequence_buttons.h"

namespace qm {

class App {
 public:
  App(OperatorUi& operator_ui, Settings loaded)
      : ui(operator_ui),
        settings(std::move(loaded)),
        log(settings.user_folder()),
        link(settings.values, log, ui, clock),
        worker(link),
        compiler(ui) {}

  App(const App&) = delete;
  App& operator=(const App&) = delete;

  OperatorUi& ui;
  Settings settings;
  TrafficLog log;
  TickClock clock;
  Link link;
  LinkWorker worker;  // drives the link for the GUI; others may drive it directly
  ProgramOptions options;
  IdleJobs idle;
  SequenceCompiler compiler;         // keeps the field rate of PAL / NTSC for the whole run
  EditorState editor;                // the editor's print size and find options for the whole run
  TransferJob transfer;              // the one file transfer to or from a unit's flash
  VideoInputPanel video_input;       // the input panel's mirror and remembered channels
  VideoOutputSettings video_output;  // the output panel's mirror
  AlignmentState alignment;          // the wall's map, split and offsets as the panel holds them
  SequenceButtons buttons;           // the buttons panel's table, page and cut buffer
  KeyEntryMode key_entry_mode = KeyEntryMode::kAscii;  // how the key prompt last took a key
  FontSizes font_sizes;  // the width and height Create Font uses, for the whole run

  // What a sequence run reaches outside itself.
  RunnerServices runner_services() { return {link, settings.values, options, ui, idle, clock}; }
  // What a wall panel reaches outside itself.
  PanelServices panel_services() { return {link, worker, settings, ui, idle}; }
  // What the sequence editor reaches outside itself (the About box and the help are the GUI's to
  // add).
  EditorServices editor_services() { return {ui, editor, {}, {}}; }
};

}  // namespace qm
