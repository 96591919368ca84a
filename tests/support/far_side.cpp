#include "support/far_side.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "link/link.h"

namespace qm::test {

Bytes hex(const std::string& text) {
  Bytes out;
  std::istringstream in(text);
  std::string word;
  while (in >> word)
    out.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
  return out;
}

std::string to_hex(const Bytes& bytes) {
  std::string out;
  char two[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(two, sizeof two, "%02X", bytes[i]);
    if (i > 0) out += ' ';
    out += two;
  }
  return out;
}

Bytes frame_of(const Bytes& message) {
  return encode_serial_frame(message);
}

Bytes tcp_frame(std::uint8_t kind, const Bytes& payload) {
  Bytes out(payload.size() + 2);
  out[0] = static_cast<std::uint8_t>(out.size());
  out[1] = kind;
  std::copy(payload.begin(), payload.end(), out.begin() + 2);
  return out;
}

Bytes reply(std::uint8_t address, std::uint8_t function, const Bytes& data) {
  Bytes message = {0x17, address, function};
  message.insert(message.end(), data.begin(), data.end());
  return frame_of(message);
}

namespace {

// How long a stream of frames still lasts, in ms: -1 without one; an ended one is cleared.
int stream_time_left(Bytes& stream, std::chrono::steady_clock::time_point until) {
  if (stream.empty()) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      until - std::chrono::steady_clock::now());
  if (left.count() > 0) return static_cast<int>(left.count());
  stream.clear();
  return -1;
}

void make_pipe(int fds[2]) {
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
}

void write_all(int fd, const Bytes& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// The same on a socket; a client that has gone away does not raise SIGPIPE.
void send_all(int fd, const Bytes& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

// --- PtyPair ----------------------------------------------------------------------------

PtyPair::PtyPair() {
  termios raw{};
  cfmakeraw(&raw);
  char name[256] = {};
  int master = -1;
  if (openpty(&master, &slave_, name, &raw, nullptr) != 0) throw std::runtime_error("openpty");
  // A program the test starts must not hold the far side open: a hang-up would not be one.
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave_, F_SETFD, FD_CLOEXEC);
  master_ = master;
  slave_path_ = name;
}

PtyPair::~PtyPair() {
  hang_up();
  ::close(slave_);
}

void PtyPair::hang_up() {
  const int master = master_.exchange(-1);
  if (master >= 0) ::close(master);
}

Bytes PtyPair::read_master(std::size_t n, int timeout_ms) {
  Bytes out;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (out.size() < n) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    std::uint8_t buf[256];
    const ssize_t got = ::read(master_, buf, std::min(sizeof buf, n - out.size()));
    if (got <= 0) break;
    out.insert(out.end(), buf, buf + got);
  }
  return out;
}

void PtyPair::write_master(const Bytes& bytes) {
  write_all(master_, bytes);
}

// --- ScriptedUnit -------------------------------------------------------------------------

ScriptedUnit::ScriptedUnit(PtyPair& pty, Handler handler)
    : pty_(pty), handler_(std::move(handler)) {
  make_pipe(stop_);
  thread_ = std::thread([this] { run(); });
}

ScriptedUnit::~ScriptedUnit() {
  write_all(stop_[1], {1});
  thread_.join();
  ::close(stop_[0]);
  ::close(stop_[1]);
}

void ScriptedUnit::run() {
  SerialReceiver receiver;
  for (;;) {
    const int master = pty_.master();  // -1 once the line hung up: poll() passes it over
    int timeout = -1;                  // while a stream lasts: until it ends
    {
      std::lock_guard lock(mutex_);
      timeout = stream_time_left(stream_, stream_until_);
    }
    const short events = timeout >= 0 ? POLLIN | POLLOUT : POLLIN;
    pollfd p[2] = {{master, events, 0}, {stop_[0], POLLIN, 0}};
    if (::poll(p, 2, timeout) < 0) continue;
    if (p[1].revents) return;
    if (p[0].revents & POLLOUT) feed_stream(master);
    if (!(p[0].revents & POLLIN)) continue;
    std::uint8_t buf[256];
    const ssize_t got = ::read(master, buf, sizeof buf);
    if (got <= 0) continue;
    for (ssize_t i = 0; i < got; ++i) {
      {
        std::lock_guard lock(mutex_);
        wire_.push_back(buf[i]);
      }
      if (receiver.feed(buf[i]) != SerialReceiver::Event::Frame) continue;
      const UnitFrame request = receiver.frame();
      {
        std::lock_guard lock(mutex_);
        frames_.push_back(request);
      }
      changed_.notify_all();
      const Bytes answer = handler_ ? handler_(request) : Bytes{};
      if (!answer.empty()) write_all(pty_.master(), answer);
    }
  }
}

Bytes ScriptedUnit::wire() const {
  std::lock_guard lock(mutex_);
  return wire_;
}

std::vector<UnitFrame> ScriptedUnit::frames() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

bool ScriptedUnit::wait_frames(std::size_t n, int timeout_ms) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return frames_.size() >= n; });
}

