// Whole files between the PC and a unit's flash: the one transfer job of the program, the
// download and upload workers that run it on the link's thread, and the flows around them
// that need no window (reading the local file, saving what was uploaded).
//
// A worker reports what it does through a TransferObserver, called on the worker's own
// thread: a window marshals the calls to its own thread; it never gets them directly. The
// operator cancels by request_cancel() from any thread; the worker looks at the request only
// at its check points, so an exchange under way (the 10 s after a compaction) finishes first.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

class Link;

inline constexpr std::size_t kTransferBufferBytes = 65536;
// Every file transferred is smaller than this (0xFE00).
inline constexpr std::size_t kTransferLimitBytes = 65024;

// The result of a transfer, as a worker reports it.
enum TransferResultCode : int {
  kTransferAnnounced = 0,      // success, shown (the firmware update)
  kTransferLinkFailure = 1,    // no poll answer, no sector status, a write refused, no close reply
  kTransferOutOfSpace = 2,     // download: not enough space even after compaction
  kTransferOpenFailed = 3,     // download: create failed; upload: not found or not opened
  kTransferCloseFailed = 4,    // download: the close reported failure
  kTransferBlockTransfer = 5,  // download: block count differs; upload: a block read failed
  kTransferChecksum = 6,       // download: the checksum differs
  kTransferFileSize = 7,       // upload: the flash file is empty
  kTransferQuiet = 8,          // success, not shown
  kTransferCancelled = 9,      // the operator cancelled
};

// What the worker is doing: each text (leading blank included) and, in the block loop, the
// bytes done out of the total after each block.
class TransferObserver {
 public:
  virtual ~TransferObserver() = default;
  virtual void transfer_status(const std::string& text) = 0;
  virtual void transfer_progress(std::size_t done, std::size_t total) = 0;
};

// Cancel states.
inline constexpr int kCancelNone = 0;
inline constexpr int kCancelRequested = 1;      // the operator asked
inline constexpr int kCancelAcknowledged = -1;  // the worker has stopped for it

// The one transfer of the program (App owns it): what goes to or comes from which file.
// Filled before a worker starts and read by it without locking; only the cancel state and the
// upload-complete flag are shared while it runs.
struct TransferJob {
  TransferJob() : buffer(kTransferBufferBytes) {}
  TransferJob(const TransferJob&) = delete;
  TransferJob& operator=(const TransferJob&) = delete;

  std::vector<std::uint8_t> buffer;  // the transfer buffer: kTransferBufferBytes, never resized
  std::int32_t size = 0;             // bytes of the buffer that are the file
  std::uint8_t sector = 0;
  std::string name;                   // the flash file name, at most 12 characters
  int success_code = kTransferQuiet;  // what the download reports when all went well
  std::atomic<bool> upload_complete{false};
  std::atomic<int> cancel_state{kCancelNone};

  // The file's bytes.
  std::span<const std::uint8_t> data() const {
    return {buffer.data(), static_cast<std::size_t>(size)};
  }
  // Puts bytes to download in the buffer; false (nothing changed) when they are too many.
  bool set_data(std::span<const std::uint8_t> bytes);
  // Forgets the file's bytes (a flow ends).
  void clear_data() { size = 0; }
  // Sets up a transfer of sector:name: no data, not complete, no cancel.
  void prepare(std::uint8_t to_sector, std::string flash_name, int success = kTransferQuiet);
  // Asks the running worker to stop at its next check point (any thread).
  void request_cancel() {
    int none = kCancelNone;
    cancel_state.compare_exchange_strong(none, kCancelRequested);
  }
};

// At a check point: true (and the cancel acknowledged, the upload marked incomplete) when the
// operator asked to cancel.
bool check_cancel(TransferJob& job);

// Writes job.size bytes of the buffer into sector:name, replacing a file of that name; the
// result code (job.success_code when all went well). Drives the link: run it on the thread
// that owns the link.
int download_worker(TransferJob& job, Link& link, std::uint8_t address, TransferObserver& observer);
// Reads sector:name into the buffer (job.size its length); the result code, and
// job.upload_complete set when every block arrived.
int upload_worker(TransferJob& job, Link& link, std::uint8_t address, TransferObserver& observer);

// The progress line's text for a result, with the job's sector and name where it names
// them; none for a quiet success.
std::optional<std::string> transfer_result_text(int code, const TransferJob& job);

// Texts of the flows.
inline constexpr const char* kTitleOverwrite = " Overwrite Warning";
inline constexpr const char* kOverwriteQuestion = "File \"%d:%s\" exists in Flash, overwrite?";
inline constexpr const char* kCantOpenFile = "Can't open file %s";
inline constexpr const char* kFileTooBig = "File is too big";
inline constexpr const char* kCantReadFile = "Can't read file %s: %s";
inline constexpr const char* kCantSaveFile = "Can't save file %s: %s";
inline constexpr const char* kFileIsEmpty = "the file is empty";

// The flash name proposed for a local file name: an 8.3 name as it stands; a longer or
// irregular one as its short form, upper case, at most 6 characters of the name with "~1" and
// 3 of the extension (my show.sfb -> MYSHOW~1.SFB). Never longer than 12 characters.
std::string short_flash_name(std::string_view file_name);

// The overwrite question for sector:name.
std::string overwrite_question(int sector, const std::string& name);

// Reads the local file `path` into the job's buffer for a download; the error text (without
// "Error: ") when it cannot: not there or not opened, 65 024 bytes or more, unreadable or
// empty.
std::optional<std::string> load_download_file(TransferJob& job, const std::filesystem::path& path);
// Saves the uploaded bytes to `path` under a temporary name and renames it into place, so
// that a failed save leaves any old file as it was; the error text when it cannot.
std::optional<std::string> save_uploaded_file(const TransferJob& job,
                                              const std::filesystem::path& path);

}  // namespace qm
