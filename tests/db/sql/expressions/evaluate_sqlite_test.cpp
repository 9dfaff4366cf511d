// Evaluate against SQLite as an independent oracle: random constant expressions over integers,
// floats and strings are parsed, type-checked and evaluated here, rewritten into SQLite's
// dialect and selected there, and the two values must agree.
//
// The rewrites, each for a place where the two dialects spell or define the same thing
// differently:
//   - a / b              -> CAST(a AS REAL) / (b): our "/" of integers gives a float.
//   - a + b (texts)      -> ifnull(a, '') || ifnull(b, ''): a NULL text concatenates as the
//                           empty one here, and makes the result NULL there.
//   - LENGTH(s)          -> NULLIF(length(s), 0): an empty text is our NULL string.
//   - SUBSTRING(s FROM i FOR n) -> substr(s, max(i, 1), max(n, 0)): we count a start below 1
//                           as 1 and a negative length as 0.
//   - POS(a IN s)        -> instr(s, a); TRIM(LEADING/TRAILING/BOTH c FROM s) -> ltrim/rtrim/trim
//                           (s, c); REPLACE(a WITH b IN s) -> replace(s, a, b);
//                           ROUND(x TO n) -> round(x, n); CAST(x AS FLOAT) -> CAST(x AS REAL);
//                           CAST(i AS CHAR(n)) -> CAST(i AS TEXT).
//   - s LIKE p           -> (s <> '' AND s GLOB p'), p' with % as * and _ as ?: SQLite's LIKE
//                           ignores case and its '' is a text, ours is NULL and matches nothing.
//   - IF(c THEN a ELSE b) -> CASE WHEN (c) IS NULL THEN NULL WHEN c THEN a ELSE b END: where
//                           SQLite's condition is unknown ours is decided (below).
// Values: SQLite's empty text counts as NULL (our empty string is the NULL string); booleans
// as 0/1; floats agree within a relative 1e-9.
//
// Left out, because the dialects legitimately differ there:
//   - NULL in conditions: "=" of two NULLs is true here and unknown there, and our NULL
//     condition is false. So when SQLite answers NULL for an expression with a comparison,
//     AND, OR, NOT or IF in it, the case is skipped (Kleene logic: whenever SQLite's answer is
//     known, our choice for the unknown parts cannot change it, so those cases are compared).
//   - Integer overflow: ours is NULL past 32 bits, SQLite widens to 64; the generator keeps
//     integer values within 32 bits by bounding every product and cast.
//   - Empty search and replacement strings, text-to-number casts, float-to-text casts (their
//     formats differ) and texts longer than a string value holds are not generated.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "db/engine/errors/engine_error_codes.h"
#include "db/sql/expressions/evaluate.h"
#include "db/sql/expressions/expression_parser.h"
#include "db/sql/expressions/type_check.h"
#include "db/sql/expressions/value_conversion.h"
#include "db/storage/data/field_types.h"

namespace {

struct TExpr {
  std::string Ours, Theirs;
  char Kind;      // 'i' integer, 'f' float, 's' text, 'b' boolean
  double MaxAbs;  // bound of the magnitude of a number
};

class TGenerator {
 public:
  explicit TGenerator(unsigned seed) : random_(seed) {}

  TExpr Any(int depth) {
    switch (Below(4)) {
      case 0:
        return Integer(depth);
      case 1:
        return Float(depth);
      case 2:
        return Text(depth);
      default:
        return Boolean(depth);
    }
  }

