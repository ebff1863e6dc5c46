// A test fixture for sessions and database directories: a fresh folder, an
// engine with short lock waits so that refused locks fail fast and with file
// services that can fail on request, and one session of it.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "engine/core/data_directory.h"
#include "engine/core/data_engine.h"
#include "engine/core/data_session.h"
#include "tests/support/faulty_file_services.h"
#include "tests/support/temp_folder.h"

namespace zarnik::testing {

class SessionTest : public ::testing::Test {
 protected:
  TempFolder folder;
  // Declared before the engine, which uses them to its end.
  FaultyFileServices services;
  TDataEngine engine;
  TDataSession* session = nullptr;

  void SetUp() override {
    engine.SetFileServices(&services);
    for (uint16_t* wait : {&engine.Settings.TableReadLockWaitTime, &engine.Settings.TableWriteLockWaitTime,
                           &engine.Settings.TableTransLockWaitTime})
      *wait = 1;
    for (uint16_t* retries :
         {&engine.Settings.TableReadLockRetryCount, &engine.Settings.TableWriteLockRetryCount,
          &engine.Settings.TableTransLockRetryCount})
      *retries = 2;
    engine.StartEngine("zarnik.lck");
    session = &NewSession();
  }

  // Another session of the engine, with short record lock waits.
  TDataSession& NewSession() {
    TDataSession& made = engine.CreateSession();
    made.SetLockWaitTime(1);
    made.SetLockRetryCount(2);
    return made;
  }
  TDataDirectory& Open(TDataSession& in, const std::string& folderName = {}) {
    return in.OpenDirectory("DB", folderName.empty() ? folder.Path() : folderName, false, false);
  }
  void Touch(const std::string& name, const std::string& contents = "x") {
    std::ofstream(folder.File(name), std::ios::binary) << contents;
  }
};

}  // namespace zarnik::testing
