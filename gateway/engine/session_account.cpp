// The session's access record, the calling thread's current account and the notes made to it.
#include "gateway/engine/session_account.h"

#include "gateway/engine/access_log.h"

namespace engine {
namespace {

thread_local SessionAccount* t_current = nullptr;

}  // namespace

SessionAccount::~SessionAccount() {
  if (t_current == this) {
    t_current = nullptr;
    platform::BindByteMeter(nullptr);
  }
}

void SessionAccount::Open(const std::string& client, const std::string& service) {
  open_ = true;
  client_ = client;
  service_ = service;
  started_ = std::chrono::steady_clock::now();
  t_current = this;
  platform::BindByteMeter(&meter_);
}

void SessionAccount::SetEnding(const std::string& ending) {
  if (ending_.empty()) ending_ = ending;
}

void SessionAccount::LogNow() {
  if (!open_) return;
  AccessRecord record;
  record.ended = std::chrono::system_clock::now();
  record.duration = AgeSince(started_);
  record.client = client_;
  record.service = service_;
  record.destination = destination_;
  const int64_t from = meter_.from_client.load();
  const int64_t to = meter_.to_client.load();
  record.from_client = from - logged_from_;
  record.to_client = to - logged_to_;
  record.ending = ending_.empty() ? kEndClosed : ending_;
  LogSessionEnd(record);
  logged_from_ = from;
  logged_to_ = to;
  logged_ = true;
  destination_.clear();
  ending_.clear();
  started_ = std::chrono::steady_clock::now();
}

void SessionAccount::Close() {
  if (!open_) return;
  const bool moved =
      meter_.from_client.load() != logged_from_ || meter_.to_client.load() != logged_to_;
  if (!logged_ || moved || !ending_.empty()) LogNow();
  open_ = false;
  if (t_current == this) {
    t_current = nullptr;
    platform::BindByteMeter(nullptr);
  }
}

void NoteSessionDestination(const std::string& host, int port) {
  if (t_current == nullptr) return;
  const bool literal6 = host.find(':') != std::string::npos;
  t_current->SetDestination((literal6 ? "[" + host + "]" : host) + ":" + std::to_string(port));
}

void NoteSessionEnding(const std::string& ending) {
  if (t_current != nullptr) t_current->SetEnding(ending);
}

void LogSessionRequest() {
  if (t_current != nullptr) t_current->LogNow();
}

void LogRefusedClient(const std::string& client, const std::string& service) {
  AccessRecord record;
  record.ended = std::chrono::system_clock::now();
  record.client = client;
  record.service = service;
  record.from_client = 0;
  record.to_client = 0;
  record.ending = kEndDenied;
  LogSessionEnd(record);
}

}  // namespace engine
