// The simulator's side of the wire: a pseudo-terminal whose slave the program opens, a
// listening TCP socket for the gateway, a way to wake a waiting thread, and waiting on
// several of them at once. Pseudo-terminals exist on POSIX only; elsewhere open() gives none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace qm::platform {

using Handle = long long;  // a descriptor or socket that can be waited on

class PseudoTerminal {
 public:
  static std::unique_ptr<PseudoTerminal> open();
  virtual ~PseudoTerminal() = default;
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  // The device the program opens, e.g. /dev/pts/3.
  virtual const std::string& slave_path() const = 0;
  virtual Handle handle() const = 0;
  // Reads what the program wrote, never waiting: the count, 0 when nothing is there.
  virtual std::size_t read(std::uint8_t* buffer, std::size_t n) = 0;
  virtual bool write(const std::uint8_t* bytes, std::size_t n) = 0;

 protected:
  PseudoTerminal() = default;
};

class Connection {
 public:
  virtual ~Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  virtual Handle handle() const = 0;
  // Reads once: the count, 0 when the peer closed, -1 on error.
  virtual long receive(std::uint8_t* buffer, std::size_t n) = 0;
  // Hands over what the connection takes now, never waiting: the count taken (0 when its
  // buffers are full), -1 when the connection failed.
  virtual long send_some(const std::uint8_t* bytes, std::size_t n) = 0;

 protected:
  Connection() = default;
};

// What the system keeps of a connection's unsent bytes: plenty for replies of a few dozen
// bytes, small enough that a program that stops reading is noticed after a few thousand
// replies instead of millions.
inline constexpr int kConnectionSendBuffer = 64 * 1024;

class ListeningSocket {
 public:
  // Listens on address:port (network-order address, host-order port; port 0 picks one).
  static std::unique_ptr<ListeningSocket> open(std::uint32_t address_net, std::uint16_t port);
  virtual ~ListeningSocket() = default;
  ListeningSocket(const ListeningSocket&) = delete;
  ListeningSocket& operator=(const ListeningSocket&) = delete;
  virtual std::uint16_t port() const = 0;
  virtual Handle handle() const = 0;
  virtual std::unique_ptr<Connection> accept() = 0;

 protected:
  ListeningSocket() = default;
};

// Wakes a thread that waits with wait_any on handle().
class Wakeup {
 public:
  static std::unique_ptr<Wakeup> create();
  virtual ~Wakeup() = default;
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;
  virtual Handle handle() const = 0;
  virtual void signal() = 0;
  virtual void clear() = 0;

 protected:
  Wakeup() = default;
};

// Blocks until one of the handles is readable (or closed) or timeout_ms passes (-1: no
// limit). The index of the first ready handle, or -1 on time-out.
int wait_any(std::span<const Handle> handles, int timeout_ms);

// A handle to wait on until it is readable, or until it can take more bytes.
struct Waitable {
  Handle handle = 0;
  bool for_writing = false;
};
// The same for handles waited on either way: the index of the first ready one (a closed or
// failed handle counts as ready), or -1 on time-out.
int wait_any(std::span<const Waitable> items, int timeout_ms);

// Makes `link` a symbolic link to `target`, replacing an existing link.
bool make_symlink(const std::string& target, const std::string& link);

// Becomes readable when the process is asked to end (interrupt or termination), so that a
// waiting loop can stop cleanly. One per process; none where it cannot be made.
class InterruptWatch {
 public:
  static std::unique_ptr<InterruptWatch> create();
  virtual ~InterruptWatch() = default;
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;
  virtual Handle handle() const = 0;
  virtual bool interrupted() const = 0;

 protected:
  InterruptWatch() = default;
};

// The standard input as a handle wait_any can wait on; none where the platform cannot.
std::optional<Handle> standard_input_handle();
// Reads and discards what standard input holds (one read); false at its end.
bool consume_standard_input();
// Makes standard output pass bytes unchanged, so that text which carries its own CR LF line
// ends (a decoded listing) is written as it is; Windows would turn each LF into CR LF.
void binary_standard_output();
// Whether standard error is a terminal (where a progress line may be redrawn in place).
bool standard_error_is_terminal();
// Whether standard input is a terminal (where an operator can answer a question).
bool standard_input_is_terminal();

// Keeps interrupt and termination requests for wait_for_termination: call it before any
// thread starts, so that every thread inherits it.
void block_termination_signals();
// Blocks until the process is asked to end (interrupt or termination).
void wait_for_termination();

}  // namespace qm::platform
