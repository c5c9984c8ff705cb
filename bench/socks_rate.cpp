// Benchmark helper: "PROXY_PORT ORIGIN_PORT PATH THREADS SECONDS MAX" fetches PATH from a
// loopback origin through a SOCKS 4 proxy on loopback, a new connection per fetch (CONNECT,
// the 8-byte grant, GET, the response read until close), until MAX fetches or SECONDS have
// passed. Prints completed fetches per second and the failures.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

bool Fetch(int proxy_port, int origin_port, const std::string& get) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(proxy_port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int c = socket(AF_INET, SOCK_STREAM, 0);
  timeval tv{10, 0};  // a stuck fetch counts as failed instead of hanging the run
  setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  linger l{1, 0};  // no TIME_WAIT pile-up on the client side
  setsockopt(c, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  unsigned char request[9] = {4, 1, static_cast<unsigned char>(origin_port >> 8),
                              static_cast<unsigned char>(origin_port & 0xFF), 127, 0, 0, 1, 0};
  unsigned char grant[8];
  bool ok = connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            send(c, request, sizeof request, MSG_NOSIGNAL) == sizeof request &&
            recv(c, grant, sizeof grant, MSG_WAITALL) == sizeof grant && grant[1] == 90 &&
            send(c, get.data(), get.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(get.size());
  char buf[4096];
  ssize_t total = 0, n;
  while (ok && (n = recv(c, buf, sizeof buf, 0)) > 0) total += n;
  close(c);
  return ok && n == 0 && total > 1024;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: socks_rate PROXY_PORT ORIGIN_PORT PATH THREADS SECONDS MAX\n");
    return 2;
  }
  int proxy_port = std::atoi(argv[1]), origin_port = std::atoi(argv[2]);
  std::string get = std::string("GET ") + argv[3] + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  int threads = std::atoi(argv[4]), seconds = std::atoi(argv[5]);
  long max = std::atol(argv[6]);
  std::atomic<long> started{0}, done{0}, failed{0};
  auto began = std::chrono::steady_clock::now();
  auto deadline = began + std::chrono::seconds(seconds);
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      while (started++ < max && std::chrono::steady_clock::now() < deadline) {
        (Fetch(proxy_port, origin_port, get) ? done : failed)++;
      }
    });
  }
  for (auto& w : workers) w.join();
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  std::printf("%.0f %ld\n", static_cast<double>(done) / took, failed.load());
  return 0;
}