void ScriptedUnit::stream(const Bytes& bytes, int for_ms) {
  std::lock_guard lock(mutex_);
  stream_.clear();
  while (!bytes.empty() && stream_.size() < 4096)
    stream_.insert(stream_.end(), bytes.begin(), bytes.end());
  stream_at_ = 0;
  stream_until_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(for_ms);
}

void ScriptedUnit::feed_stream(int master) {
  std::lock_guard lock(mutex_);
  if (stream_.empty() || master < 0) return;
  // The master blocks on a full line; the stream must not, or the unit could not be stopped.
  const int flags = fcntl(master, F_GETFL);
  fcntl(master, F_SETFL, flags | O_NONBLOCK);
  const ssize_t put = ::write(master, stream_.data() + stream_at_, stream_.size() - stream_at_);
  fcntl(master, F_SETFL, flags);
  if (put <= 0) return;
  stream_at_ = (stream_at_ + static_cast<std::size_t>(put)) % stream_.size();
}

ScriptedUnit::Handler polite_unit(std::uint8_t id,
                                  std::function<Bytes(const UnitFrame& request)> reply_data) {
  auto queued = std::make_shared<Bytes>();
  return [=](const UnitFrame& request) -> Bytes {
    if (request.address() != id && request.address() != kAddressAll) return {};
    if (request.type() & kTypePoll) {
      Bytes out = queued->empty() ? frame_of({0x17, id}) : *queued;
      queued->clear();
      return out;
    }
    if (request.count >= 3 && !(request.type() & kTypeBroadcast)) {
      Bytes data = reply_data(request);
      if (!data.empty() || request.count >= 3) *queued = reply(id, request.function(), data);
    }
    return {};
  };
}

// --- ScriptedGateway ----------------------------------------------------------------------

ScriptedGateway::ScriptedGateway(Handler handler) : handler_(std::move(handler)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
      ::listen(listener_, 4) != 0)
    throw std::runtime_error("listen");
  socklen_t len = sizeof at;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &len);
  port_ = ntohs(at.sin_port);
  make_pipe(stop_);
  thread_ = std::thread([this] { run(); });
}

ScriptedGateway::~ScriptedGateway() {
  write_all(stop_[1], {1});
  thread_.join();
  ::close(listener_);
  if (client_ >= 0) ::close(client_);
  ::close(stop_[0]);
  ::close(stop_[1]);
}

