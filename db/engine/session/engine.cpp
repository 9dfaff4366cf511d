// Engine start and stop and the per-thread current session (see the header).
#include "db/engine/session/engine.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_session.h"

namespace {

std::mutex& EngineGuard() {
  static std::mutex guard;
  return guard;
}

std::unique_ptr<TDataSession>& FirstSession() {
  static std::unique_ptr<TDataSession> session;
  return session;
}

// Advanced by every start and stop, so a thread's choice from an earlier run is void (2).
std::atomic<uint64_t> engine_generation{1};
std::atomic<bool> engine_started{false};

struct TThreadChoice {
  TDataSession* Session = nullptr;
  uint64_t Generation = 0;
};
thread_local TThreadChoice thread_choice;

}  // namespace

void StartEngine() {
  std::lock_guard<std::mutex> lock(EngineGuard());
  if (engine_started.load()) return;
  FirstSession() = std::make_unique<TDataSession>(0);
  engine_generation.fetch_add(1);
  engine_started.store(true);
}

void StopEngine() {
  std::unique_ptr<TDataSession> first;
  {
    std::lock_guard<std::mutex> lock(EngineGuard());
    if (!engine_started.load()) return;
    engine_started.store(false);
    engine_generation.fetch_add(1);
    first = std::move(FirstSession());
  }
  // Destroyed outside the guard: closing its directories may take other locks.
  first.reset();
}

bool EngineStarted() {
  return engine_started.load();
}

TDataSession* FirstEngineSession() {
  std::lock_guard<std::mutex> lock(EngineGuard());
  return engine_started.load() ? FirstSession().get() : nullptr;
}

TDataSession& CurrentEngineSession() {
  if (!engine_started.load()) RaiseEngineError(VUZODE_NOTINITIALIZED);
  if (thread_choice.Session != nullptr && thread_choice.Generation == engine_generation.load()) {
    return *thread_choice.Session;
  }
  TDataSession* first = FirstEngineSession();
  if (first == nullptr) RaiseEngineError(VUZODE_NOTINITIALIZED);
  return *first;
}

void SetCurrentEngineSession(TDataSession* session) {
  thread_choice.Session = session;
  thread_choice.Generation = engine_generation.load();
}