  TExpr Integer(int depth) {
    if (depth == 0 || Below(4) == 0) {
      const int value = static_cast<int>(Below(100));
      return {std::to_string(value), std::to_string(value), 'i', static_cast<double>(value)};
    }
    switch (Below(9)) {
      case 0:
      case 1: {
        const TExpr a = Integer(depth - 1), b = Integer(depth - 1);
        const char* op = Below(2) ? "+" : "-";
        if (a.MaxAbs + b.MaxAbs > 2e9) return a;
        return Binary(a, b, op, op, 'i', a.MaxAbs + b.MaxAbs);
      }
      case 2: {
        const TExpr a = Integer(depth - 1), b = Integer(depth - 1);
        if (a.MaxAbs * b.MaxAbs > 1e9) return a;
        return Binary(a, b, "*", "*", 'i', a.MaxAbs * b.MaxAbs);
      }
      case 3: {
        const TExpr a = Integer(depth - 1);
        return {"-(" + a.Ours + ")", "-(" + a.Theirs + ")", 'i', a.MaxAbs};
      }
      case 4: {
        const TExpr a = Integer(depth - 1);
        return {"ABS(" + a.Ours + ")", "abs(" + a.Theirs + ")", 'i', a.MaxAbs};
      }
      case 5: {
        const TExpr s = Text(depth - 1);
        return {"LENGTH(" + s.Ours + ")", "NULLIF(length(" + s.Theirs + "), 0)", 'i', 300};
      }
      case 6: {
        const std::string search = Literal(1 + Below(2));
        const TExpr s = Text(depth - 1);
        return {"POS(" + search + " IN " + s.Ours + ")", "instr(" + s.Theirs + ", " + search + ")",
                'i', 300};
      }
      case 7: {
        const TExpr f = Float(depth - 1);
        if (f.MaxAbs > 1e9) return Integer(depth - 1);
        return {"CAST(" + f.Ours + " AS INTEGER)", "CAST(" + f.Theirs + " AS INTEGER)", 'i',
                f.MaxAbs};
      }
      default: {
        const TExpr c = Boolean(depth - 1), a = Integer(depth - 1), b = Integer(depth - 1);
        return If(c, a, b, 'i', std::max(a.MaxAbs, b.MaxAbs));
      }
    }
  }

  TExpr Float(int depth) {
    TExpr e = FloatOrInteger(depth);
    if (e.Kind == 'f') return e;
    return {"CAST(" + e.Ours + " AS FLOAT)", "CAST(" + e.Theirs + " AS REAL)", 'f', e.MaxAbs};
  }

  // A float, or an integer where both operands of + - * came out integers.
  TExpr FloatOrInteger(int depth) {
    if (depth == 0 || Below(4) == 0) {
      static const char* kFloats[] = {"0.5", "1.25", "2.5", "12.75", "0.125", "3.0", "100.5"};
      const std::string text = kFloats[Below(7)];
      return {text, text, 'f', std::atof(text.c_str())};
    }
    switch (Below(7)) {
      case 0:
      case 1: {
        const TExpr a = Number(depth - 1), b = Number(depth - 1);
        const char* op = Below(2) ? "+" : "-";
        return Binary(a, b, op, op, 'f', a.MaxAbs + b.MaxAbs, a.Kind != 'f' && b.Kind != 'f');
      }
      case 2: {
        const TExpr a = Number(depth - 1), b = Number(depth - 1);
        return Binary(a, b, "*", "*", 'f', a.MaxAbs * b.MaxAbs, a.Kind != 'f' && b.Kind != 'f');
      }
      case 3: {
        // Also integer / integer, which is a float here; the divisor may be 0 (NULL in both).
        const TExpr a = Number(depth - 1), b = Number(depth - 1);
        return {"(" + a.Ours + ") / (" + b.Ours + ")",
                "CAST(" + a.Theirs + " AS REAL) / (" + b.Theirs + ")", 'f', 1e12};
      }
      case 4: {
        const TExpr a = Float(depth - 1);
        const std::string places = std::to_string(Below(3));
        return {"ROUND(" + a.Ours + " TO " + places + ")",
                "round(" + a.Theirs + ", " + places + ")", 'f', a.MaxAbs + 1};
      }
      case 5: {
        const TExpr a = Integer(depth - 1);
        return {"CAST(" + a.Ours + " AS FLOAT)", "CAST(" + a.Theirs + " AS REAL)", 'f', a.MaxAbs};
      }
      default: {
        const TExpr a = Float(depth - 1);
        return {"ABS(" + a.Ours + ")", "abs(" + a.Theirs + ")", 'f', a.MaxAbs};
      }
    }
  }

