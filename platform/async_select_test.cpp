// AsyncSelect's Winsock rules over real loopback sockets: re-enabling, FD_CLOSE only after the
// unread bytes, accept and datagram events, selections from another thread.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "platform/message_queue.h"
#include "platform/queue_probe.h"
#include "platform/socket.h"
#include "platform/socket_errors.h"

namespace platform {
namespace {

constexpr unsigned kMsgSock = kWmUser + 9;

// A connected loopback pair: client (ours to select) and server end (the peer).
struct Pair {
  Socket listener = CreateSocket(SOCK_STREAM);
  Socket ours = kInvalidSocket;
  Socket peer = kInvalidSocket;
  Pair() {
    EXPECT_EQ(BindLoopback(listener, 0), 0);
    EXPECT_EQ(Listen(listener, 4), 0);
    ours = CreateSocket(SOCK_STREAM);
    EXPECT_EQ(Connect(ours, "127.0.0.1", LocalPort(listener)), 0);
    peer = Accept(listener);
  }
  ~Pair() {
    for (Socket s : {listener, ours, peer}) {
      if (s >= 0) CloseSocket(s);
    }
  }
};

// Next message within timeout_ms, or a kWmNull message.
Message NextWithin(int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  Message msg;
  while (std::chrono::steady_clock::now() < deadline) {
    if (PeekMessage(&msg, true)) return msg;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return Message{};
}

TEST(AsyncSelect, ReadIsNotRepostedUntilRecvIsCalled) {
  Pair p;
  TargetId target = CreateTarget();
  ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock, kFdRead | kFdClose), 0);
  ASSERT_EQ(Send(p.peer, "abc", 3), 3);
  Message m = NextWithin(1000);
  EXPECT_EQ(m.message, kMsgSock);
  EXPECT_EQ(m.wparam, static_cast<Wparam>(p.ours));
  EXPECT_EQ(SelectEvent(m.lparam), kFdRead);
  ASSERT_EQ(Send(p.peer, "def", 3), 3);
  EXPECT_EQ(NextWithin(100).message, kWmNull) << "FD_READ posted twice without a recv";
  char buf[2];
  ASSERT_EQ(Recv(p.ours, buf, 2), 2);  // a partial read re-enables: bytes remain
  m = NextWithin(1000);
  EXPECT_EQ(SelectEvent(m.lparam), kFdRead);
  DestroyTarget(target);
}

TEST(AsyncSelect, CloseComesOnlyAfterEveryByteWasRead) {
  Pair p;
  TargetId target = CreateTarget();
  ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock, kFdRead | kFdClose), 0);
  std::string payload(100000, 'x');
  ASSERT_EQ(SendAll(p.peer, payload.data(), payload.size()), 0);
  CloseSocket(p.peer);
  p.peer = kInvalidSocket;
  size_t received = 0;
  for (;;) {
    Message m = NextWithin(2000);
    ASSERT_EQ(m.message, kMsgSock) << "no event after " << received << " bytes";
    if (SelectEvent(m.lparam) == kFdClose) {
      EXPECT_EQ(SelectError(m.lparam), 0);
      break;
    }
    ASSERT_EQ(SelectEvent(m.lparam), kFdRead);
    unsigned long waiting = 0;
    ASSERT_EQ(BytesWaiting(p.ours, &waiting), 0);
    std::string buf(waiting, '\0');
    int n = Recv(p.ours, buf.data(), buf.size());
    ASSERT_GE(n, 0);
    received += static_cast<size_t>(n);
  }
  EXPECT_EQ(received, payload.size());
  EXPECT_EQ(NextWithin(100).message, kWmNull) << "FD_CLOSE is posted once";
  DestroyTarget(target);
}

TEST(AsyncSelect, ResetCarriesTheWinsockError) {
  Pair p;
  TargetId target = CreateTarget();
  ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock, kFdRead | kFdClose), 0);
  linger hard{1, 0};
  setsockopt(p.peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  CloseSocket(p.peer);
  p.peer = kInvalidSocket;
  Message m = NextWithin(1000);
  EXPECT_EQ(SelectEvent(m.lparam), kFdClose);
  EXPECT_EQ(SelectError(m.lparam), kWsaEConnReset);
  DestroyTarget(target);
}

TEST(AsyncSelect, CloseOnlySelectionSeesThePeerLeave) {
  Pair p;
  TargetId target = CreateTarget();
  ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock, kFdClose), 0);
  EXPECT_EQ(NextWithin(50).message, kWmNull);
  CloseSocket(p.peer);
  p.peer = kInvalidSocket;
  EXPECT_EQ(SelectEvent(NextWithin(1000).lparam), kFdClose);
  DestroyTarget(target);
}

