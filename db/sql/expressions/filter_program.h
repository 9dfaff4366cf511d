// TFilterProgram: a boolean tree (a prepared filter, a WHERE condition) compiled once for
// testing record after record. AND, OR and NOT become jumps over the compiled terms; a
// comparison of integer-valued or text operands (columns the environment locates in the
// record image, constants, LENGTH of a text column), of floats with numbers (float and
// integer columns, numeric constants) and a string match compare in place on
// the record image with constants decoded at compile time, without value nodes, copies or
// calls through the environment. Every other term is handed to a TExpEvaluator as it stands.
//
// Invariants:
//   (1) Holds(record) answers exactly what TExpEvaluator::Holds(root, record) answers with the
//       same environment, sort and language: the compiled terms follow the NULL rules, the
//       integer and text orderings and the right-first AND and OR of the evaluator. Kept by
//       Compile, which compiles a term only when its operand types are ones the in-place
//       comparison covers, and by the randomized comparison in filter_program_test.
//   (2) Testing a record allocates nothing once the fallback evaluator is warm.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "db/sql/expressions/evaluate.h"
#include "db/sql/expressions/exp_token.h"
#include "db/sql/expressions/exp_token_stack.h"

class TFilterProgram {
 public:
  // Compiles the checked (or prepared) boolean tree root. root and env must outlive the
  // program, and the tree must not change while the program is in use.
  TFilterProgram(const TExpToken& root, TEvalEnvironment* env, uint16_t sortId = 0,
                 uint16_t languageId = 0, TExpTokenStack& pool = GlobalExpTokenStack());
  TFilterProgram(const TFilterProgram&) = delete;
  TFilterProgram& operator=(const TFilterProgram&) = delete;

  // Whether the tree holds for record (a NULL result counts as false).
  bool Holds(const uint8_t* record) { return Run(0, record); }

  // The number of terms compiled to in-place comparisons (for tests and diagnostics).
  size_t CompiledTerms() const { return compiled_terms_; }

 private:
  // A value a compiled comparison reads: integer-valued (integer kinds, boolean, date, time,
  // LENGTH) or text.
  struct TOperand {
    enum TKind : uint8_t {
      kConstant,       // Integer or Text with Null, decoded at compile time
      kIntegerColumn,  // value of field type Type at Offset + 1
      kTextColumn,     // text at Offset + 1, at most MaxLength bytes
      kLengthOfText,   // LENGTH of the text column at Offset
      kFloatColumn     // double at Offset + 1
    };
    TKind Kind = kConstant;
    uint8_t Type = 0;  // field type of the value read (integer-valued operands)
    bool Null = false;
    size_t Offset = 0;
    size_t MaxLength = 0;
    int64_t Integer = 0;
    double Float = 0;  // a constant of a float comparison
    std::string_view Text;
  };
  struct TStep {
    enum TKind : uint8_t {
      kTree,
      kAnd,
      kOr,
      kNot,
      kIntegerCompare,
      kFloatCompare,
      kTextCompare,
      kTextMatch
    };
    TKind Kind = kTree;
    uint8_t Op = 0;
    bool NoCase = false;
    bool WantEqual = true;
    size_t PartialLength = 0;
    uint32_t Left = 0, Right = 0;  // steps of the operands of AND, OR, NOT
    TOperand A, B;
    const TExpToken* Node = nullptr;  // kTree
  };

  uint32_t Compile(const TExpToken& node);
  bool CompileComparison(const TExpToken& node, TStep& step);
  bool CompileStringMatch(const TExpToken& node, TStep& step);
  bool IntegerOperand(const TExpToken& node, TOperand& operand);
  bool TextOperand(const TExpToken& node, TOperand& operand);
  bool FloatOperand(const TExpToken& node, TOperand& operand);
  // The value and NULL flag of an integer-valued operand in record.
  struct TRead {
    int64_t Value;
    bool Null;
  };
  static TRead ReadInteger(const uint8_t* record, const TOperand& operand);
  bool Run(uint32_t index, const uint8_t* record);
  bool RunIntegerCompare(const TStep& step, const uint8_t* record) const;
  bool RunFloatCompare(const TStep& step, const uint8_t* record) const;
  bool RunTextCompare(const TStep& step, const uint8_t* record) const;
  bool RunTextMatch(const TStep& step, const uint8_t* record) const;

  TEvalEnvironment* env_;
  uint16_t sort_id_;
  uint16_t language_id_;
  TExpEvaluator evaluator_;
  std::vector<TStep> steps_;
  size_t compiled_terms_ = 0;
};
