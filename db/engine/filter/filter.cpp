// TFilter (see filter.h) and the bitmap pool of the views.
#include "db/engine/filter/filter.h"

#include "db/sql/bitmaps/records_bitmap_stack.h"
#include "db/sql/expressions/exp_token_stack.h"
#include "db/sql/expressions/filter_program.h"

TFilter::TFilter() : Bitmap(ViewBitmapPool().Take()) {}

TFilter::~TFilter() {
  ForgetPrograms();
  ReleaseExpression();
  ViewBitmapPool().Return(Bitmap);
}

TFilterProgram& TFilter::ProgramFor(const TExpToken& node, TEvalEnvironment* env, uint16_t sortId,
                                    uint16_t languageId) {
  // Record after record asks for the same program: answered without a lookup.
  if (last_node_ == &node && programs_env_ == env) return *last_program_;
  if (programs_env_ != env) ForgetPrograms();
  programs_env_ = env;
  std::unique_ptr<TFilterProgram>& program = programs_[&node];
  if (!program) program = std::make_unique<TFilterProgram>(node, env, sortId, languageId);
  last_node_ = &node;
  last_program_ = program.get();
  return *program;
}

void TFilter::ForgetPrograms() {
  programs_.clear();
  programs_env_ = nullptr;
  last_node_ = nullptr;
  last_program_ = nullptr;
}

void TFilter::ReleaseExpression() {
  ForgetPrograms();
  if (OwnsExpression && Expression != nullptr) ReleaseExpTree(GlobalExpTokenStack(), Expression);
  Expression = nullptr;
}

TRecordsBitmapStack& ViewBitmapPool() {
  // Lives as long as the process: cursors closed at exit still give their bitmaps back.
  static TRecordsBitmapStack* pool = new TRecordsBitmapStack();
  return *pool;
}