void ScriptedGateway::run() {
  Bytes pending;
  for (;;) {
    int client = -1;
    int timeout = -1;  // while a stream lasts: until it ends
    bool reading = true;
    {
      std::lock_guard lock(mutex_);
      client = client_;
      reading = reading_;
      timeout = stream_time_left(stream_, stream_until_);
    }
    const short events = timeout >= 0 ? POLLIN | POLLOUT : POLLIN;
    pollfd p[3] = {{stop_[0], POLLIN, 0}, {listener_, POLLIN, 0}, {client, events, 0}};
    // A gateway that stopped reading watches only for the end and for new connections.
    if (::poll(p, client >= 0 && reading ? 3 : 2, timeout) < 0) continue;
    if (!reading) p[2].revents = 0;
    if (p[0].revents) return;
    if (client >= 0 && (p[2].revents & POLLOUT)) feed_stream(client);
    if (p[1].revents & POLLIN) {
      const int accepted = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      // Every write goes out as it is made, so that pieces of a frame arrive as pieces.
      int one = 1;
      setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      {
        std::lock_guard lock(mutex_);
        if (client_ >= 0) ::close(client_);
        client_ = accepted;
      }
      changed_.notify_all();
      pending.clear();
      continue;
    }
    if (client < 0 || !(p[2].revents & (POLLIN | POLLHUP))) continue;
    std::uint8_t buf[256];
    const ssize_t got = ::recv(client, buf, sizeof buf, 0);
    if (got <= 0) {
      {
        std::lock_guard lock(mutex_);
        ::close(client_);
        client_ = -1;
      }
      changed_.notify_all();
      continue;
    }
    pending.insert(pending.end(), buf, buf + got);
    while (pending.size() >= 2 && pending[0] >= 2 && pending.size() >= pending[0]) {
      Frame frame{pending[1], Bytes(pending.begin() + 2, pending.begin() + pending[0])};
      pending.erase(pending.begin(), pending.begin() + pending[0]);
      {
        std::lock_guard lock(mutex_);
        frames_.push_back(frame);
      }
      changed_.notify_all();
      const Bytes answer = handler_ ? handler_(frame) : Bytes{};
      if (!answer.empty()) send_all(client, answer);
    }
  }
}

std::vector<ScriptedGateway::Frame> ScriptedGateway::frames() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

bool ScriptedGateway::wait_frames(std::size_t n, int timeout_ms) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return frames_.size() >= n; });
}

void ScriptedGateway::push(const Bytes& bytes) {
  std::unique_lock lock(mutex_);
  // The accept may still be on its way.
  changed_.wait_for(lock, std::chrono::seconds(1), [&] { return client_ >= 0; });
  if (client_ >= 0) send_all(client_, bytes);
}

void ScriptedGateway::stream(const Bytes& frames, int for_ms) {
  std::lock_guard lock(mutex_);
  stream_.clear();
  while (!frames.empty() && stream_.size() < 4096)
    stream_.insert(stream_.end(), frames.begin(), frames.end());
  stream_at_ = 0;
  stream_until_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(for_ms);
}

void ScriptedGateway::feed_stream(int client) {
  std::lock_guard lock(mutex_);
  if (stream_.empty()) return;
  const ssize_t sent = ::send(client, stream_.data() + stream_at_, stream_.size() - stream_at_,
                              MSG_DONTWAIT | MSG_NOSIGNAL);
  if (sent <= 0) return;
  stream_at_ = (stream_at_ + static_cast<std::size_t>(sent)) % stream_.size();
}

void ScriptedGateway::drop() {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::seconds(1), [&] { return client_ >= 0; });
  if (client_ >= 0) ::shutdown(client_, SHUT_RDWR);
}

void ScriptedGateway::stop_reading() {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::seconds(1), [&] { return client_ >= 0; });
  reading_ = false;
  if (client_ >= 0) {
    const int small = 4096;
    setsockopt(client_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  }
}

void ScriptedGateway::reset() {
  std::lock_guard lock(mutex_);
  if (client_ < 0) return;
  const linger abort{1, 0};  // close with a reset, not an orderly end
  setsockopt(client_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  ::close(client_);
  client_ = -1;
}

ScriptedGateway::Handler checking_gateway(std::string secret,
                                          std::function<Bytes(const Bytes& message)> units) {
  return [secret = std::move(secret), units = std::move(units)](const ScriptedGateway::Frame& f) {
    if (f.kind == kTcpAuthentication) {
      const auto expected = authentication_block(secret);
      const bool ok = f.payload == Bytes(expected.begin(), expected.end());
      return Bytes{3, 0, static_cast<std::uint8_t>(ok ? 1 : 0)};
    }
    if (f.kind == kTcpUnitMessage && units) {
      Bytes message = units(f.payload);
      if (message.empty()) return Bytes{};
      Bytes out = {static_cast<std::uint8_t>(message.size() + 2), kTcpUnitMessage};
      out.insert(out.end(), message.begin(), message.end());
      return out;
    }
    return Bytes{};
  };
}

}  // namespace qm::test