TEST(AsyncSelect, AcceptIsReenabledByAccept) {
  Socket listener = CreateSocket(SOCK_STREAM);
  ASSERT_EQ(BindLoopback(listener, 0), 0);
  ASSERT_EQ(Listen(listener, 8), 0);
  TargetId target = CreateTarget();
  ASSERT_EQ(AsyncSelect(listener, target, kWmUser + 1, kFdAccept), 0);
  Socket c1 = CreateSocket(SOCK_STREAM), c2 = CreateSocket(SOCK_STREAM);
  ASSERT_EQ(Connect(c1, "127.0.0.1", LocalPort(listener)), 0);
  ASSERT_EQ(Connect(c2, "127.0.0.1", LocalPort(listener)), 0);
  EXPECT_EQ(SelectEvent(NextWithin(1000).lparam), kFdAccept);
  EXPECT_EQ(NextWithin(100).message, kWmNull);
  Socket a1 = Accept(listener);
  ASSERT_GE(a1, 0);
  EXPECT_EQ(SelectEvent(NextWithin(1000).lparam), kFdAccept);
  Socket a2 = Accept(listener);
  ASSERT_GE(a2, 0);
  EXPECT_EQ(Accept(listener), kInvalidSocket);
  EXPECT_EQ(LastSocketError(), kWsaEWouldBlock) << "a selected listener is non-blocking";
  for (Socket s : {listener, c1, c2, a1, a2}) CloseSocket(s);
  DestroyTarget(target);
}

TEST(AsyncSelect, DatagramsAreReportedOneReadAtATime) {
  Socket rx = CreateSocket(SOCK_DGRAM), tx = CreateSocket(SOCK_DGRAM);
  ASSERT_EQ(BindLoopback(rx, 0), 0);
  TargetId target = CreateTarget();
  ASSERT_EQ(AsyncSelect(rx, target, kWmUser + 8, kFdRead), 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(LocalPort(rx));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(SendTo(tx, "one", 3, to), 3);
  ASSERT_EQ(SendTo(tx, "two", 3, to), 3);
  EXPECT_EQ(SelectEvent(NextWithin(1000).lparam), kFdRead);
  EXPECT_EQ(NextWithin(100).message, kWmNull);
  char buf[8];
  ASSERT_EQ(RecvFrom(rx, buf, sizeof buf, nullptr), 3);
  EXPECT_EQ(SelectEvent(NextWithin(1000).lparam), kFdRead);
  ASSERT_EQ(RecvFrom(rx, buf, sizeof buf, nullptr), 3);
  EXPECT_EQ(std::string(buf, 3), "two");
  EXPECT_EQ(NextWithin(100).message, kWmNull);
  CloseSocket(rx);
  CloseSocket(tx);
  DestroyTarget(target);
}

TEST(AsyncSelect, ZeroEventsStopsAndANewSelectReportsWhatIsPending) {
  Pair p;
  TargetId target = CreateTarget();
  ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock, kFdRead | kFdClose), 0);
  ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock, 0), 0);
  ASSERT_EQ(Send(p.peer, "x", 1), 1);
  EXPECT_EQ(NextWithin(100).message, kWmNull);
  ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock + 1, kFdRead | kFdClose), 0);
  Message m = NextWithin(1000);
  EXPECT_EQ(m.message, kMsgSock + 1);
  EXPECT_EQ(SelectEvent(m.lparam), kFdRead);
  DestroyTarget(target);
}

TEST(AsyncSelect, SelectFromAnotherThreadWakesTheOwner) {
  Pair p;
  ASSERT_EQ(Send(p.peer, "wake", 4), 4);
  std::atomic<TargetId> target{0};
  std::atomic<ThreadId> owner_id{0};
  std::atomic<bool> got_read{false};
  std::thread owner([&] {
    owner_id = CurrentThreadId();
    target = CreateTarget();
    Message msg;
    // Blocks in GetMessage with nothing selected until the other thread selects.
    while (GetMessage(&msg)) {
      if (msg.message == kMsgSock && SelectEvent(msg.lparam) == kFdRead) {
        got_read = true;
        break;
      }
    }
    DestroyTarget(target);
  });
  while (target == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  // Select only once the owner is asleep in its poll, which knows nothing of the socket yet.
  for (int i = 0; i < 10000 && !ThreadIsWaiting(owner_id); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(ThreadIsWaiting(owner_id));
  ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock, kFdRead | kFdClose), 0);
  owner.join();
  EXPECT_TRUE(got_read);
}

