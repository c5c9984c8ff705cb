// FmCsHttpService: the session that relays bytes both ways for WWW (11), POP3 (14), SOCKS (15)
// and every TCP mapped link (16, also SMTP, News, IRC). It accepts its client, runs the
// opening of its kind, then moves bytes on each socket event until the session ends.
// Owned by its own thread (auto-deleting); the openings and the cache hook run on that
// thread and reach its parts through the accessors below.
#pragma once

#include <memory>
#include <string>

#include "gateway/engine/session_thread.h"

namespace engine {

// Cache states the relay tells apart; every other value means "response header not complete".
inline constexpr int kCachePassThrough = -2;
inline constexpr int kCacheStoring = -3;
inline constexpr size_t kHoldingBufferSize = 16384;
inline constexpr char kAccessDeniedText[] = "Access Denied Contact Admin ";
inline constexpr char kE10026[] = "E-10026: Could not connect to server.";
inline constexpr char kPop3NotResponded[] = "-ERR Server Not Responded\r\n";

// A pipe through which the relay moves bytes between two sockets without copying them into
// the process; made on first use, closed with the session.
class RelayPipe {
 public:
  RelayPipe() = default;
  ~RelayPipe();
  RelayPipe(const RelayPipe&) = delete;
  RelayPipe& operator=(const RelayPipe&) = delete;
  // Makes the pipe when needed; false when none can be had (the relay then copies).
  bool Ready();
  [[nodiscard]] int read_end() const { return fds_[0]; }
  [[nodiscard]] int write_end() const { return fds_[1]; }
  [[nodiscard]] size_t capacity() const { return capacity_; }

 private:
  int fds_[2] = {-1, -1};
  size_t capacity_ = 0;
};

// The web cache's fields of a WWW session; the relay reads only `state`.
struct CacheFields {
  int state = kCachePassThrough;
  int file = -1;
  std::string path;
  size_t header_length = 0;
};

// What a WWW session's client may still send once its request has gone to the server; the
// web opening sets one for every request it forwards (none for a tunnel).
class RequestGate {
 public:
  virtual ~RequestGate() = default;
  // The leading part of the n client bytes that belongs to the forwarded request. The session
  // forwards that part and ends when anything is left over.
  virtual size_t TakeClientBytes(const char* data, size_t n) = 0;
};

class FmCsHttpService : public SessionThread {
 public:
  FmCsHttpService(platform::Socket listening_socket, int idle_timeout, int service_code);
  ~FmCsHttpService() override;

  // Parts the openings use.
  [[nodiscard]] platform::Socket client_socket() const { return client_socket_; }
  [[nodiscard]] platform::Socket server_socket() const { return server_socket_; }
  void set_server_socket(platform::Socket s) { server_socket_ = s; }
  [[nodiscard]] platform::TargetId window() const { return window_; }
  [[nodiscard]] const std::string& client_address() const { return client_address_; }
  [[nodiscard]] platform::Socket listening_socket() const { return listening_socket_; }
  [[nodiscard]] int service_code() const { return service_code_; }
  [[nodiscard]] CacheFields& cache() { return cache_; }
  void set_request_gate(std::unique_ptr<RequestGate> gate) { request_gate_ = std::move(gate); }
  // Selects a socket for relay events on the private target.
  void SelectForRelay(platform::Socket s);

  // Connects the mapped link's target; the registered code, or -1.
  int OpenMappedLink();
  // Stops both sockets' events, kills the idle timer, unregisters (once), closes both.
  void CloseSession();

 protected:
  int Run() override;
  bool PreTranslateMessage(platform::Message& msg) override;
  int ExitInstance() override;

 private:
  bool Start();
  bool HandleClientEvent(long lparam);
  bool RelayData(platform::Socket s, platform::Lparam lparam);
  bool HandleClose(platform::Socket s, int error);
  void ApplyCloseRules(platform::Socket closing, int error);
  // Sends n bytes from data to peer with the congestion rule; false on failure.
  bool SendToPeer(platform::Socket peer, const char* data, size_t n);
  bool RelayResponse(const char* data, size_t n);
  // Moves the n waiting bytes of s to peer through the pipe. -1: failed; 0: done;
  // 1: no pipe, copy instead.
  int SpliceWaiting(platform::Socket s, platform::Socket peer, unsigned long n);
  bool DrainPipe(platform::Socket peer, size_t n);
  bool FlushHeld();
  void ArmIdleTimer();
  void SendText(const std::string& text);

  unsigned long bytes_received_ = 0;
  unsigned long bytes_sent_ = 0;
  size_t pending_ = 0;
  size_t send_offset_ = 0;
  std::unique_ptr<char[]> holding_;  // WWW only
  RelayPipe pipe_;
  CacheFields cache_;
  // WWW requests only: how much more of the client's bytes belong to the forwarded request.
  std::unique_ptr<RequestGate> request_gate_;
  bool active_ = false;  // activity since the last idle tick
  bool timer_set_ = false;
  bool closed_ = false;
  bool read_closed_client_ = false;  // half-close seen (non-WWW kinds)
  bool read_closed_server_ = false;
};

}  // namespace engine
