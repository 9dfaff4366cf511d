// The engine as a whole: start and stop, and the current engine session of each thread.
//
// The process-wide pools the engine uses (expression tokens, record bitmaps, collation maps,
// the open-file list) are created on first use and live as long as the process, so starting
// the engine only marks it started and creates its first session, and stopping it frees that
// session. The error context lock and the locale list likewise exist from first use.
//
// Invariants:
//   (1) EngineStarted() is true exactly between a StartEngine and the next StopEngine.
//   (2) The first session belongs to the engine: StopEngine frees it, whichever thread stops
//       the engine, and no thread sees it as current afterwards (each thread's choice is
//       stamped with the engine's generation, which StopEngine advances).
//   (3) A thread that never chose a session uses the first session, so one-threaded callers
//       need not choose; a server gives each of its threads its own session.
#pragma once

class TDataSession;

// Starts the engine once per process; later calls do nothing until StopEngine.
void StartEngine();
// Frees the first session and marks the engine stopped; nothing when not started.
void StopEngine();
bool EngineStarted();

// The calling thread's current session: the one it chose, else the engine's first session.
// Raises VUZODE_NOTINITIALIZED when the engine is not started.
TDataSession& CurrentEngineSession();
// Makes session the calling thread's current session (null: back to the first session).
// REQUIRES: the engine is started and session outlives its use as current.
void SetCurrentEngineSession(TDataSession* session);
// The session StartEngine created; null when not started.
TDataSession* FirstEngineSession();
