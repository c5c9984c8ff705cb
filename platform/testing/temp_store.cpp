// Creates the temporary directory and points the settings store at a file inside it.
#include "platform/testing/temp_store.h"

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>

#include "platform/registry.h"

namespace platform::testing {

TempStore::TempStore() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "wayfarer-test-XXXXXX").string();
  char* made = mkdtemp(tmpl.data());
  dir_ = made ? made : tmpl;
  path_ = dir_ + "/registry.db";
  UseStore(path_);
}

TempStore::~TempStore() {
  UseStore(dir_ + "/closed.db");
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

}  // namespace platform::testing