  TExpr Text(int depth) {
    if (depth == 0 || Below(4) == 0) {
      const std::string text = Literal(1 + Below(3));
      return {text, text, 's', 0};
    }
    switch (Below(8)) {
      case 0:
      case 1: {
        const TExpr a = Text(depth - 1), b = Text(depth - 1);
        return {"(" + a.Ours + ") + (" + b.Ours + ")",
                "ifnull(" + a.Theirs + ", '') || ifnull(" + b.Theirs + ", '')", 's', 0};
      }
      case 2: {
        const TExpr a = Text(depth - 1);
        const bool upper = Below(2);
        return {std::string(upper ? "UPPER(" : "LOWER(") + a.Ours + ")",
                std::string(upper ? "upper(" : "lower(") + a.Theirs + ")", 's', 0};
      }
      case 3: {
        const TExpr s = Text(depth - 1), from = Integer(depth - 1);
        if (Below(2))
          return {"SUBSTRING(" + s.Ours + " FROM " + from.Ours + ")",
                  "substr(" + s.Theirs + ", max(" + from.Theirs + ", 1))", 's', 0};
        const TExpr count = Integer(depth - 1);
        return {
            "SUBSTRING(" + s.Ours + " FROM " + from.Ours + " FOR " + count.Ours + ")",
            "substr(" + s.Theirs + ", max(" + from.Theirs + ", 1), max(" + count.Theirs + ", 0))",
            's', 0};
      }
      case 4: {
        const TExpr s = Text(depth - 1);
        const std::string c = Literal(1);
        static const char* kOurs[] = {"LEADING", "TRAILING", "BOTH"};
        static const char* kTheirs[] = {"ltrim", "rtrim", "trim"};
        const unsigned how = Below(3);
        return {"TRIM(" + std::string(kOurs[how]) + " " + c + " FROM " + s.Ours + ")",
                std::string(kTheirs[how]) + "(" + s.Theirs + ", " + c + ")", 's', 0};
      }
      case 5: {
        // The replacement is never longer than the search, so texts never outgrow their size.
        const std::string search = Literal(1 + Below(2));
        const std::string with = Literal(1 + Below(static_cast<unsigned>(search.size() - 2)));
        const TExpr s = Text(depth - 1);
        return {"REPLACE(" + search + " WITH " + with + " IN " + s.Ours + ")",
                "replace(" + s.Theirs + ", " + search + ", " + with + ")", 's', 0};
      }
      case 6: {
        const TExpr a = Integer(depth - 1);
        return {"CAST(" + a.Ours + " AS CHAR(20))", "CAST(" + a.Theirs + " AS TEXT)", 's', 0};
      }
      default: {
        const TExpr c = Boolean(depth - 1), a = Text(depth - 1), b = Text(depth - 1);
        return If(c, a, b, 's', 0);
      }
    }
  }

