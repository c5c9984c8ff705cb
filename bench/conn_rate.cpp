// Benchmark helper: "server PORT" answers every connection with one short reply and closes;
// "client PORT THREADS SECONDS" opens a fresh connection per request (send, read the reply
// until close) and prints the completed requests per second.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>
#include <vector>

namespace {

void Serve(int listener) {
  for (;;) {
    int c = accept(listener, nullptr, nullptr);
    if (c < 0) continue;
    char buf[256];
    if (recv(c, buf, sizeof buf, 0) > 0) {
      static const char reply[] = "HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\npong";
      send(c, reply, sizeof reply - 1, MSG_NOSIGNAL);
    }
    close(c);
  }
}

int RunServer(int port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 1024) != 0) {
    perror("server");
    return 1;
  }
  std::vector<std::thread> workers;
  for (int i = 0; i < 4; ++i) workers.emplace_back(Serve, s);
  for (auto& w : workers) w.join();
  return 0;
}

int RunClient(int port, int threads, int seconds) {
  std::atomic<long> done{0}, failed{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&] {
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(static_cast<uint16_t>(port));
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      while (!stop) {
        int c = socket(AF_INET, SOCK_STREAM, 0);
        linger l{1, 0};  // no TIME_WAIT pile-up on the client side
        setsockopt(c, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        bool ok = connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                  send(c, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL) == 18;
        char buf[512];
        ssize_t total = 0, n;
        while (ok && (n = recv(c, buf, sizeof buf, 0)) > 0) total += n;
        close(c);
        (ok && total > 0 ? done : failed)++;
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  stop = true;
  for (auto& w : workers) w.join();
  std::printf("%.0f %ld\n", static_cast<double>(done) / seconds, failed.load());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string_view(argv[1]) == "server") return RunServer(std::atoi(argv[2]));
  if (argc >= 5 && std::string_view(argv[1]) == "client") {
    return RunClient(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
  }
  std::fprintf(stderr, "usage: conn_rate server PORT | client PORT THREADS SECONDS\n");
  return 2;
}
