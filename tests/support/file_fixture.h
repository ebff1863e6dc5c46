// A test fixture for engine files on disk: a fresh folder, an engine whose file
// services can fail on request, and the check that no descriptor is left open.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/data_engine.h"
#include "engine/files/engine_file.h"
#include "engine/files/file_registry.h"
#include "tests/support/faulty_file_services.h"
#include "tests/support/temp_folder.h"

namespace zarnik::testing {

class EngineFileTest : public ::testing::Test {
 protected:
  TempFolder folder;
  TDataEngine engine;
  FaultyFileServices services;

  void SetUp() override { engine.SetFileServices(&services); }
  void TearDown() override {
    engine.DiskFiles().Clear();
    EXPECT_EQ(services.OpenDescriptors(), 0);
  }

  // An engine file for a file of the folder, not yet open.
  std::unique_ptr<TEngineFile> MakeFile(const std::string& name, bool exclusive = false) {
    auto file = std::make_unique<TEngineFile>(engine);
    file->SetFileName(folder.File(name));
    file->exclusive = exclusive;
    return file;
  }
  void WriteDisk(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(folder.File(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  void WriteDisk(const std::string& name, const std::string& text) {
    WriteDisk(name, std::vector<uint8_t>(text.begin(), text.end()));
  }
  std::vector<uint8_t> ReadDisk(const std::string& name) {
    std::ifstream in(folder.File(name), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }
};

}  // namespace zarnik::testing