  TExpr Boolean(int depth) {
    static const char* kOps[] = {"=", "<>", "<", ">", "<=", ">="};
    if (depth == 0) return {"1 < 2", "1 < 2", 'b', 1};
    switch (Below(7)) {
      case 0:
      case 1: {
        const TExpr a = Number(depth - 1), b = Number(depth - 1);
        const char* op = kOps[Below(6)];
        return Binary(a, b, op, op, 'b', 1);
      }
      case 2: {
        const TExpr a = Text(depth - 1), b = Text(depth - 1);
        const char* op = kOps[Below(6)];
        return Binary(a, b, op, op, 'b', 1);
      }
      case 3: {
        const TExpr a = Boolean(depth - 1), b = Boolean(depth - 1);
        const char* op = Below(2) ? "AND" : "OR";
        return Binary(a, b, op, op, 'b', 1);
      }
      case 4: {
        const TExpr a = Boolean(depth - 1);
        return {"NOT (" + a.Ours + ")", "NOT (" + a.Theirs + ")", 'b', 1};
      }
      default: {
        const TExpr s = Text(depth - 1);
        std::string pattern = Literal(0);
        std::string glob;
        for (unsigned n = 1 + Below(3); n > 0; --n) {
          switch (Below(4)) {
            case 0:
              pattern += '%', glob += '*';
              break;
            case 1:
              pattern += '_', glob += '?';
              break;
            default: {
              const char c = Letter();
              pattern += c, glob += c;
            }
          }
        }
        const bool negated = Below(2);
        const std::string match =
            "((" + s.Theirs + ") <> '' AND (" + s.Theirs + ") GLOB '" + glob + "')";
        return {"(" + s.Ours + ")" + (negated ? " NOT LIKE '" : " LIKE '") + pattern + "'",
                negated ? "NOT " + match : match, 'b', 1};
      }
    }
  }

 private:
  unsigned Below(unsigned n) { return n == 0 ? 0 : static_cast<unsigned>(random_() % n); }
  char Letter() {
    static const char kLetters[] = "aAbBc";
    return kLetters[Below(5)];
  }
  // A quoted text of length letters (0: the bare empty prefix of a pattern).
  std::string Literal(unsigned length) {
    if (length == 0) return "";
    std::string text = "'";
    for (unsigned i = 0; i < length; ++i) text += Letter();
    return text + "'";
  }
  TExpr Number(int depth) { return Below(2) ? Integer(depth) : Float(depth); }
  static TExpr Binary(const TExpr& a, const TExpr& b, const char* ours, const char* theirs,
                      char kind, double maxAbs, bool integerOperands = false) {
    // Integer operands under a float node: the node is then an integer one, as the types say.
    const char resultKind = integerOperands ? 'i' : kind;
    return {"(" + a.Ours + ") " + ours + " (" + b.Ours + ")",
            "(" + a.Theirs + ") " + theirs + " (" + b.Theirs + ")", resultKind, maxAbs};
  }
  static TExpr If(const TExpr& c, const TExpr& a, const TExpr& b, char kind, double maxAbs) {
    return {"IF(" + c.Ours + " THEN " + a.Ours + " ELSE " + b.Ours + ")",
            "CASE WHEN (" + c.Theirs + ") IS NULL THEN NULL WHEN " + c.Theirs + " THEN " +
                a.Theirs + " ELSE " + b.Theirs + " END",
            kind, maxAbs};
  }

