#include "panels/video_panels_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "base/ui_helpers_widget.h"
#include "flash/flash_protocol.h"
#include "ids.h"
#include "link/function_codes.h"
#include "link/unit_selection.h"
#include "panels/link_ask_widget.h"
#include "panels/unit_selector_widget.h"

namespace qm {

namespace {

constexpr int kPollTries = 3;
constexpr const char* kPictureNames[kPictureControls] = {"Brt", "Cont", "Sat", "Hue"};
constexpr const char* kPictureObjects[kPictureControls] = {"brightness", "contrast", "saturation",
                                                           "hue"};
constexpr const char* kInputNames[] = {"Composite 1", "Composite 2", "S-Video"};
constexpr const char* kInputSystems[] = {"PAL-N", "NTSC-N", "SECAM", "NTSC (50Hz)", "PAL (60Hz)"};
constexpr const char* kOutputSystems[] = {"Link to input", "PAL-N",       "NTSC",
                                          "SECAM",         "NTSC (50Hz)", "PAL (60Hz)"};
constexpr const char* kFilterNames[] = {"Off", "Horizontal", "Vertical", "On"};
constexpr const char* kKeyNames = "0123456789ABCDEF";
constexpr int kFirstKeyId = 1052;
constexpr int kKeypadStopId = 1243;
constexpr int kKeyCount = 16;

QString latin1(const char* text) {
  return QString::fromLatin1(text);
}

// Radio buttons in a column, ids 0.., inside a group box.
QGroupBox* radio_column(QWidget* parent, const QString& title, const QString& name,
                        std::initializer_list<const char*> texts, QButtonGroup*& group) {
  auto* box = new QGroupBox(title, parent);
  auto* column = new QVBoxLayout(box);
  group = new QButtonGroup(parent);
  int id = 0;
  for (const char* text : texts) {
    auto* radio = new QRadioButton(latin1(text), box);
    radio->setObjectName(name + QString::number(id));
    group->addButton(radio, id++);
    column->addWidget(radio);
  }
  return box;
}

void check(QButtonGroup* group, int id) {
  if (QAbstractButton* b = group->button(id)) b->setChecked(true);
}

QPushButton* push(QWidget* parent, const char* text, const char* name) {
  auto* b = new QPushButton(latin1(text), parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setAutoDefault(false);
  return b;
}

// What the status line says of a read: the failure when the unit did not answer, nothing
// once it did.
void report_read(OperatorUi& ui, ReadResult result) {
  switch (result) {
    case ReadResult::kNoReply:
      show_remote_read_failure(ui);
      break;
    case ReadResult::kTaken:
      ui.clear_status();
      break;
    case ReadResult::kIgnored:
      break;
  }
}

}  // namespace

// --- Video input ---------------------------------------------------------------------------

VideoInputDialog::VideoInputDialog(PanelServices services, VideoInputPanel& panel, QWidget* parent)
    : QDialog(parent), services_(services), panel_(panel) {
  setObjectName(dialog_name(ids::kVideoInputDialog));
  setWindowTitle(latin1(kTitleVideoInput));

  auto* channels = new QHBoxLayout;
  auto* show_group = new QButtonGroup(this);
  for (int ch = 0; ch < kInputChannels; ++ch) {
    const auto c = static_cast<std::size_t>(ch);
    const QString suffix = QString::number(ch);
    auto* box = new QGroupBox(QStringLiteral("Video Channel %1").arg(ch + 1), this);
    auto* grid = new QGridLayout(box);
    auto* sliders = new QGridLayout;
    for (int k = 0; k < kPictureControls; ++k) {
      const auto kk = static_cast<std::size_t>(k);
      auto* bar = new QScrollBar(Qt::Vertical, box);
      bar->setObjectName(latin1(kPictureObjects[k]) + suffix);
      bar->setMinimumHeight(140);
      bars_[c][kk] = bar;
      ScrollBinding& b = bindings_[c][kk];
      b.minimum = 0;
      b.maximum = 255;
      b.reversed = true;
      b.tag = ch * kPictureControls + k;
      b.value = panel_.settings.channels[c].picture[kk];
      b.on_change = [this, ch, k](ScrollBinding& changed) {
        panel_.settings.channels[static_cast<std::size_t>(ch)]
            .picture[static_cast<std::size_t>(k)] = changed.value;
        send(picture_message(ch, static_cast<PictureControl>(k), changed.value));
      };
      auto* label = new QLabel(latin1(kPictureNames[k]), box);
      label->setAlignment(Qt::AlignHCenter);
      sliders->addWidget(bar, 0, k, Qt::AlignHCenter);
      sliders->addWidget(label, 1, k);
    }
    grid->addLayout(sliders, 0, 0, 3, 1);
    grid->addWidget(
        radio_column(box, QStringLiteral("Input"), QStringLiteral("input") + suffix + "_",
                     {kInputNames[0], kInputNames[1], kInputNames[2]}, inputs_[c]),
        0, 1);
    grid->addWidget(
        radio_column(box, QStringLiteral("System"), QStringLiteral("system") + suffix + "_",
                     {kInputSystems[0], kInputSystems[1], kInputSystems[2], kInputSystems[3],
                      kInputSystems[4]},
                     systems_[c]),
        0, 2, 2, 1);
    vcr_[c] = new QCheckBox(QStringLiteral("VCR Mode"), box);
    vcr_[c]->setObjectName(QStringLiteral("vcr") + suffix);
    grid->addWidget(vcr_[c], 1, 1);
    auto* show = new QPushButton(QStringLiteral("Show Ch."), box);
    show->setObjectName(QStringLiteral("show") + suffix);
    show->setCheckable(true);
    show->setAutoDefault(false);
    show_group->addButton(show, ch);
    show_[c] = show;
    auto* defaults =
        push(box, ch == 0 ? "Default Ch 1" : "Default Ch 2", ch == 0 ? "default0" : "default1");
    signal_[c] = new QLabel(QStringLiteral("---"), box);
    signal_[c]->setObjectName(QStringLiteral("signal") + suffix);
    signal_[c]->setAlignment(Qt::AlignCenter);
    signal_[c]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    signal_[c]->setAutoFillBackground(true);
    signal_[c]->setMinimumWidth(
        signal_[c]->fontMetrics().horizontalAdvance(QStringLiteral("Sync. Error")) + 12);
    auto* actions = new QHBoxLayout;
    actions->addWidget(show);
    actions->addWidget(defaults);
    actions->addWidget(signal_[c]);
    grid->addLayout(actions, 3, 0, 1, 3);
    channels->addWidget(box);

    connect(inputs_[c], &QButtonGroup::idClicked, this, [this, ch](int input) {
      panel_.settings.channels[static_cast<std::size_t>(ch)].input = input;
      send(input_message(ch, input));
    });
    connect(systems_[c], &QButtonGroup::idClicked, this, [this, ch](int system) {
      panel_.settings.channels[static_cast<std::size_t>(ch)].system = system;
      send(system_message(ch, system));
    });
    connect(vcr_[c], &QCheckBox::clicked, this, [this, ch](bool on) {
      panel_.settings.channels[static_cast<std::size_t>(ch)].vcr = on;
      send(vcr_message(ch, on));
    });
    connect(defaults, &QPushButton::clicked, this, [this, ch] {
      services_.send(send_address(services_.settings.values), default_channel(panel_.settings, ch));
      show_mirror();
    });
  }
  show_group->setExclusive(true);
  connect(show_group, &QButtonGroup::idClicked, this, [this](int channel) {
    send(panel_.show_channel(services_.settings.values.id, channel));
  });

  auto_ = new QCheckBox(QStringLiteral("Auto"), this);
  auto_->setObjectName(QStringLiteral("auto"));
  connect(auto_, &QCheckBox::clicked, this, [this](bool on) {
    panel_.settings.auto_mode = on;
    send(auto_message(on));
  });
  auto* save = push(this, "Save in Flash", "saveInFlash");
  connect(save, &QPushButton::clicked, this, [this] {
    services_.send(kAddressAll, {save_inputs_message()});
    check_restore_file();
  });
  restore_ = push(this, "Restore from Flash", "restoreFromFlash");
  restore_->setEnabled(false);
  connect(restore_, &QPushButton::clicked, this, [this] { restore_from_flash(); });
  auto* copy = push(this, "Copy", "copy");
  connect(copy, &QPushButton::clicked, this, [this] {
    const std::string text = input_clipboard_text(panel_.settings, services_.settings.values.id);
    QGuiApplication::clipboard()->setText(QString::fromLatin1(text.c_str()));
  });
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  QGroupBox* units = unit_radio_box(this, " Unit ID ", true, units_);
  connect(units_, &QButtonGroup::idClicked, this,
          [this](int id) { id == 4 ? gang() : unit_chosen(id); });

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(units);
  bottom->addWidget(auto_);
  bottom->addStretch(1);
  bottom->addWidget(save);
  bottom->addWidget(restore_);
  bottom->addWidget(copy);
  bottom->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(channels);
  layout->addLayout(bottom);

  // Opening: the units polled, the signal labels undetermined and then refreshed, the
  // remembered "Show Ch." checked, the unit buttons set, the settings read, the refresh
  // every 2 s, the sliders bound, Restore enabled when the unit keeps its inputs in flash.
  // The unit the panel reads (unit 0 when all are selected): a poll of every unit at
  // once is never answered and would hold the first reading up by its whole time-out.
  services_.worker.post([address = read_address(services_.settings.values)](Link& link) {
    link.unit_poll_unit(address, kPollTries);
  });
  panel_.shown = {SignalState::kUndetermined, SignalState::kUndetermined};
  for (int ch = 0; ch < kInputChannels; ++ch)
    show_signal(ch);
  show_[static_cast<std::size_t>(panel_.shown_channel(services_.settings.values.id))]->setChecked(
      true);
  unit_at_open_ = init_unit_selector(services_.settings.values, services_.ui, this, true);
  refresh_signal();
  show_mirror();  // what is known until the unit answers
  read_settings();
  for (std::size_t c = 0; c < kInputChannels; ++c)
    for (std::size_t k = 0; k < kPictureControls; ++k)
      bind_scroll(bars_[c][k], bindings_[c][k]);
  timer_.setInterval(kStatusRefreshMs);
  connect(&timer_, &QTimer::timeout, this, [this] { refresh_signal(); });
  timer_.start();
  check_restore_file();
  ok->setFocus();
}

VideoInputDialog::~VideoInputDialog() = default;

void VideoInputDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  place_dialog(this, 2, 2);
}

template <typename Result>
void VideoInputDialog::ask(std::function<Result(Link&, std::uint8_t)> work,
                           std::function<void(Result)> then) {
  ++pending_;
  const std::uint8_t address = read_address(services_.settings.values);
  ask_link(
      services_.worker, this,
      [address, work = std::move(work)](Link& link) { return work(link, address); },
      [this, then = std::move(then)](Result result) {
        --pending_;
        then(std::move(result));
      });
}

void VideoInputDialog::read_settings() {
  ask<std::optional<UnitFrame>>(
      [](Link& link, std::uint8_t address) {
        return link.unit_get(kDeviceUnit, address, kFnInputSettings, {});
      },
      [this](std::optional<UnitFrame> reply) { settings_read(reply); });
}

void VideoInputDialog::settings_read(const std::optional<UnitFrame>& reply) {
  report_read(services_.ui, apply_input_reply(panel_.settings, reply));
  show_mirror();
}

void VideoInputDialog::refresh_signal() {
  // A refresh still under way (a silent unit takes seconds to time out) makes this tick idle.
  if (refreshing_) return;
  refreshing_ = true;
  const bool auto_mode = panel_.settings.auto_mode;
  ask<SignalReading>(
      [auto_mode](Link& link, std::uint8_t address) {
        return read_signal(link, address, auto_mode);
      },
      [this](SignalReading reading) { signal_read(reading); });
}

void VideoInputDialog::signal_read(const SignalReading& reading) {
  refreshing_ = false;
  for (int ch : panel_.apply_signal(reading))
    show_signal(ch);
  if (reading.settings) show_mirror();
}

void VideoInputDialog::check_restore_file() {
  ask<bool>(
      [](Link& link, std::uint8_t address) {
        return FlashFiles(link, address)
            .flash_file_exists(kConfigurationSector, kInputSettingsFile);
      },
      [this](bool exists) {
        if (exists) restore_->setEnabled(true);
      });
}

void VideoInputDialog::show_mirror() {
  for (std::size_t c = 0; c < kInputChannels; ++c) {
    const InputChannel& channel = panel_.settings.channels[c];
    for (std::size_t k = 0; k < kPictureControls; ++k) {
      bindings_[c][k].value = channel.picture[k];
      set_scroll_value(bars_[c][k], bindings_[c][k], channel.picture[k]);
    }
    check(inputs_[c], channel.input);
    check(systems_[c], channel.system);
    vcr_[c]->setChecked(channel.vcr);
  }
  auto_->setChecked(panel_.settings.auto_mode);
}

void VideoInputDialog::show_signal(int channel) {
  QLabel* label = signal_[static_cast<std::size_t>(channel)];
  const SignalLabel shown = signal_label(panel_.shown[static_cast<std::size_t>(channel)]);
  label->setText(latin1(shown.text));
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window,
                   shown.colour ? QColor((*shown.colour)[0], (*shown.colour)[1], (*shown.colour)[2])
                                : QApplication::palette().color(QPalette::Window));
  label->setPalette(palette);
}

