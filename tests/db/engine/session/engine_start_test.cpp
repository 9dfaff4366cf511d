// Tests of the engine's start and stop and of the current engine session of each thread. Every
// test begins and ends with the engine stopped.
#include <gtest/gtest.h>

#include <thread>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/engine/session/engine.h"
#include "db/storage/files/file_list.h"
#include "tests/db/engine/support/table_support.h"

namespace {

// The code CurrentEngineSession raises, 0 when it answers.
uint16_t CurrentSessionCode() {
  try {
    CurrentEngineSession();
  } catch (const EVUZODEEngineError& e) {
    EXPECT_EQ(e.ContextDatabase(), "");
    EXPECT_EQ(e.ContextTable(), "");
    return e.EngineCode();
  }
  return 0;
}

TEST(Engine, CurrentSessionNeedsAStartedEngine) {
  EXPECT_EQ(CurrentSessionCode(), VUZODE_NOTINITIALIZED);
  StopEngine();  // not started: nothing
  StartEngine();
  TDataSession* first = FirstEngineSession();
  ASSERT_NE(first, nullptr);
  StartEngine();  // started: nothing, the same first session
  EXPECT_EQ(FirstEngineSession(), first);
  EXPECT_EQ(&CurrentEngineSession(), first);

  // A thread's choice is its own; the others keep the first session.
  TDataSession own;
  TDataSession* seenByOther = nullptr;
  std::thread other([&] {
    SetCurrentEngineSession(&own);
    seenByOther = &CurrentEngineSession();
  });
  other.join();
  EXPECT_EQ(seenByOther, &own);
  EXPECT_EQ(&CurrentEngineSession(), first);
  SetCurrentEngineSession(&own);
  EXPECT_EQ(&CurrentEngineSession(), &own);
  SetCurrentEngineSession(nullptr);
  EXPECT_EQ(&CurrentEngineSession(), first);

  // A choice made in one run of the engine does not survive into the next.
  SetCurrentEngineSession(&own);
  StopEngine();
  EXPECT_EQ(CurrentSessionCode(), VUZODE_NOTINITIALIZED);
  EXPECT_EQ(FirstEngineSession(), nullptr);
  StartEngine();
  EXPECT_EQ(&CurrentEngineSession(), FirstEngineSession());
  StopEngine();
  EXPECT_FALSE(EngineStarted());
}

TEST(Engine, StopFromAnotherThreadFreesTheFirstSession) {
  engine_test::TScratchFolder folder;
  const size_t baseline = FileList().Count();
  StartEngine();
  {
    TDataSession maker;
    TDataCursor cursor(maker.OpenDirectory("data", folder.Path()));
    cursor.SetTableName("PEOPLE");
    cursor.SetExclusive(true);
    cursor.CreateTable(engine_test::PeopleDefinition(), false);
  }
  // The first session, current on this thread, holds the table open.
  TDataDirectory& directory = CurrentEngineSession().OpenDirectory("data", folder.Path());
  int result = 0;
  ASSERT_NE(directory.OpenTable("PEOPLE", {}, result), nullptr);
  EXPECT_EQ(FileList().Count(), baseline + 2);

  std::thread stopper([] { StopEngine(); });
  stopper.join();
  EXPECT_EQ(FileList().Count(), baseline);
  EXPECT_EQ(CurrentSessionCode(), VUZODE_NOTINITIALIZED);
}

}  // namespace