  std::mt19937 random_;
};

// A value of either side, normalised: NULL, a number (integer or float) or a text.
struct TResult {
  enum TKind { kNull, kInteger, kFloat, kText } Kind = kNull;
  int64_t Integer = 0;
  double Float = 0;
  std::string Text;
};

std::string Describe(const TResult& r) {
  switch (r.Kind) {
    case TResult::kNull:
      return "NULL";
    case TResult::kInteger:
      return std::to_string(r.Integer);
    case TResult::kFloat: {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.17g", r.Float);
      return buffer;
    }
    default:
      return "'" + r.Text + "'";
  }
}

TResult Ours(const TExpToken& value) {
  TResult r;
  if (value.IsNull || value.ValueType == 0) return r;
  switch (value.ValueType) {
    case kFieldFloat:
      r.Kind = TResult::kFloat;
      r.Float = value.FloatValue();
      break;
    case kFieldString:
      r.Text = std::string(value.StringValue());
      if (!r.Text.empty()) r.Kind = TResult::kText;
      break;
    default:
      r.Kind = TResult::kInteger;
      r.Integer = IntegerOf(value);
  }
  return r;
}

TResult Theirs(sqlite3_stmt* statement) {
  TResult r;
  switch (sqlite3_column_type(statement, 0)) {
    case SQLITE_INTEGER:
      r.Kind = TResult::kInteger;
      r.Integer = sqlite3_column_int64(statement, 0);
      break;
    case SQLITE_FLOAT:
      r.Kind = TResult::kFloat;
      r.Float = sqlite3_column_double(statement, 0);
      break;
    case SQLITE_TEXT:
      r.Text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
      if (!r.Text.empty()) r.Kind = TResult::kText;  // '' is our NULL string
      break;
    default:
      break;
  }
  return r;
}

bool Agree(const TResult& a, const TResult& b) {
  if (a.Kind == TResult::kNull || b.Kind == TResult::kNull) return a.Kind == b.Kind;
  if (a.Kind == TResult::kText || b.Kind == TResult::kText)
    return a.Kind == b.Kind && a.Text == b.Text;
  if (a.Kind == TResult::kInteger && b.Kind == TResult::kInteger) return a.Integer == b.Integer;
  const double x = a.Kind == TResult::kFloat ? a.Float : static_cast<double>(a.Integer);
  const double y = b.Kind == TResult::kFloat ? b.Float : static_cast<double>(b.Integer);
  return std::fabs(x - y) <= 1e-9 * std::max({1.0, std::fabs(x), std::fabs(y)});
}

// Texts stay texts: they name no column.
class TNoColumns : public TColumnResolver {
 public:
  bool ResolveColumn(TExpToken&) override { return false; }
};

TExpToken* Checked(const std::string& text) {
  TExpressionParser parser;
  TExpToken* tree = parser.ParseFilter(text);
  TNoColumns none;
  TTypeCheckOptions options;
  options.ErrorCode = VUZODE_SQLPARSE;
  options.Resolver = &none;
  try {
    CheckTypes(options, nullptr, tree);
  } catch (...) {
    ReleaseExpTree(GlobalExpTokenStack(), tree);
    throw;
  }
  return tree;
}

bool HasCondition(const std::string& text) {
  for (const char* word : {"=", "<", ">", " AND ", " OR ", "NOT ", "IF(", "LIKE"})
    if (text.find(word) != std::string::npos) return true;
  return false;
}

TEST(EvaluateAgainstSqlite, RandomConstantExpressionsAgree) {
  const char* seedText = std::getenv("PEBRIO_TEST_SEED");
  const unsigned seed =
      seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10)) : 2024;
  std::printf("EvaluateAgainstSqlite seed %u\n", seed);
  TGenerator generator(seed);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  int compared = 0, skipped = 0;
  constexpr int kExpressions = 4000;
  for (int n = 0; n < kExpressions; ++n) {
    const TExpr e = generator.Any(1 + n % 4);
    TResult ours;
    try {
      TExpToken* tree = Checked(e.Ours);
      TExpToken* value = Evaluate(*tree, nullptr, nullptr, 0, 0);
      ours = Ours(*value);
      GlobalExpTokenStack().Return(value);
      ReleaseExpTree(GlobalExpTokenStack(), tree);
    } catch (const std::exception& error) {
      ADD_FAILURE() << "seed " << seed << ": " << e.Ours << " raised " << error.what();
      continue;
    }
    sqlite3_stmt* statement = nullptr;
    const std::string sql = "SELECT " + e.Theirs;
    ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr), SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(db);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW) << sql;
    const TResult theirs = Theirs(statement);
    sqlite3_finalize(statement);
    if (theirs.Kind == TResult::kNull && ours.Kind != TResult::kNull && HasCondition(e.Ours)) {
      ++skipped;  // unknown in three-valued logic, decided in ours
      continue;
    }
    ++compared;
    EXPECT_TRUE(Agree(ours, theirs))
        << "seed " << seed << "\n  ours:   " << e.Ours << " = " << Describe(ours)
        << "\n  sqlite: " << sql << " = " << Describe(theirs);
  }
  sqlite3_close(db);
  std::printf("compared %d, skipped %d\n", compared, skipped);
  EXPECT_GT(compared, kExpressions * 9 / 10);
}

}  // namespace