// A socket another thread selected first and this thread selected afterwards stays this
// thread's when the other thread ends: its reads keep being re-enabled here.
TEST(AsyncSelect, SocketTakenOverFromAThreadThatEndsStaysWithItsNewOwner) {
  Pair p;
  std::atomic<int> step{0};
  std::thread first([&] {
    TargetId theirs = CreateTarget();
    EXPECT_EQ(AsyncSelect(p.ours, theirs, kMsgSock, kFdRead), 0);
    step = 1;
    for (int i = 0; i < 10000 && step != 2; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });  // ends without ending its selection or its target
  while (step == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  TargetId mine = CreateTarget();
  ASSERT_EQ(AsyncSelect(p.ours, mine, kMsgSock, kFdRead), 0);
  step = 2;
  first.join();
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(Send(p.peer, "x", 1), 1);
    Message msg{};
    bool read = false;
    while (!read && GetMessageWithin(&msg, 5000)) {
      read = msg.target == mine && msg.message == kMsgSock && SelectEvent(msg.lparam) == kFdRead;
    }
    ASSERT_TRUE(read) << "no FD_READ in round " << round;
    char byte;
    EXPECT_EQ(Recv(p.ours, &byte, 1), 1);  // re-enables FD_READ through the socket's owner
  }
  EXPECT_EQ(AsyncSelect(p.ours, mine, 0, 0), 0);
  DestroyTarget(mine);
}

TEST(AsyncSelect, UnknownTargetOrNonSocketIsRefused) {
  int error = 0;
  Pair p;
  EXPECT_EQ(AsyncSelect(p.ours, 0, kMsgSock, kFdRead, &error), -1);
  EXPECT_EQ(error, kWsaEInval);
  TargetId target = CreateTarget();
  EXPECT_EQ(AsyncSelect(0 /* stdin */, target, kMsgSock, kFdRead, &error), -1);
  EXPECT_EQ(error, kWsaENotSock);
  DestroyTarget(target);
}

// Fills ours' send path until a send would block; the bytes sent so far.
size_t FillUntilBlocked(Socket s) {
  std::string chunk(65536, 'f');
  size_t sent = 0;
  for (int i = 0; i < 100000; ++i) {
    int n = Send(s, chunk.data(), chunk.size());
    if (n < 0) {
      EXPECT_EQ(LastSocketError(), kWsaEWouldBlock);
      return sent;
    }
    sent += static_cast<size_t>(n);
  }
  ADD_FAILURE() << "the send never blocked";
  return sent;
}

// Reads and drops everything the peer has until nothing more comes for a while.
void DrainPeer(Socket peer, size_t expected) {
  std::string buf(1 << 20, '\0');
  size_t got = 0;
  while (got < expected && WaitReadable(peer, 2000) == 1) {
    int n = Recv(peer, buf.data(), buf.size());
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  EXPECT_EQ(got, expected);
}

TEST(AsyncSelect, WriteComesWhenABlockedSendHasRoomAgainAndOnlyThen) {
  Pair p;
  TargetId target = CreateTarget();
  ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock, kFdRead | kFdWrite | kFdClose), 0);
  EXPECT_EQ(NextWithin(100).message, kWmNull) << "no FD_WRITE before a send blocked";
  size_t sent = FillUntilBlocked(p.ours);
  EXPECT_EQ(NextWithin(100).message, kWmNull) << "FD_WRITE while still full";
  DrainPeer(p.peer, sent);
  Message m = NextWithin(2000);
  EXPECT_EQ(m.message, kMsgSock);
  EXPECT_EQ(m.wparam, static_cast<Wparam>(p.ours));
  EXPECT_EQ(SelectEvent(m.lparam), kFdWrite);
  EXPECT_EQ(NextWithin(100).message, kWmNull) << "FD_WRITE is posted once per blocked send";
  // A second blocked send gets its own FD_WRITE.
  sent = FillUntilBlocked(p.ours);
  DrainPeer(p.peer, sent);
  EXPECT_EQ(SelectEvent(NextWithin(2000).lparam), kFdWrite);
  DestroyTarget(target);
}

TEST(AsyncSelect, WriteIsNotPostedWithoutAskingForIt) {
  Pair p;
  TargetId target = CreateTarget();
  ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock, kFdRead | kFdClose), 0);
  size_t sent = FillUntilBlocked(p.ours);
  DrainPeer(p.peer, sent);
  EXPECT_EQ(NextWithin(200).message, kWmNull);
  DestroyTarget(target);
}

