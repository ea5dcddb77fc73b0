#pragma once
// The mixed load of a soak run, on threads of its own:
//
//   residents — clients that log in once, sit in a room, read everything and speak now and
//               then for the whole run; one that loses its connection is a failure.
//   workers   — each plays short sessions one after the other: connect, sometimes leave
//               before the login or send bad framing; otherwise log in, create or join a room,
//               chat, send private messages, set up file transfers (fileRequest, acceptFiles,
//               abortFiletransfer), change state, ask for lists, send unknown commands and
//               short fields, change rooms, then quit, close, or end with bad framing.
//
// Every wait is bounded; anything the server should have done and did not is a failure,
// counted and the first few described.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Population.hpp"

namespace velmorin::soak {

struct Counters {
  std::atomic<std::uint64_t> sessions{0};
  std::atomic<std::uint64_t> logins{0};
  std::atomic<std::uint64_t> messages{0};
  std::atomic<std::uint64_t> privateMessages{0};
  std::atomic<std::uint64_t> fileSetups{0};
  std::atomic<std::uint64_t> badPackets{0};
  std::atomic<std::uint64_t> received{0};
  std::atomic<std::uint64_t> failures{0};
};

class Load {
 public:
  Load(std::uint16_t port, std::uint32_t workers, std::uint32_t residents);
  ~Load();
  Load(const Load&) = delete;
  Load& operator=(const Load&) = delete;

  void Start();
  // Asks every thread to finish its session, waits for them; all clients are closed then.
  void Stop();

  const Counters& counters() const { return counters_; }
  std::vector<std::string> Failures() const;

 private:
  class Session;
  void Fail(const std::string& what);
  void Work(std::uint32_t worker);
  void Reside(std::uint32_t resident);

  std::uint16_t port_;
  std::uint32_t workers_;
  std::uint32_t residents_;
  std::atomic<bool> stopping_{false};
  Counters counters_;
  Population population_;
  mutable std::mutex failuresMutex_;
  std::vector<std::string> failures_;
  std::vector<std::thread> threads_;
};

}  // namespace velmorin::soak
