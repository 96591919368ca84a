// Fuzz target: any bytes as the text of the settings file. What the program then writes must
// read back the same, which also holds every value read to the range it can be written in (a
// secret or a device name holding a double quote excepted: the file has no way to write one
// that always reads back).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qm::Settings settings(std::nullopt, {});
  settings.settings_parse(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string written = settings.settings_text();
  if (settings.values.key.find('"') != std::string::npos ||
      settings.values.com_device.find('"') != std::string::npos)
    return 0;
  qm::Settings again(std::nullopt, {});
  again.settings_parse(written);
  if (again.settings_text() != written) __builtin_trap();
  return 0;
}
