// Test helper: the engine code an action raises, 0 when it raises nothing.
#pragma once

#include <cstdint>

#include "db/engine/errors/engine_error.h"

template <class Action>
uint16_t EngineCodeOf(Action&& action) {
  try {
    action();
  } catch (const EVUZODEEngineError& error) {
    return error.EngineCode();
  }
  return 0;
}
