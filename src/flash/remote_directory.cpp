#include "flash/remote_directory.h"

#include <algorithm>
#include <cctype>

#include "base/text_format.h"
#include "base/ui_helpers.h"

namespace qm {

namespace {

constexpr int kSequenceType = 1;  // ".SFB" in kKnownFileTypes, counted from 1

int known_type(std::string_view name) {
  return find_name_in_list(file_type(name), kKnownFileTypes);
}

// The order of a sorted list box: ignoring case, then as the bytes stand.
bool listed_before(const std::string& a, const std::string& b) {
  const auto folded = [](std::string s) {
    for (char& c : s)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  const std::string fa = folded(a), fb = folded(b);
  return fa != fb ? fa < fb : a < b;
}

}  // namespace

std::string_view file_type(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

unsigned buttons_for_name(std::string_view name, int tab) {
  if (name.empty()) return kMaskNoFile;
  if (known_type(name) == kSequenceType)
    return sector_of_tab(tab) == kSequenceSector ? kMaskSequenceFileHere : kMaskSequenceFile;
  return name.front() == '$' ? kMaskUnitFile : kMaskOtherFile;
}

bool sector_write_allowed(int tab, const ProgramOptions& options) {
  return sector_of_tab(tab) != kSystemSector || options.flash_sector1;
}

bool action_writes_sector(DirectoryAction action) {
  switch (action) {
    case DirectoryAction::kDelete:
    case DirectoryAction::kRename:
    case DirectoryAction::kDownload:
    case DirectoryAction::kEdit:
    case DirectoryAction::kDrop:
      return true;
    default:
      // Run, Stop, Upload and Restore do not change the sector's files; Initial sequence and
      // Map write to the Configuration sector, never to sector 1.
      return false;
  }
}

bool action_allowed(DirectoryAction action, int tab, const ProgramOptions& options) {
  return !action_writes_sector(action) || sector_write_allowed(tab, options);
}

DoubleClick double_click_action(std::string_view name) {
  const int type = known_type(name);
  if (type == kSequenceType) return DoubleClick::kRun;
  if (type != 0) return DoubleClick::kNothing;
  return !name.empty() && name.front() == '$' ? DoubleClick::kUploadAndSave : DoubleClick::kNothing;
}

std::string entry_name(std::string_view entry) {
  return std::string(entry.substr(0, entry.find('\t')));
}

std::string space_label(const FlashSectorStatus& status) {
  return strprintf(kSpaceLabel, static_cast<unsigned short>(status.free),
                   static_cast<unsigned short>(status.used),
                   static_cast<unsigned short>(status.recoverable));
}

std::vector<std::string> listing_entries(const std::vector<FlashDirEntry>& files) {
  std::vector<std::string> out;
  out.reserve(files.size());
  for (const FlashDirEntry& f : files)
    out.push_back(strprintf(kListingEntry, f.name.c_str(), static_cast<int>(f.size)));
  std::stable_sort(out.begin(), out.end(), listed_before);
  return out;
}

std::optional<SectorListing> read_sector_listing(FlashFiles& flash, int tab) {
  const auto sector = static_cast<std::uint8_t>(sector_of_tab(tab));
  const auto status = flash.flash_sector_status(sector);
  if (!status) return std::nullopt;
  SectorListing listing;
  listing.sector_name = std::string(flash_sector_name(sector));
  listing.space = space_label(*status);
  listing.entries = listing_entries(flash.flash_list(sector));
  return listing;
}

std::string delete_question(int sector, std::string_view name) {
  return strprintf(kDeleteQuestion, sector, std::string(name).c_str());
}

bool delete_flash_file(FlashFiles& flash, std::uint8_t sector, std::string_view name) {
  if (name.empty()) return false;
  if (flash.flash_open(sector, name, kFlashOpenRead) == 0) return false;
  flash.flash_delete(sector, name);
  return true;
}

bool rename_flash_file(FlashFiles& flash, std::uint8_t sector, std::string_view old_name,
                       std::string_view new_name) {
  if (old_name.empty() || new_name.empty()) return false;
  flash.flash_rename(sector, old_name, sector, new_name);
  return true;
}

FlashCopy initial_sequence_copy(std::uint8_t sector, std::string_view name) {
  return {sector, std::string(name), kConfigurationSector, kStartFileName};
}

}  // namespace qm
