// The batch page against the scripted window: folder browsing, the three
// targets with their patterns and names, progress and status line, the
// default folder, and runs that overlap or meet the exit.
#include <atomic>
#include <mutex>
#include <set>

#include "app/BatchFlow.h"
#include "engine/commands/ConversionResult.h"
#include "tests/app/FlowTestSupport.h"

namespace {

using flowtest::Exists;
using flowtest::FlowTest;
using flowtest::SmallBmp;
namespace names = app::names;

class BatchTest : public FlowTest {
 protected:
  // a.jpg, b.png, c.bmp, all BMP inside: the engine goes by content, so
  // every one of them converts whichever writers this build has.
  void MakeSources(const std::vector<std::string>& names = {"a.jpg", "b.png", "c.bmp"}) {
    source_ = testsupport::MakeTempSubdir("src");
    for (const std::string& name : names) ASSERT_TRUE(flowtest::Write(testsupport::Join(source_, name), SmallBmp()));
    target_ = testsupport::MakeTempSubdir("out");
    Host().SetTextSilently(names::kSourceFolderBox, source_);
    Host().SetTextSilently(names::kTargetFolderBox, target_);
  }
  std::string source_;
  std::string target_;
};

// The page's sequence after every file is that of a one-by-one run; the tests
// that watch it fix the batch to one worker.
class OneByOne {
 public:
  OneByOne() { app::SetBatchWorkersForTesting(1); }
  ~OneByOne() { app::SetBatchWorkersForTesting(0); }
};

std::string Status(int i, int ok, int failed, int total) {
  return "【正在处理第" + std::to_string(i) + "个图片】【成功" + std::to_string(ok) + "个】【失败" +
         std::to_string(failed) + "个】【共有" + std::to_string(total) + "个图片】";
}

TEST_F(BatchTest, EachTargetLeavesOutItsOwnFormat) {
  struct Case {
    const char* button;
    std::vector<std::string> names;  // in the order they are processed
    std::string extension;
  };
  const Case cases[] = {
      {names::kBatchBmp, {"a.jpg", "b.png"}, ".bmp"},
      {names::kBatchPng, {"a.jpg", "c.bmp"}, ".png"},
      {names::kBatchJpg, {"c.bmp", "b.png"}, ".jpg"},  // the BMP pattern first
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    MakeSources();
    ClickAndWait(c.button);
    const app::AppState::BatchLists lists = app::State().Batch();
    EXPECT_EQ(lists.names, c.names);
    ASSERT_EQ(lists.paths.size(), c.names.size());
    for (std::size_t i = 0; i < c.names.size(); ++i) EXPECT_EQ(lists.paths[i], testsupport::Join(source_, c.names[i]));
    const std::string last = testsupport::Join(target_, c.names.back() + c.extension);
    EXPECT_EQ(Text(names::kSaveBox), last);
    EXPECT_EQ(Host().GetIntProperty(names::kProgress, host::Property::Maximum), 2);
    EXPECT_EQ(Host().GetIntProperty(names::kProgress, host::Property::Position), 2);
    const std::string status = Text(names::kStatusLine);
    // Whatever this build's writers manage, the counts add up to N.
    bool matched = false;
    for (int ok = 0; ok <= 2; ++ok) matched = matched || status == Status(2, ok, 2 - ok, 2);
    EXPECT_TRUE(matched) << status;
    if (c.extension == ".bmp") {
      EXPECT_EQ(status, Status(2, 2, 0, 2));
      for (const std::string& name : c.names) EXPECT_TRUE(Exists(testsupport::Join(target_, name + ".bmp"))) << name;
    }
    const auto fresh = NewMessages();
    ASSERT_EQ(fresh.size(), 1u);
    EXPECT_EQ(fresh[0].text, "图片处理完毕!");
    EXPECT_FALSE(fresh[0].captionGiven);
    EXPECT_EQ(fresh[0].caption, "信息：");
    EXPECT_FALSE(Host().IsDisabled(c.button));
  }
}

TEST_F(BatchTest, StatusLineAndProgressFollowEveryFile) {
  const OneByOne sequential;
  MakeSources({"1.jpg", "2.jpg", "3.jpeg", "4.png", "bad.png"});
  ASSERT_TRUE(flowtest::Write(source_ + flowtest::Native("/bad.png"), {'n', 'o', 'p', 'e'}));
  // The save box is written once per file; watch the page at that moment.
  std::vector<std::string> statuses;
  std::vector<bool> disabled;
  Host().Bind(names::kSaveBox, host::Event::TextChanged, [&](const host::Text&) {
    statuses.push_back(Host().GetText(names::kStatusLine));
    disabled.push_back(Host().IsDisabled(names::kBatchBmp));
  });
  const std::string before = Text(names::kStatusLine);
  EXPECT_EQ(before, Status(0, 0, 0, 0));
  ClickAndWait(names::kBatchBmp);
  // Seen before each file's status update: the previous file's line.
  const std::vector<std::string> expected = {before, Status(1, 1, 0, 5), Status(2, 2, 0, 5), Status(3, 3, 0, 5),
                                             Status(4, 4, 0, 5)};
  EXPECT_EQ(statuses, expected);
  EXPECT_EQ(disabled, std::vector<bool>(5, true));
  EXPECT_EQ(Text(names::kStatusLine), Status(5, 4, 1, 5));
  EXPECT_FALSE(Host().IsDisabled(names::kBatchBmp));
  EXPECT_EQ(Host().ProcessEventsCalls(), 5);
  EXPECT_EQ(Text(names::kSaveBox), target_ + flowtest::Native("/bad.png.bmp"));  // a failure still fills it
  EXPECT_FALSE(Exists(target_ + flowtest::Native("/bad.png.bmp")));
}

TEST_F(BatchTest, SingleJpgNumberingContinuesAfterABatchOfFive) {
  MakeSources({"1.png", "2.png", "3.png", "4.png", "5.png"});
  ClickAndWait(names::kBatchBmp);
  EXPECT_EQ(app::State().Count(app::SingleTarget::Jpg), 5);
  Type("/pics/cat.png");
  ClickAndWait(names::kConvertJpg);
  EXPECT_EQ(Text(names::kSaveBox), Program("/tmp/jpg图片/转-cat-6.jpg"));
}

TEST_F(BatchTest, EmptyTargetBoxBecomesTheDefaultFolder) {
  struct Case {
    const char* button;
    const char* message;
    const char* tail;
  };
  const Case cases[] = {
      {names::kBatchJpg, "设置默认文件夹为程序目录\\tmp\\批量jpg", "/tmp/批量jpg"},
      {names::kBatchBmp, "设置默认文件夹为程序目录\\tmp\\批量bmp", "/tmp/批量bmp"},
      {names::kBatchPng, "设置默认文件夹为程序目录\\tmp\\批量png", "/tmp/批量png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    MakeSources({"a.jpg", "b.png", "c.bmp"});
    Host().SetTextSilently(names::kTargetFolderBox, "");
    ClickAndWait(c.button);
    const auto fresh = NewMessages();
    ASSERT_EQ(fresh.size(), 2u);
    EXPECT_EQ(fresh[0].text, c.message);
    EXPECT_EQ(fresh[0].caption, "提示");
    EXPECT_EQ(fresh[1].text, "图片处理完毕!");
    EXPECT_EQ(Text(names::kTargetFolderBox), Program(c.tail));
    EXPECT_TRUE(Exists(Program(c.tail)));
  }
  EXPECT_TRUE(Exists(Program("/tmp/批量bmp/a.jpg.bmp")));
  EXPECT_TRUE(Exists(Program("/tmp/批量bmp/b.png.bmp")));
}

TEST_F(BatchTest, EmptySourceBoxOnlyAsks) {
  MakeSources();
  Host().SetTextSilently(names::kSourceFolderBox, "");
  ClickAndWait(names::kBatchPng);
  ExpectOneMessage("请选取源文件夹，再进行转换！");
  EXPECT_EQ(Host().GetIntProperty(names::kProgress, host::Property::Maximum), 0);
  EXPECT_EQ(Text(names::kSaveBox), "");
  EXPECT_FALSE(Host().IsDisabled(names::kBatchPng));
}

TEST_F(BatchTest, NoMatchingFileEndsAtOnce) {
  MakeSources({"only.bmp", "notes.txt"});
  ClickAndWait(names::kBatchBmp);
  ExpectOneMessage("图片处理完毕!", "信息：");
  EXPECT_EQ(Text(names::kStatusLine), Status(0, 0, 0, 0));
  EXPECT_EQ(Host().GetIntProperty(names::kProgress, host::Property::Maximum), 0);
  EXPECT_TRUE(app::State().Batch().paths.empty());
}

TEST_F(BatchTest, MissingTargetFolderCountsEveryFileFailed) {
  MakeSources({"a.jpg", "b.jpg", "c.jpeg"});
  Host().SetTextSilently(names::kTargetFolderBox, target_ + flowtest::Native("/not-there"));
  ClickAndWait(names::kBatchBmp);
  EXPECT_EQ(Text(names::kStatusLine), Status(3, 0, 3, 3));
  EXPECT_FALSE(Exists(target_ + flowtest::Native("/not-there")));
}

TEST_F(BatchTest, ASecondRunListsOnlyItsOwnFiles) {
  MakeSources({"a.jpg", "b.jpg", "c.jpg"});
  ClickAndWait(names::kBatchBmp);
  MakeSources({"z.png"});
  ClickAndWait(names::kBatchBmp);
  EXPECT_EQ(app::State().Batch().names, std::vector<std::string>{"z.png"});
  EXPECT_EQ(app::State().Batch().paths, std::vector<std::string>{source_ + flowtest::Native("/z.png")});
  EXPECT_EQ(Text(names::kStatusLine), Status(1, 1, 0, 1));
}

TEST_F(BatchTest, FoldersEndingInASeparatorGetNoSecondOne) {
  // As the folder browser answers for a drive's root: "C:\".
  MakeSources({"a.jpg"});
  Host().SetTextSilently(names::kSourceFolderBox, source_ + platform::kPathSeparator);
  Host().SetTextSilently(names::kTargetFolderBox, target_ + platform::kPathSeparator);
  ClickAndWait(names::kBatchBmp);
  EXPECT_EQ(app::State().Batch().paths, std::vector<std::string>{testsupport::Join(source_, "a.jpg")});
  EXPECT_EQ(Text(names::kSaveBox), testsupport::Join(target_, "a.jpg.bmp"));
  EXPECT_TRUE(Exists(testsupport::Join(target_, "a.jpg.bmp")));
}

TEST_F(BatchTest, UpperCaseNamesAreFoundAndAFileMatchedTwiceIsListedTwice) {
  MakeSources({"A.JPG", "b.Png"});
  ClickAndWait(names::kBatchBmp);
  EXPECT_EQ(app::State().Batch().names, (std::vector<std::string>{"A.JPG", "b.Png"}));
  EXPECT_TRUE(Exists(target_ + flowtest::Native("/A.JPG.bmp")));
}

TEST_F(BatchTest, ADoubleClickStartsOneRun) {
  MakeSources({"a.jpg", "b.jpg", "c.jpg"});
  // The second click lands while the first run is on its first file.
  std::atomic<int> clicks{0};
  Host().Bind(names::kSaveBox, host::Event::TextChanged, [&](const host::Text&) {
    if (clicks.fetch_add(1) == 0) {
      // Run inline, so it surely tries while this run is still going.
      Host().SetInlineThreads(true);
      Host().Fire(names::kBatchBmp, host::Event::Click);
      Host().SetInlineThreads(false);
      Host().Fire(names::kBatchPng, host::Event::Click);  // another target may run alongside
    }
  });
  ClickAndWait(names::kBatchBmp);
  int finished = 0;
  for (const auto& message : NewMessages()) finished += message.text == "图片处理完毕!" ? 1 : 0;
  EXPECT_EQ(finished, 2) << "one BMP run and one PNG run";
  EXPECT_EQ(app::State().Count(app::SingleTarget::Jpg), 6);
  EXPECT_FALSE(Host().IsDisabled(names::kBatchBmp));
  EXPECT_FALSE(Host().IsDisabled(names::kBatchPng));
}

TEST_F(BatchTest, FolderBrowseFillsTheBoxesAndKeepsThemOnCancel) {
  Host().QueueFolderAnswer("/data/in");
  ClickAndWait(names::kBrowseSource);
  Host().QueueFolderAnswer("/data/out");
  ClickAndWait(names::kBrowseTarget);
  EXPECT_EQ(Text(names::kSourceFolderBox), "/data/in");
  EXPECT_EQ(Text(names::kTargetFolderBox), "/data/out");
  EXPECT_EQ(app::State().LastBrowsedFolder(), "/data/out");
  ClickAndWait(names::kBrowseSource);  // cancelled
  EXPECT_EQ(Text(names::kSourceFolderBox), "/data/in");
  EXPECT_EQ(app::State().LastBrowsedFolder(), "");
  EXPECT_EQ(Host().FolderBrowseTitles(), std::vector<std::string>(3, "选择目标目录"));
  ExpectNoMessage();
}

TEST_F(BatchTest, ExitDuringARunStopsAfterTheCurrentFile) {
  const OneByOne sequential;
  MakeSources({"1.jpg", "2.jpg", "3.jpg", "4.jpg"});
  Host().RegisterExitRoutine("state", app::ReleaseAppState);
  int files = 0;
  Host().Bind(names::kSaveBox, host::Event::TextChanged, [&](const host::Text&) {
    if (++files == 2) Host().Fire(names::kExit, host::Event::Click);
  });
  ClickAndWait(names::kBatchBmp);
  EXPECT_EQ(files, 2);
  EXPECT_TRUE(Host().IsExiting());
  EXPECT_TRUE(NewMessages().empty()) << "no end message once the exit began";
  EXPECT_FALSE(Exists(target_ + flowtest::Native("/3.jpg.bmp")));
  EXPECT_EQ(Host().RunMessageLoop(), 0);
  EXPECT_TRUE(app::State().Batch().paths.empty()) << "released by the exit routine";
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
  // Nothing more starts.
  Click(names::kConvertBmp);
  Click(names::kBatchBmp);
  EXPECT_TRUE(Host().WaitForWorkers());
  EXPECT_TRUE(NewMessages().empty());
}

TEST_F(BatchTest, ParallelRunEndsAsAOneByOneRunWould) {
  std::vector<std::string> names;
  for (int i = 0; i < 20; ++i) names.push_back("p" + std::to_string(100 + i) + ".jpg");
  MakeSources(names);
  for (const char* bad : {"p103.jpg", "p110.jpg", "p119.jpg"}) {
    ASSERT_TRUE(flowtest::Write(testsupport::Join(source_, bad), {'n', 'o', 'p', 'e'}));
  }
  app::SetBatchWorkersForTesting(4);
  std::vector<std::string> statuses;
  std::mutex seen;
  // The save box is written once per finished file (and once more at the end).
  Host().Bind(names::kSaveBox, host::Event::TextChanged, [&](const host::Text&) {
    std::lock_guard lock(seen);
    statuses.push_back(Host().GetText(names::kStatusLine));
  });
  const int jpgBefore = app::State().Count(app::SingleTarget::Jpg);
  ClickAndWait(names::kBatchBmp);
  app::SetBatchWorkersForTesting(0);

  EXPECT_EQ(Host().GetIntProperty(names::kProgress, host::Property::Maximum), 20);
  EXPECT_EQ(Host().GetIntProperty(names::kProgress, host::Property::Position), 20);
  EXPECT_EQ(Text(names::kStatusLine), Status(20, 17, 3, 20));
  EXPECT_EQ(Text(names::kSaveBox), target_ + flowtest::Native("/p119.jpg.bmp"));  // the list's last entry, though it failed
  EXPECT_EQ(app::State().Count(app::SingleTarget::Jpg), jpgBefore + 20);
  const auto messages = NewMessages();
  ASSERT_EQ(messages.size(), 1u);
  // Named in list order, whichever worker finished first.
  EXPECT_EQ(messages[0].text,
            "图片处理完毕!\r\n以下文件转换失败：\r\np103.jpg：无法识别或解码\r\np110.jpg：无法识别或解码\r\n"
            "p119.jpg：无法识别或解码");
  EXPECT_FALSE(Host().IsDisabled(names::kBatchBmp));
  // During the run the line counts finished files, one step at a time.
  // (The last write, naming the list's last entry, happens only when another
  // file finished last.)
  ASSERT_TRUE(statuses.size() == 20u || statuses.size() == 21u) << statuses.size();
  for (int k = 0; k < static_cast<int>(statuses.size()); ++k) {
    const std::string& line = statuses[static_cast<std::size_t>(k)];
    EXPECT_EQ(line.rfind("【正在处理第" + std::to_string(k) + "个图片】", 0), 0u) << line;
  }
  // The files are those of a one-by-one run, byte for byte.
  const flowtest::Bytes expected = flowtest::Read(target_ + flowtest::Native("/p100.jpg.bmp"));
  for (const std::string& name : names) {
    const bool bad = name == "p103.jpg" || name == "p110.jpg" || name == "p119.jpg";
    EXPECT_EQ(Exists(testsupport::Join(target_, name + ".bmp")), !bad) << name;
    if (!bad) {
      EXPECT_EQ(flowtest::Read(testsupport::Join(target_, name + ".bmp")), expected) << name;
    }
  }
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
}

// --- Existing targets, Stop and the failures named ----------------------------

const char kQuestionOfTwo[] = "目标目录中已有2个同名文件。\r\n是：全部覆盖　否：跳过这些文件　取消：不转换";

TEST_F(BatchTest, ExistingTargetsAreAskedAboutOnceBeforeAnythingIsConverted) {
  const OneByOne sequential;
  const flowtest::Bytes old = {'o', 'l', 'd'};
  struct Case {
    std::optional<int> answer;  // none: the user presses Enter
    int converted;
    bool replaced;
    std::string end;  // empty: no end message
  };
  const Case cases[] = {
      {host::kAnswerYes, 3, true, "图片处理完毕!"},
      {host::kAnswerNo, 1, false, "图片处理完毕!\r\n已跳过2个同名文件。"},
      {std::nullopt, 1, false, "图片处理完毕!\r\n已跳过2个同名文件。"},
      {host::kAnswerCancel, 0, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer.value_or(-1));
    MakeSources({"a.jpg", "b.jpg", "c.jpg"});
    ASSERT_TRUE(flowtest::Write(target_ + flowtest::Native("/a.jpg.bmp"), old));
    ASSERT_TRUE(flowtest::Write(target_ + flowtest::Native("/c.jpg.bmp"), old));
    if (c.answer.has_value()) Host().QueueMessageAnswer(*c.answer);
    const int jpgBefore = app::State().Count(app::SingleTarget::Jpg);
    const std::string statusBefore = Text(names::kStatusLine);
    ClickAndWait(names::kBatchBmp);
    const auto fresh = NewMessages();
    ASSERT_EQ(fresh.size(), c.end.empty() ? 1u : 2u);
    EXPECT_EQ(fresh[0].text, kQuestionOfTwo);
    EXPECT_EQ(fresh[0].caption, "提示");
    EXPECT_EQ(fresh[0].flags, host::kButtonsYesNoCancel | host::kDefaultSecond);
    EXPECT_EQ(fresh[0].defaultAnswer, host::kAnswerNo);
    if (!c.end.empty()) {
      EXPECT_EQ(fresh[1].text, c.end);
    }
    EXPECT_EQ(Exists(target_ + flowtest::Native("/b.jpg.bmp")), c.converted > 0);
    for (const char* kept : {"/a.jpg.bmp", "/c.jpg.bmp"}) {
      EXPECT_EQ(flowtest::Read(target_ + flowtest::Native(kept)) == old, !c.replaced);
    }
    EXPECT_EQ(app::State().Count(app::SingleTarget::Jpg) - jpgBefore, c.converted) << "skipped files take no number";
    // A skipped file is neither converted nor failed: the run is of the rest.
    EXPECT_EQ(Text(names::kStatusLine), c.converted > 0 ? Status(c.converted, c.converted, 0, c.converted) : statusBefore);
    EXPECT_FALSE(Host().IsDisabled(names::kBatchBmp));
  }
}

TEST_F(BatchTest, StopLetsTheFilesInProgressFinishAndStartsNoNewOne) {
  constexpr int kFiles = 24;
  for (const int workers : {1, 4}) {
    SCOPED_TRACE(workers);
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i) names.push_back("s" + std::to_string(100 + i) + ".jpg");
    MakeSources(names);
    ASSERT_TRUE(flowtest::Write(source_ + flowtest::Native("/s100.jpg"), {'b', 'a', 'd'}));
    EXPECT_TRUE(Host().IsDisabled(names::kStop)) << "not usable before a run";
    std::atomic<int> finished{0};
    std::atomic<bool> stopUsable{false};
    // Pressed once the second file has finished.
    Host().Bind(names::kSaveBox, host::Event::TextChanged, [&](const host::Text&) {
      if (finished.fetch_add(1) == 1) {
        stopUsable = !Host().IsDisabled(names::kStop);
        Host().Fire(names::kStop, host::Event::Click);
      }
    });
    app::SetBatchWorkersForTesting(workers);
    ClickAndWait(names::kBatchBmp);
    app::SetBatchWorkersForTesting(0);
    Host().Bind(names::kSaveBox, host::Event::TextChanged, host::Handler());
    EXPECT_TRUE(stopUsable.load()) << "usable while the batch converts";

    // Files are handed out in list order: what was done is a prefix of it.
    int done = 0;
    auto output = [&](int i) { return testsupport::Join(target_, names[static_cast<std::size_t>(i)] + ".bmp"); };
    while (done < kFiles && (done == 0 || Exists(output(done)))) ++done;
    for (int i = done; i < kFiles; ++i) EXPECT_FALSE(Exists(output(i))) << i;
    EXPECT_GE(done, 2);
    EXPECT_LE(done, 1 + workers) << "only the files in progress at the press may finish";
    EXPECT_EQ(platform::FindEntries((target_ + flowtest::Native("/*")).c_str()).size(), static_cast<std::size_t>(done - 1))
        << "nothing but whole outputs is left";
    const auto fresh = NewMessages();
    ASSERT_EQ(fresh.size(), 1u);
    EXPECT_EQ(fresh[0].text, "已停止：成功" + std::to_string(done - 1) + "个，失败1个，未处理" +
                                 std::to_string(kFiles - done) + "个。\r\n以下文件转换失败：\r\ns100.jpg：无法识别或解码");
    EXPECT_EQ(Text(names::kStatusLine), Status(done, done - 1, 1, kFiles));
    EXPECT_EQ(Host().GetIntProperty(names::kProgress, host::Property::Position), done);
    EXPECT_EQ(Text(names::kSaveBox), output(done - 1));
    EXPECT_TRUE(Host().IsDisabled(names::kStop));
    EXPECT_FALSE(Host().IsDisabled(names::kBatchBmp));
  }
  // A press belongs to the runs of its moment: the next run goes to the end.
  MakeSources({"x.jpg", "y.jpg"});
  ClickAndWait(names::kBatchBmp);
  ExpectOneMessage("图片处理完毕!", "信息：");
  EXPECT_TRUE(Exists(target_ + flowtest::Native("/y.jpg.bmp")));
  EXPECT_TRUE(testsupport::ScratchFiles().empty());
}

TEST_F(BatchTest, FailuresAreNamedWithAPlainReasonUpToTen) {
  // Three: two that cannot be decoded, one that cannot be written (a folder
  // stands where its target goes, and counts as a target that exists).
  MakeSources({"a.jpg", "b.png", "c.jpg", "d.jpg"});
  ASSERT_TRUE(flowtest::Write(source_ + flowtest::Native("/b.png"), {'n', 'o'}));
  ASSERT_TRUE(flowtest::Write(source_ + flowtest::Native("/d.jpg"), {'n', 'o'}));
  ASSERT_TRUE(Host().MakeDirectory(target_ + flowtest::Native("/c.jpg.bmp")));
  Host().QueueMessageAnswer(host::kAnswerYes);
  ClickAndWait(names::kBatchBmp);
  auto fresh = NewMessages();
  ASSERT_EQ(fresh.size(), 2u);
  EXPECT_EQ(fresh[0].text, "目标目录中已有1个同名文件。\r\n是：全部覆盖　否：跳过这些文件　取消：不转换");
  EXPECT_EQ(fresh[1].text,
            "图片处理完毕!\r\n以下文件转换失败：\r\nc.jpg：无法写入目标文件\r\nd.jpg：无法识别或解码\r\n"
            "b.png：无法识别或解码");

  // Twelve, with four workers: the first ten in list order, then the total.
  std::vector<std::string> names = {"ok.jpg"};
  for (int i = 10; i < 22; ++i) names.push_back("f" + std::to_string(i) + ".png");
  MakeSources(names);
  for (std::size_t i = 1; i < names.size(); ++i) ASSERT_TRUE(flowtest::Write(testsupport::Join(source_, names[i]), {'x'}));
  app::SetBatchWorkersForTesting(4);
  ClickAndWait(names::kBatchBmp);
  app::SetBatchWorkersForTesting(0);
  std::string expected = "图片处理完毕!\r\n以下文件转换失败：";
  for (int i = 10; i < 20; ++i) expected += "\r\nf" + std::to_string(i) + ".png：无法识别或解码";
  expected += "\r\n……等共12个";
  ExpectOneMessage(expected, "信息：");
  EXPECT_EQ(Text(names::kStatusLine), Status(13, 1, 12, 13));
  // The codes no batch file here can give have reasons of their own too.
  const std::set<std::string> reasons = {app::FailureReason(engine::ResultFileMissing), app::FailureReason(engine::ResultUnreadable),
                                         app::FailureReason(engine::ResultWriteFailed), app::FailureReason(engine::ResultBadArguments),
                                         app::FailureReason(-99)};
  EXPECT_EQ(reasons.size(), 5u);
}

}  // namespace
