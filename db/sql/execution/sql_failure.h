// SqlFail: the raise of every SQL error of the execution layer (VUZODE_SQLPARSE with the
// message as detail). Engine errors of cursors pass through unchanged and never come here.
#pragma once

#include <string_view>

#include "db/engine/errors/engine_error.h"

[[noreturn]] inline void SqlFail(std::string_view message) {
  RaiseEngineError(VUZODE_SQLPARSE, {}, {}, {}, {}, {}, {}, message);
}
