// A scripted window with the real description and wiring, in a program
// folder of its own inside the test's private folder.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/ControlNames.h"
#include "app/Handlers.h"
#include "app/MainWindow.h"
#include "host/ScriptedHost.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"

namespace flowtest {

using testsupport::Bytes;

// A path written with '/' in the system's spelling: the tests write paths
// one way, the program must spell them the system's way. ('/' is never part
// of a two-byte character, so the swap is byte for byte.)
inline std::string Native(std::string path) {
  std::replace(path.begin(), path.end(), '/', platform::kPathSeparator);
  return path;
}

// Code-page paths as the disk spells them.
inline std::string OnDisk(const std::string& path) {
  std::string utf8;
  return platform::CodePageToUtf8(path.c_str(), utf8) ? utf8 : path;
}
inline bool Exists(const std::string& path) { return testsupport::FileExistsOnDisk(OnDisk(path)); }
inline Bytes Read(const std::string& path) { return testsupport::ReadBytes(OnDisk(path)); }
inline bool Write(const std::string& path, const Bytes& bytes) { return testsupport::WriteBytes(OnDisk(path), bytes); }

// A small picture in a hand-made 24-bit BMP: readable by the engine whatever
// the name it is given.
inline Bytes SmallBmp(int width = 7, int height = 5, std::uint32_t seed = 3) {
  return testsupport::MakeBmp(width, height, testsupport::PatternRgb(width, height, seed));
}

class FlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = testsupport::MakeTempSubdir("program");
    files_ = testsupport::MakeTempSubdir("files");
    host_ = std::make_unique<host::ScriptedHost>(program_);
    app::CreateAppState();
    app::BindHandlers(*host_);
    ASSERT_TRUE(host_->CreateStartWindow(app::MainWindowDescription()));
    seen_ = host_->Messages().size();  // the start-up notice
  }

  void TearDown() override {
    EXPECT_TRUE(host_->WaitForWorkers());
    host_.reset();
    app::ReleaseAppState();
  }

  host::ScriptedHost& Host() { return *host_; }
  // Paths under the program directory ("/tmp/...") and in a folder of files.
  std::string Program(const std::string& tail) const { return program_ + Native(tail); }
  std::string File(const std::string& name) const { return testsupport::Join(files_, name); }
  std::string MakeFile(const std::string& name, const Bytes& bytes) {
    const std::string path = File(name);
    EXPECT_TRUE(Write(path, bytes)) << path;
    return path;
  }

  // The user types into the path box.
  void Type(const std::string& text) {
    host_->SetTextSilently(app::names::kPathBox, text);
    host_->Fire(app::names::kPathBox, host::Event::TextChanged);
  }
  void Click(const char* control) { ASSERT_TRUE(host_->Fire(control, host::Event::Click)) << control; }
  void ClickAndWait(const char* control) {
    Click(control);
    ASSERT_TRUE(host_->WaitForWorkers());
  }
  std::string Text(const char* control) { return host_->GetText(control); }

  // Messages shown since the last call.
  std::vector<host::ScriptedHost::Message> NewMessages() {
    const std::vector<host::ScriptedHost::Message> all = host_->Messages();
    std::vector<host::ScriptedHost::Message> fresh(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
    seen_ = all.size();
    return fresh;
  }
  // Exactly one new message, with its text and caption.
  void ExpectOneMessage(const std::string& text, const std::string& caption = "提示") {
    const auto fresh = NewMessages();
    ASSERT_EQ(fresh.size(), 1u);
    EXPECT_EQ(fresh[0].text, text);
    EXPECT_EQ(fresh[0].caption, caption);
    EXPECT_EQ(fresh[0].flags, 0);
  }
  void ExpectNoMessage() { EXPECT_TRUE(NewMessages().empty()); }

  std::vector<bool> ConvertButtonsDisabled() {
    std::vector<bool> disabled;
    for (const char* button : app::names::kConvertButtons) disabled.push_back(host_->IsDisabled(button));
    return disabled;
  }

  std::string program_;
  std::string files_;
  std::unique_ptr<host::ScriptedHost> host_;
  std::size_t seen_ = 0;
};

}  // namespace flowtest
