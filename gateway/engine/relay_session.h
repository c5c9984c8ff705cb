// FmCsHttpService: the session that relays bytes both ways for WWW (11), POP3 (14), SOCKS (15)
// and every TCP mapped link (16, also SMTP, News, IRC). It accepts its client, runs the
// opening of its kind, then moves bytes on each socket event until the session ends.
// Owned by its own thread (auto-deleting); the openings and the cache hook run on that
// thread and reach its parts through the accessors below.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <utility>

#include "gateway/engine/opening_wait.h"
#include "gateway/engine/relay_pair.h"
#include "gateway/engine/session_thread.h"

namespace engine {

// Cache states the relay tells apart; every other value means "response header not complete".
inline constexpr int kCachePassThrough = -2;
inline constexpr int kCacheStoring = -3;
// Timer ids on the session's target: the idle timer and the watch of the server after the
// client left while the cache stored its answer.
inline constexpr uintptr_t kRelayIdleTimer = 1;
inline constexpr uintptr_t kServerWatchTimer = 2;
// Checks the bounds of an opening that has not finished (a client that never sends a byte).
inline constexpr uintptr_t kOpeningTimer = 3;
// Closes a kept-alive client connection that stays idle between two requests.
inline constexpr uintptr_t kKeepAliveTimer = 4;
inline constexpr int kKeepAliveIdleSeconds = 60;
inline constexpr unsigned kOpeningCheckMs = 5000;
inline constexpr char kAccessDeniedText[] = "Access Denied Contact Admin ";
inline constexpr char kE10026[] = "E-10026: Could not connect to server.";
inline constexpr char kPop3NotResponded[] = "-ERR Server Not Responded\r\n";

// The web cache's fields of a WWW session; the relay reads only `state`.
struct CacheFields {
  int state = kCachePassThrough;
  int file = -1;
  std::string path;
  size_t header_length = 0;
  // A stored answer the session is to serve instead of the origin's (the cache's to open,
  // the session's to close), and where in the file it begins.
  int serve_fd = -1;
  off_t serve_offset = 0;
};

// What a WWW session's client may still send once its request has gone to the server; the
// web opening sets one for every request it forwards (none for a tunnel).
class RequestGate {
 public:
  virtual ~RequestGate() = default;
  // The leading part of the n client bytes that belongs to the forwarded request. The session
  // forwards that part; what is left over ends it, or on a kept-alive connection waits for
  // the next turn.
  virtual size_t TakeClientBytes(const char* data, size_t n) = 0;
  // Every byte of the request has been taken.
  [[nodiscard]] virtual bool complete() const = 0;
};

// Where the answer to a kept-alive WWW request ends, read from the server's bytes; the web
// opening sets one for every such request.
class ResponseGate {
 public:
  virtual ~ResponseGate() = default;
  // The leading part of the n server bytes that belongs to the answer; later bytes are not
  // delivered.
  virtual size_t TakeServerBytes(const char* data, size_t n) = 0;
  // The whole answer has been read (an answer that ends with the server's close never is).
  [[nodiscard]] virtual bool Complete() const = 0;
  // The server keeps its connection open for another request.
  [[nodiscard]] virtual bool ServerReusable() const = 0;
  // The client was not told that its connection ends with this answer.
  [[nodiscard]] virtual bool ClientMayContinue() const = 0;
};

class FmCsHttpService : public SessionThread, private RelayInspector {
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
  // The current request keeps the client connection for more: client bytes past it are kept
  // for the next request, and gate tells where the answer ends. server_host names the server
  // connection for reuse by a later request to the same host text ("" when it may not be).
  void KeepAlive(std::unique_ptr<ResponseGate> gate, const std::string& server_host);
  // Client bytes read past the previous request (the start of this one); empties them.
  [[nodiscard]] std::string TakePendingRequest() { return std::exchange(pending_request_, {}); }
  void KeepPendingRequest(std::string bytes) { pending_request_ = std::move(bytes); }
  // The kept server connection of an earlier request when it still is open and was made for
  // host_text; otherwise closes it (if any) and returns kInvalidSocket.
  [[nodiscard]] platform::Socket ReuseServer(const std::string& host_text);
  // Hands a socket to the relay; once both the client and the server socket are set, the
  // relay of both directions starts (events on the private target).
  void SelectForRelay(platform::Socket s);
  // The WWW session is a CONNECT tunnel: a close of either side is passed on as a half-close.
  void set_tunnel() { tunnel_ = true; }
  // Answers the client from a stored file (the cache; fd is the session's to close) instead
  // of the server; the session ends once it was delivered. 0, or -1 when it cannot start.
  [[nodiscard]] int ServeFile(int fd, off_t offset);
  // ServeFile with the stored answer the cache opened (cache().serve_fd); -1 when none.
  [[nodiscard]] int ServeStoredAnswer();

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
  bool RelayEvent(platform::Socket s, platform::Lparam lparam);
  bool HandleTimer(uintptr_t id);
  // The relay is over: applies the cache's close rules on what was really delivered. False
  // ends the session now; true keeps it for the watch of the server after the client left.
  bool RelayEnded(RelayPair::Result result);
  bool WatchedServerEvent(platform::Socket s, platform::Lparam lparam);
  // The answer of a kept-alive request was delivered whole: the session waits for the next
  // request on the client connection. False when the client connection ends here.
  bool AwaitNextRequest();
  // One request is over: its Connections entry goes and its access-log line is written.
  void EndRequest();
  void ArmIdleTimer();
  void SendText(const std::string& text);
  // RelayInspector: the web cache looks at response bytes until it has decided.
  bool Inspecting() override;
  int Inspect(char* data, size_t* n) override;
  bool Holding() override;

  std::unique_ptr<RelayPair> relay_ = std::make_unique<RelayPair>();
  OpeningDeadline opening_;
  CacheFields cache_;
  int served_file_ = -1;
  bool relay_started_ = false;
  bool tunnel_ = false;
  bool watching_server_ = false;  // the client left while the cache stored: server watched
  // WWW requests only: how much more of the client's bytes belong to the forwarded request.
  std::unique_ptr<RequestGate> request_gate_;
  // Looks at the client's bytes through request_gate_.
  class GateInspector : public RelayInspector {
   public:
    explicit GateInspector(FmCsHttpService& owner) : owner_(owner) {}
    bool Inspecting() override { return owner_.request_gate_ != nullptr; }
    int Inspect(char* data, size_t* n) override;

   private:
    FmCsHttpService& owner_;
  };
  GateInspector gate_inspector_{*this};
  // Kept-alive requests: the answer's framing, bytes of the next request, the server
  // connection kept for reuse and the host text it was made for.
  std::unique_ptr<ResponseGate> response_gate_;
  std::string pending_request_;
  std::string server_host_;
  bool between_requests_ = false;  // waiting for the next request on a kept connection
  bool active_ = false;            // activity since the last idle tick
  bool timer_set_ = false;
  bool closed_ = false;
};

}  // namespace engine