void VideoInputDialog::send(PanelMessage message) {
  services_.send(send_address(services_.settings.values), {std::move(message)});
}

void VideoInputDialog::unit_chosen(int unit) {
  select_unit(services_.settings.values, services_.ui, unit);
  read_settings();
}

void VideoInputDialog::gang() {
  const int unit = services_.settings.values.id;
  if (unit < 0) return;
  if (services_.ui.message_box(kTitleGangInput, kGangInputQuestion, BoxButtons::YesNo,
                               BoxIcon::Warning) != BoxAnswer::Yes) {
    check(units_, unit);
    return;
  }
  select_unit(services_.settings.values, services_.ui, -1);
  services_.send(kAddressAll, gang_input_messages(panel_.settings));
}

void VideoInputDialog::restore_from_flash() {
  const std::uint8_t to = send_address(services_.settings.values);
  ask<std::optional<UnitFrame>>(
      [to](Link& link, std::uint8_t address) {
        const PanelMessage restore = restore_inputs_message();
        link.unit_send(kDeviceUnit, to, restore.function, restore.data);
        link.unit_wait_any(kRestoreWaitMs);
        return link.unit_get(kDeviceUnit, address, kFnInputSettings, {});
      },
      [this](std::optional<UnitFrame> reply) { settings_read(reply); });
}

