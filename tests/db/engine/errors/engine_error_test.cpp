// Tests of the engine error code table, the error context and EVUZODEEngineError.
#include "db/engine/errors/engine_error.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/socket_error.h"
#include "platform/os/os_error.h"

namespace {

// Raises code with every context item set to a distinct text and returns the exception.
EVUZODEEngineError RaiseWithAllItems(uint16_t code) {
  try {
    RaiseEngineError(code, "srv", "usr", "db", "tbl", "fld", "idx", "det");
  } catch (const EVUZODEEngineError& error) {
    return error;
  }
  ADD_FAILURE() << "RaiseEngineError returned";
  return EVUZODEEngineError(code);
}

template <typename Raise>
EVUZODEEngineError Catch(Raise raise) {
  try {
    raise();
  } catch (const EVUZODEEngineError& error) {
    return error;
  }
  ADD_FAILURE() << "no EVUZODEEngineError raised";
  return EVUZODEEngineError(VUZODE_NONE);
}

TEST(EngineErrorTable, HasTheClosedSetSortedWithMatchingPlaceholders) {
  const auto table = EngineErrorTable();
  ASSERT_EQ(table.size(), 92u);
  std::set<std::string_view> names;
  for (const TEngineErrorEntry& entry : table) {
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(entry.name.substr(0, 7), "VUZODE_");
    EXPECT_TRUE(names.insert(entry.name).second) << "duplicate name";
    size_t placeholders = 0;
    for (size_t pos = entry.message_template.find('%'); pos != std::string_view::npos;
         pos = entry.message_template.find('%', pos + 1)) {
      ASSERT_LT(pos + 1, entry.message_template.size());
      EXPECT_EQ(entry.message_template[pos + 1], 's');
      ++placeholders;
    }
    EXPECT_EQ(placeholders, entry.item_count);
    EXPECT_EQ(FindEngineErrorEntry(entry.code), &entry);
    EXPECT_EQ(EngineErrorName(entry.code), entry.name);
  }
}

TEST(EngineErrorTable, NamesAndValuesAgree) {
  const struct {
    uint16_t code;
    std::string_view name;
  } cases[] = {
      {0, "VUZODE_NONE"},
      {0x2201, "VUZODE_BOF"},
      {0x2305, "VUZODE_INDEXCORRUPT"},
      {0x2601, "VUZODE_KEYVIOL"},
      {0x272F, "VUZODE_TABLEOPEN"},
      {0x2812, "VUZODE_RECLOCKFAILED"},
      {0x2A06, "VUZODE_NOTINITIALIZED"},
      {11047, "VUZODE_OSUNKNOWN"},
      {0x2C14, "VUZODE_REMOTECALLBACK"},
      {0x2EAD, "VUZODE_SQLPARSE"},
      {0x3004, "VUZODE_SEARCHCOLREQD"},
      {15878, "VUZODE_CANNOTLOADLDDRV"},
  };
  for (const auto& c : cases) EXPECT_EQ(EngineErrorName(c.code), c.name) << c.code;
  EXPECT_EQ(VUZODE_KEYVIOL, 9729);
  EXPECT_EQ(VUZODE_EOF, 8706);
  for (uint16_t absent : {1, 8704, 8707, 11048, 65535}) {
    EXPECT_EQ(EngineErrorName(absent), "") << absent;
    EXPECT_EQ(FindEngineErrorEntry(absent), nullptr) << absent;
  }
}

TEST(EngineErrorText, FillsEachTemplateWithItsItemsInPlaceholderOrder) {
  const struct {
    uint16_t code;
    const char* text;
  } cases[] = {
      {VUZODE_BOF, "Beginning of table 'tbl' unexpectedly encountered"},
      {VUZODE_KEYVIOL, "Duplicate key found in the index 'idx' of the table 'tbl'"},
      {VUZODE_MINVALERR,
       "The value for the field 'fld' in the table 'tbl' is below the minimum allowable value"},
      {VUZODE_INVALIDIDXDESC,
       "Invalid field number 'fld' specified in the index 'idx' for the table 'tbl'"},
      {VUZODE_SEARCHCOLREQD,
       "Invalid field 'fld' specified for the index 'idx' in the table 'tbl'"},
      {VUZODE_INVALIDFILTER, "Filter error for the table 'tbl' - det"},
      {VUZODE_REMOTEUNKNOWN,
       "An unknown error ('det') occurred with the connection to the database server at 'srv', "
       "please check the server log"},
      {VUZODE_REMOTENOTAUTH,
       "The user 'usr' is not authorized to perform this operation with the database 'db' on the "
       "database server at 'srv'"},
      {VUZODE_REMOTENODBUSER,
       "The database user 'usr' does not exist for the database 'db' on the database server at "
       "'srv'"},
      {VUZODE_REMOTENODB, "The database 'db' does not exist on the database server at 'srv'"},
      {VUZODE_REMOTEINVUSER, "The user name is either invalid or blank"},
      {VUZODE_NOTINITIALIZED, "The database engine is not initialized"},
      {VUZODE_OSENOMEM,
       "There is insufficient operating system memory available for the current operation"},
      {VUZODE_EXPORTERROR, "An error occurred during the export from the table 'tbl' - det"},
      {VUZODE_SQLPARSE, "SQL error - det"},
      {VUZODE_UNCOMPRESS, "Error uncompressing data"},
      {VUZODE_CANNOTLOADLDDRV,
       "The language driver for the table 'tbl' is not available or installed"},
      {VUZODE_NONE, "An unknown error occurred"},
      {VUZODE_REMOTECALLBACK, "An unknown error occurred"},
      {1234, "An unknown error occurred"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    const EVUZODEEngineError error = RaiseWithAllItems(c.code);
    EXPECT_EQ(EngineErrorText(c.code), c.text);
    EXPECT_EQ(error.Message(), "VUZODE Engine Error # " + std::to_string(c.code) + " " + c.text);
    EXPECT_STREQ(error.what(), error.Message().c_str());
    EXPECT_EQ(error.EngineCode(), c.code);
    EXPECT_EQ(LastEngineErrorCode(), c.code);
  }
}

TEST(EngineError, OsUnknownShowsTheErrnoOfTheFailedCallFirst) {
  platform::SetLastSocketError(10054);
  const EVUZODEEngineError error = Catch([] {
    errno = EPIPE;  // 32, as left by a failed write
    RaiseEngineError(VUZODE_OSUNKNOWN, {}, {}, {}, "kazu");
  });
  EXPECT_EQ(error.OsErrorNumber(), 32);
  EXPECT_EQ(error.SocketErrorNumber(), 10054);
  EXPECT_EQ(error.Message(),
            "VUZODE Engine Error # 11047 An unknown operating system error 32 occurred with the "
            "table 'kazu'");
  EXPECT_EQ(EngineErrorItem(kErrorItemOsError), "32");
  EXPECT_EQ(EngineErrorItem(kErrorItemSocketError), "10054");
  platform::SetLastSocketError(0);
}

TEST(EngineError, CapturesTheErrorOfARealFailedCallAndNegativeNumbers) {
  EVUZODEEngineError error = Catch([] {
    const int fd = open("/nonexistent-dir-of-engine-error-test/x", O_RDONLY);
    ASSERT_EQ(fd, -1);
    RaiseEngineError(VUZODE_OSENOENT, {}, {}, {}, "x");
  });
  EXPECT_EQ(error.OsErrorNumber(), ENOENT);
  EXPECT_EQ(platform::LastOsError(), ENOENT);

  platform::SetLastSocketError(-7);
  platform::SetLastOsError(-3);
  error = Catch([] { RaiseEngineError(VUZODE_OSUNKNOWN, {}, {}, {}, "t"); });
  EXPECT_EQ(error.SocketErrorNumber(), -7);
  EXPECT_EQ(EngineErrorItem(kErrorItemSocketError), "-7");
  EXPECT_EQ(EngineErrorText(VUZODE_OSUNKNOWN),
            "An unknown operating system error -3 occurred with the table 't'");
  platform::SetLastSocketError(0);
}

TEST(EngineError, ItemsAreKeptWholeUpTo255BytesAndCutBeyond) {
  const std::string exact(255, 'a');
  EVUZODEEngineError error =
      Catch([&] { RaiseEngineError(VUZODE_BOF, exact, exact, exact, exact, exact, exact, exact); });
  for (int item = 0; item <= kErrorItemDetail; ++item) EXPECT_EQ(EngineErrorItem(item), exact);

  const std::string long_text(300, 'b');
  error =
      Catch([&] { RaiseEngineError(VUZODE_SQLPARSE, {}, {}, {}, long_text, {}, {}, long_text); });
  EXPECT_EQ(error.ContextTable(), std::string(255, 'b'));
  EXPECT_EQ(error.ContextDetail(), std::string(255, 'b'));
  EXPECT_EQ(EngineErrorItem(kErrorItemTable), std::string(255, 'b'));

  // "SQL error - " plus 255 bytes is cut to 254.
  const std::string text = EngineErrorText(VUZODE_SQLPARSE);
  EXPECT_EQ(text, "SQL error - " + std::string(254 - 12, 'b'));
  EXPECT_EQ(error.Message(), "VUZODE Engine Error # 11949 " + text);
}

TEST(EngineError, CutsNeverSplitAUtf8Character) {
  // 254 ASCII bytes then a two-byte character: 256 bytes, the character straddles byte 255.
  const std::string table = std::string(254, 'c') + "\xC3\xA9";
  const EVUZODEEngineError error =
      Catch([&] { RaiseEngineError(VUZODE_SQLPARSE, {}, {}, {}, table, {}, {}, "\xE3\x83\x9A"); });
  EXPECT_EQ(error.ContextTable(), std::string(254, 'c'));
  EXPECT_EQ(error.ContextDetail(), "\xE3\x83\x9A");  // ペ, short enough to stay whole

  // The text "SQL error - " (12 bytes) + 241 bytes + a three-byte character = 256 bytes.
  const std::string detail = std::string(241, 'd') + "\xE3\x83\x9A";
  Catch([&] { RaiseEngineError(VUZODE_SQLPARSE, {}, {}, {}, {}, {}, {}, detail); });
  EXPECT_EQ(EngineErrorText(VUZODE_SQLPARSE), "SQL error - " + std::string(241, 'd'));
}

TEST(EngineError, ASecondRaiseReplacesEveryItemOfTheFirst) {
  RaiseWithAllItems(VUZODE_INVALIDIDXDESC);
  platform::SetLastSocketError(0);
  const EVUZODEEngineError error = Catch([] {
    errno = 0;
    RaiseEngineError(VUZODE_MINVALERR, {}, {}, {}, "kazu");
  });
  EXPECT_EQ(
      error.Message(),
      "VUZODE Engine Error # 9730 The value for the field '' in the table 'kazu' is below the "
      "minimum allowable value");
  EXPECT_EQ(error.ContextServer(), "");
  EXPECT_EQ(error.ContextUser(), "");
  EXPECT_EQ(error.ContextDatabase(), "");
  EXPECT_EQ(error.ContextField(), "");
  EXPECT_EQ(error.ContextIndex(), "");
  EXPECT_EQ(error.ContextDetail(), "");
  for (int item : {0, 1, 2, 4, 5, 6}) EXPECT_EQ(EngineErrorItem(item), "") << item;
  EXPECT_EQ(EngineErrorItem(kErrorItemOsError), "0");
}

TEST(EngineError, BuiltFromACodeTakesTheItemsOfTheLastRaise) {
  Catch([] { RaiseEngineError(VUZODE_KEYVIOL, "s", "u", "d", "kazu", "f", "i", "x"); });
  // As the component layer does with a code returned by a cursor operation.
  const EVUZODEEngineError error(VUZODE_RECNOTFOUND);
  EXPECT_EQ(error.Message(), "VUZODE Engine Error # 8710 Record not found in the table 'kazu'");
  EXPECT_EQ(error.ContextIndex(), "i");
  EXPECT_EQ(error.ContextServer(), "s");
  EXPECT_EQ(LastEngineErrorCode(), VUZODE_KEYVIOL) << "building an exception records nothing";

  const EVUZODEEngineError none(VUZODE_NONE);
  EXPECT_EQ(none.Message(), "VUZODE Engine Error # 0 An unknown error occurred");
  EXPECT_EQ(none.HelpContext(), 0);
}

TEST(EngineErrorItem, OutOfRangeNumbersGiveEmptyText) {
  RaiseWithAllItems(VUZODE_BOF);
  EXPECT_EQ(EngineErrorItem(-1), "");
  EXPECT_EQ(EngineErrorItem(9), "");
  EXPECT_EQ(EngineErrorItem(kErrorItemServer), "srv");
  EXPECT_EQ(EngineErrorItem(kErrorItemDetail), "det");
}

TEST(ErrorCodeOf, GivesTheEngineCodeOrOsUnknownForForeignExceptions) {
  const EVUZODEEngineError engine = RaiseWithAllItems(VUZODE_TABLEOPEN);
  const std::exception& as_std = engine;
  EXPECT_EQ(ErrorCodeOf(as_std), VUZODE_TABLEOPEN);
  EXPECT_EQ(ErrorCodeOf(std::bad_alloc()), VUZODE_OSUNKNOWN);
  EXPECT_EQ(ErrorCodeOf(platform::EDatabaseError("Table is busy")), VUZODE_OSUNKNOWN);

  EXPECT_EQ(ErrorCodeOf(std::make_exception_ptr(engine)), VUZODE_TABLEOPEN);
  EXPECT_EQ(ErrorCodeOf(std::make_exception_ptr(std::bad_alloc())), VUZODE_OSUNKNOWN);
  EXPECT_EQ(ErrorCodeOf(std::make_exception_ptr(42)), VUZODE_OSUNKNOWN);
  EXPECT_EQ(ErrorCodeOf(std::exception_ptr()), VUZODE_OSUNKNOWN);

  try {
    RaiseEngineError(VUZODE_LOCKED);
  } catch (const platform::EDatabaseError& error) {  // the components catch the base
    EXPECT_EQ(ErrorCodeOf(error), VUZODE_LOCKED);
  }
}

TEST(ErrorContextLock, IsReentrantSoRaisingWhileHoldingItWorks) {
  std::lock_guard<platform::TCriticalSection> guard(ErrorContextLock());
  const EVUZODEEngineError error = Catch([] { RaiseEngineError(VUZODE_EOF, {}, {}, {}, "t"); });
  EXPECT_EQ(LastEngineErrorCode(), VUZODE_EOF);
  EXPECT_EQ(error.ContextTable(), "t");
}

// Several threads raise at once, each with its own code, texts and errno; a reader checks under
// the lock that it never sees the items of two raises mixed.
TEST(EngineError, ContextStaysConsistentUnderConcurrentRaisers) {
  constexpr int kThreads = 8;
  constexpr int kRaises = 2000;
  const uint16_t codes[kThreads] = {
      VUZODE_BOF,    VUZODE_KEYVIOL,   VUZODE_MINVALERR,     VUZODE_INVALIDIDXDESC,
      VUZODE_LOCKED, VUZODE_OSUNKNOWN, VUZODE_INVALIDFILTER, VUZODE_SQLPARSE};
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};

  std::thread reader([&] {
    while (!stop.load()) {
      std::lock_guard<platform::TCriticalSection> guard(ErrorContextLock());
      const std::string table = EngineErrorItem(kErrorItemTable);
      if (table.empty()) continue;
      const std::string tag = table.substr(1);
      const int thread = std::stoi(tag.substr(0, tag.find('-')));
      if (EngineErrorItem(kErrorItemField) != "f" + tag ||
          EngineErrorItem(kErrorItemDetail) != "d" + tag ||
          LastEngineErrorCode() != codes[thread] ||
          EngineErrorItem(kErrorItemOsError) != std::to_string(1000 + thread)) {
        failures.fetch_add(1);
      }
    }
  });

  std::vector<std::thread> raisers;
  for (int thread = 0; thread < kThreads; ++thread) {
    raisers.emplace_back([&, thread] {
      for (int i = 0; i < kRaises; ++i) {
        const std::string tag = std::to_string(thread) + "-" + std::to_string(i);
        const std::string table = "t" + tag;
        const std::string field = "f" + tag;
        const std::string detail = "d" + tag;
        try {
          errno = 1000 + thread;
          RaiseEngineError(codes[thread], "s", "u", "db", table, field, "i", detail);
        } catch (const EVUZODEEngineError& error) {
          if (error.EngineCode() != codes[thread] || error.ContextTable() != table ||
              error.ContextField() != field || error.ContextDetail() != detail ||
              error.OsErrorNumber() != 1000 + thread ||
              error.Message().find(codes[thread] == VUZODE_SQLPARSE ? detail : table) ==
                  std::string::npos) {
            failures.fetch_add(1);
          }
        }
      }
    });
  }
  for (std::thread& raiser : raisers) raiser.join();
  stop.store(true);
  reader.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