TEST(AsyncSelect, WriteOfASendBlockedBeforeANewSelectIsKept) {
  Pair p;
  TargetId target = CreateTarget();
  ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock, kFdWrite), 0);
  size_t sent = FillUntilBlocked(p.ours);
  ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock + 1, kFdRead | kFdWrite | kFdClose), 0);
  DrainPeer(p.peer, sent);
  Message m = NextWithin(2000);
  EXPECT_EQ(m.message, kMsgSock + 1);
  EXPECT_EQ(SelectEvent(m.lparam), kFdWrite);
  DestroyTarget(target);
}

// Waits until an event for socket is queued, leaving it in the queue.
bool QueuedFor(Socket socket, long event) {
  Message m;
  for (int i = 0; i < 1000; ++i) {
    if (PeekMessage(&m, false) && m.wparam == static_cast<Wparam>(socket) &&
        SelectEvent(m.lparam) == event) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

// An event not yet taken goes with its selection: a socket opened later under the same
// number must not hear of the old one's close, and a new selection reports afresh (an owed
// FD_WRITE included) under its own message.
TEST(AsyncSelect, QueuedEventsGoWithTheSelectionThatEnded) {
  TargetId target = CreateTarget();
  {
    Pair p;
    ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock, kFdRead | kFdClose), 0);
    CloseSocket(p.peer);
    p.peer = kInvalidSocket;
    ASSERT_TRUE(QueuedFor(p.ours, kFdClose));
    CloseSocket(p.ours);
    p.ours = kInvalidSocket;
    EXPECT_EQ(NextWithin(100).message, kWmNull) << "the closed socket's FD_CLOSE was delivered";
  }
  {
    Pair p;
    ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock, kFdRead | kFdClose), 0);
    ASSERT_EQ(Send(p.peer, "x", 1), 1);
    ASSERT_TRUE(QueuedFor(p.ours, kFdRead));
    ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock + 1, kFdRead | kFdClose), 0);
    Message m = NextWithin(1000);
    EXPECT_EQ(m.message, kMsgSock + 1);
    EXPECT_EQ(SelectEvent(m.lparam), kFdRead);
    EXPECT_EQ(NextWithin(100).message, kWmNull);
  }
  {
    Pair p;
    ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock, kFdWrite), 0);
    size_t sent = FillUntilBlocked(p.ours);
    DrainPeer(p.peer, sent);
    ASSERT_TRUE(QueuedFor(p.ours, kFdWrite));
    ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock + 1, kFdRead | kFdWrite | kFdClose), 0);
    Message m = NextWithin(2000);
    EXPECT_EQ(m.message, kMsgSock + 1);
    EXPECT_EQ(SelectEvent(m.lparam), kFdWrite) << "the owed FD_WRITE was lost with the old one";
  }
  DestroyTarget(target);
}

TEST(AsyncSelect, WriteWaitDoesNotHideReadsOrTheClose) {
  Pair p;
  TargetId target = CreateTarget();
  ASSERT_EQ(AsyncSelect(p.ours, target, kMsgSock, kFdRead | kFdWrite | kFdClose), 0);
  [[maybe_unused]] size_t sent = FillUntilBlocked(p.ours);
  ASSERT_EQ(Send(p.peer, "in", 2), 2);
  Message m = NextWithin(1000);
  EXPECT_EQ(SelectEvent(m.lparam), kFdRead) << "a congested socket still reports its reads";
  char buf[4];
  ASSERT_EQ(Recv(p.ours, buf, sizeof buf), 2);
  linger hard{1, 0};
  setsockopt(p.peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  CloseSocket(p.peer);
  p.peer = kInvalidSocket;
  bool saw_close = false;
  for (int i = 0; i < 3 && !saw_close; ++i) {
    m = NextWithin(1000);
    ASSERT_EQ(m.message, kMsgSock);
    // The failure wakes the blocked sender too (its next send reports it).
    saw_close = SelectEvent(m.lparam) == kFdClose;
    if (!saw_close) {
      EXPECT_EQ(SelectEvent(m.lparam), kFdWrite);
    }
  }
  EXPECT_TRUE(saw_close);
  EXPECT_EQ(NextWithin(100).message, kWmNull) << "a failed socket does not spin";
  DestroyTarget(target);
}

}  // namespace
}  // namespace platform