void VideoInputDialog::done(int result) {
  timer_.stop();
  services_.ui.clear_status();
  restore_unit_on_close(services_.settings.values, services_.ui, unit_at_open_);
  QDialog::done(result);
}

// --- Video output --------------------------------------------------------------------------

VideoOutputDialog::VideoOutputDialog(PanelServices services, VideoOutputSettings& settings,
                                     QWidget* parent)
    : QDialog(parent), services_(services), settings_(settings) {
  setObjectName(dialog_name(ids::kVideoOutputDialog));
  setWindowTitle(latin1(kTitleVideoOutput));

  svideo_ = new QCheckBox(QStringLiteral("S-Video"), this);
  svideo_->setObjectName(QStringLiteral("svideo"));
  interlace_ = new QCheckBox(QStringLiteral("Interlaced"), this);
  interlace_->setObjectName(QStringLiteral("interlaced"));
  vcr_ = new QCheckBox(QStringLiteral("VCR Mode"), this);
  vcr_->setObjectName(QStringLiteral("vcr"));
  QGroupBox* filters =
      radio_column(this, QStringLiteral("Filter"), QStringLiteral("filter"),
                   {kFilterNames[0], kFilterNames[1], kFilterNames[2], kFilterNames[3]}, filters_);
  QGroupBox* systems = radio_column(this, QStringLiteral("System"), QStringLiteral("system"),
                                    {kOutputSystems[0], kOutputSystems[1], kOutputSystems[2],
                                     kOutputSystems[3], kOutputSystems[4], kOutputSystems[5]},
                                    systems_);
  auto* save = push(this, "Save in Flash", "saveInFlash");
  auto* copy = push(this, "Copy", "copy");
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  QButtonGroup* units = nullptr;
  QGroupBox* unit_box = unit_radio_box(this, " Unit ID ", true, units);

  connect(svideo_, &QCheckBox::clicked, this, [this](bool on) {
    settings_.svideo = on;
    send(svideo_message(on));
  });
  connect(interlace_, &QCheckBox::clicked, this, [this](bool on) {
    settings_.interlace = on;
    send(interlace_message(on));
  });
  connect(vcr_, &QCheckBox::clicked, this, [this] {
    send(toggle_output_vcr(settings_));
    vcr_->setChecked(settings_.vcr != 0);
  });
  connect(filters_, &QButtonGroup::idClicked, this, [this](int filter) {
    settings_.filter = filter;
    send(filter_message(filter));
  });
  // The first radio is "Link to input" (system -1).
  connect(systems_, &QButtonGroup::idClicked, this, [this](int id) {
    settings_.system = id - 1;
    send(output_system_message(settings_.system));
  });
  connect(save, &QPushButton::clicked, this, [this] { send(save_outputs_message()); });
  connect(copy, &QPushButton::clicked, this, [this] {
    const std::string text = output_clipboard_text(settings_, services_.settings.values.id);
    QGuiApplication::clipboard()->setText(QString::fromLatin1(text.c_str()));
  });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(units, &QButtonGroup::idClicked, this, [this](int id) {
    if (id == 4) {
      select_unit(services_.settings.values, services_.ui, -1);  // later changes go to all
      return;
    }
    select_unit(services_.settings.values, services_.ui, id);
    read_settings();
  });

  auto* checks = new QVBoxLayout;
  checks->addWidget(svideo_);
  checks->addWidget(interlace_);
  checks->addWidget(vcr_);
  checks->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addLayout(checks);
  top->addWidget(filters);
  top->addWidget(systems);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(unit_box);
  bottom->addStretch(1);
  bottom->addWidget(save);
  bottom->addWidget(copy);
  bottom->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(bottom);

  // Opening: the units polled, the settings read (from unit 0 when all units are selected,
  // as the input panel does), the unit buttons set.
  // The unit the panel reads (unit 0 when all are selected): a poll of every unit at
  // once is never answered and would hold the first reading up by its whole time-out.
  services_.worker.post([address = read_address(services_.settings.values)](Link& link) {
    link.unit_poll_unit(address, kPollTries);
  });
  unit_at_open_ = init_unit_selector(services_.settings.values, services_.ui, this, true);
  show_mirror();  // what is known until the unit answers
  read_settings();
  ok->setFocus();
}

void VideoOutputDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  place_dialog(this, 2, 2);
}

void VideoOutputDialog::read_settings() {
  ++pending_;
  const std::uint8_t address = read_address(services_.settings.values);
  ask_link(
      services_.worker, this,
      [address](Link& link) { return link.unit_get(kDeviceUnit, address, kFnOutputConfig, {}); },
      [this](const std::optional<UnitFrame>& reply) {
        --pending_;
        report_read(services_.ui, apply_output_reply(settings_, reply));
        show_mirror();
      });
}

void VideoOutputDialog::show_mirror() {
  check(filters_, settings_.filter);
  check(systems_, settings_.system + 1);
  svideo_->setChecked(settings_.svideo);
  interlace_->setChecked(settings_.interlace);
  vcr_->setChecked(settings_.vcr != 0);
}

void VideoOutputDialog::send(PanelMessage message) {
  services_.send(send_address(services_.settings.values), {std::move(message)});
}

void VideoOutputDialog::done(int result) {
  services_.ui.clear_status();
  restore_unit_on_close(services_.settings.values, services_.ui, unit_at_open_);
  QDialog::done(result);
}

// --- Keypad --------------------------------------------------------------------------------

KeypadDialog::KeypadDialog(PanelServices services, QWidget* parent)
    : QDialog(parent), services_(services) {
  setObjectName(dialog_name(ids::kKeypadDialog));
  setWindowTitle(QStringLiteral(" Sequence Keypad"));
  auto* keys = new QGridLayout;
  for (int k = 0; k < kKeyCount; ++k) {
    auto* key = new QPushButton(QString(QLatin1Char(kKeyNames[k])), this);
    key->setObjectName(control_name(kFirstKeyId + k));
    key->setAutoDefault(false);
    key->setMinimumSize(44, 36);
    keys->addWidget(key, k / 4, k % 4);
    connect(key, &QPushButton::clicked, this, [this, k] {
      services_.send(send_address(services_.settings.values), {keypad_key_message(k)});
    });
  }
  auto* stop = push(this, "Stop running sequence", "");
  stop->setObjectName(control_name(kKeypadStopId));
  connect(stop, &QPushButton::clicked, this, [this] {
    services_.send(send_address(services_.settings.values), {keypad_stop_message()});
  });
  auto* done_button = new QPushButton(QStringLiteral("Done"), this);
  done_button->setObjectName(control_name(ids::kDoneButton));
  done_button->setAutoDefault(false);
  connect(done_button, &QPushButton::clicked, this, &QDialog::accept);
  QButtonGroup* units = nullptr;
  QGroupBox* unit_box = unit_radio_box(this, "Configure Unit", true, units);
  connect(units, &QButtonGroup::idClicked, this, [this](int id) {
    select_unit(services_.settings.values, services_.ui, id == 4 ? -1 : id);
  });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(keys);
  layout->addWidget(stop);
  layout->addWidget(unit_box);
  layout->addWidget(done_button, 0, Qt::AlignRight);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  unit_at_open_ = init_unit_selector(services_.settings.values, services_.ui, this, true);
}

void KeypadDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  place_dialog(this, 2, 2);
}

void KeypadDialog::done(int result) {
  restore_unit_on_close(services_.settings.values, services_.ui, unit_at_open_);
  QDialog::done(result);
}

}  // namespace qm
