// TDataModule1: the game's data module, created at start-up before the main window and freed
// at shutdown. It will hold the query "select * from kazu" against the database "data"; the
// game never opens it.
#pragma once

namespace pebrio {

class TDataModule1 {
 public:
  TDataModule1();
  ~TDataModule1();
  TDataModule1(const TDataModule1&) = delete;
  TDataModule1& operator=(const TDataModule1&) = delete;
};

}  // namespace pebrio
