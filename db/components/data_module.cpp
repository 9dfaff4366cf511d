// The data module holds no components yet; its life span already matches the program's.
#include "db/components/data_module.h"

namespace pebrio {

TDataModule1::TDataModule1() = default;
TDataModule1::~TDataModule1() = default;

}  // namespace pebrio
