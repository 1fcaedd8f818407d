// The single-file page against the scripted window: choosing a source, the
// button states, the ten conversions and their names and messages.
#include <thread>

#include "app/SingleFileFlow.h"
#include "engine/commands/ConversionCommands.h"
#include "tests/app/FlowTestSupport.h"

namespace {

using flowtest::Exists;
using flowtest::FlowTest;
using flowtest::Read;
using flowtest::SmallBmp;
namespace names = app::names;

struct Row {
  const char* button;
  const char* folder;   // under the program directory
  const char* prefix;   // of the file name
  const char* extension;
  const char* success;
  std::vector<std::uint8_t> magic;
  int (*command)(const char* source, const char* target);  // the same call made directly
};

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {names::kConvertJpg, "/tmp/jpg图片", "转-", ".jpg", "JPG格式转换成功！", {0xFF, 0xD8},
       [](const char* s, const char* t) { return engine::ConvertToJpg(s, t, 0, 99, 1, 50); }},
      {names::kConvertBmp, "/tmp/bmp图片", "改-", ".bmp", "BMP格式转换成功！", {'B', 'M'},
       [](const char* s, const char* t) { return engine::ConvertToBmp(s, t); }},
      {names::kConvertTif, "/tmp/tif图片", "改-", ".tif", "TIF格式转换成功！", {},
       [](const char* s, const char* t) { return engine::ConvertToTif(s, t, 0); }},
      {names::kConvertPng, "/tmp/png图片", "改-", ".png", "PNG格式转换成功！", {0x89, 'P', 'N', 'G'},
       [](const char* s, const char* t) { return engine::ConvertToPng(s, t, 24); }},
      {names::kConvertPpm, "/tmp/ppm图片", "改-", ".ppm", "PPM格式转换成功！", {'P', '6'},
       [](const char* s, const char* t) { return engine::ConvertToPpm(s, t, 1); }},
      {names::kConvertPgm, "/tmp/pgm图片", "改-", ".pgm", "PGM格式转换成功！", {'P', '5'},
       [](const char* s, const char* t) { return engine::ConvertToPgm(s, t, 1); }},
      {names::kConvertPbm, "/tmp/pbm图片", "改-", ".pbm", "PBM格式转换成功！", {'P', '5'},
       [](const char* s, const char* t) { return engine::ConvertToPgm(s, t, 1); }},
      {names::kConvertPcx, "/tmp/pcx图片", "改-", ".pcx", "PCX格式转换成功！", {0x0A},
       [](const char* s, const char* t) { return engine::ConvertToPcx(s, t); }},
      {names::kConvertPic, "/tmp/pic图片", "改-", ".pic", "PIC格式转换成功！", {0x53, 0x80, 0xF6, 0x34},
       [](const char* s, const char* t) { return engine::ConvertToPic(s, t); }},
      {names::kConvertSgi, "/tmp/sgi图片", "改-", ".sgi", "SGI格式转换成功！", {0x01, 0xDA},
       [](const char* s, const char* t) { return engine::ConvertToSgi(s, t); }},
  };
  return rows;
}

bool StartsWith(const std::vector<std::uint8_t>& bytes, const std::vector<std::uint8_t>& magic) {
  return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin());
}

TEST_F(FlowTest, EveryTargetRowWritesItsFolderNameAndMessage) {
  const std::string source = MakeFile("cat.bmp", SmallBmp());
  Type(source);
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.button);
    ClickAndWait(row.button);
    const std::string expected = Program(std::string(row.folder) + "/" + row.prefix + "cat-1" + row.extension);
    EXPECT_EQ(Text(names::kSaveBox), expected);
    EXPECT_TRUE(Exists(Program(row.folder))) << "folder made";
    // The same call made directly succeeds, and so must the button's.
    const int direct = row.command(source.c_str(), File(std::string("direct") + row.extension).c_str());
    EXPECT_EQ(direct, 1);
    if (direct == 1) {
      ExpectOneMessage(row.success);
      const auto bytes = Read(expected);
      EXPECT_TRUE(StartsWith(bytes, row.magic)) << "wrong format written";
      if (std::string(row.extension) == ".tif") {
        EXPECT_TRUE(StartsWith(bytes, {'I', 'I', 42, 0}) || StartsWith(bytes, {'M', 'M', 0, 42}));
      }
    } else {
      ExpectOneMessage(app::ConversionFailureMessage(direct));
      EXPECT_NE(app::ConversionFailureMessage(direct), "转换失败！") << "result " << direct << " has a reason";
    }
  }
}

TEST_F(FlowTest, TheBmpOutputDecodesToTheSourcePixels) {
  const testsupport::Bytes rgb = testsupport::PatternRgb(9, 4, 11);
  Type(MakeFile("pattern.png", testsupport::MakeBmp(9, 4, rgb)));  // recognised by content
  ClickAndWait(names::kConvertBmp);
  ExpectOneMessage("BMP格式转换成功！");
  int width = 0;
  int height = 0;
  testsupport::Bytes decoded;
  if (!testsupport::DecodeWithImageMagick(flowtest::OnDisk(Text(names::kSaveBox)), width, height, decoded)) {
    GTEST_SKIP() << "ImageMagick is not available";
  }
  EXPECT_EQ(width, 9);
  EXPECT_EQ(height, 4);
  EXPECT_EQ(decoded, rgb);
}

TEST_F(FlowTest, HintTextStopsEveryButtonAndChangesNothing) {
  ASSERT_EQ(Text(names::kPathBox), "支持拖拽图像进程序");
  for (const Row& row : Rows()) {
    ClickAndWait(row.button);
    ExpectOneMessage("请选取文件后，再进行转换！");
    EXPECT_FALSE(Exists(Program(row.folder)));
  }
  EXPECT_EQ(Text(names::kSaveBox), "");
  for (int i = 0; i < app::kSingleTargetCount; ++i) {
    EXPECT_EQ(app::State().Count(static_cast<app::SingleTarget>(i)), 0);
  }
}

TEST_F(FlowTest, EmptyPathBoxFailsButStillFillsTheSaveBox) {
  Type("");
  ClickAndWait(names::kConvertBmp);
  EXPECT_EQ(Text(names::kSaveBox), Program("/tmp/bmp图片/改--1.bmp"));
  const auto fresh = NewMessages();
  ASSERT_EQ(fresh.size(), 1u);
  EXPECT_NE(fresh[0].text, "BMP格式转换成功！");
  EXPECT_EQ(fresh[0].text, app::ConversionFailureMessage(engine::ConvertToBmp("", File("x.bmp").c_str())));
  EXPECT_FALSE(Exists(Program("/tmp/bmp图片/改--1.bmp")));
}

TEST_F(FlowTest, FailureMessagesSayWhy) {
  // A regular file where the BMP folder should be: nothing can be written there.
  ASSERT_TRUE(flowtest::Write(Program("/tmp/bmp图片"), {'x'}));

  Type(File("missing.bmp"));
  ClickAndWait(names::kConvertTif);
  ExpectOneMessage("转换失败：源文件不存在！");

  Type(MakeFile("notes.bmp", {'h', 'e', 'l', 'l', 'o', '\n'}));
  ClickAndWait(names::kConvertTif);
  ExpectOneMessage("转换失败：无法识别或解码源图片！");

  Type(MakeFile("cat.jpg", SmallBmp()));
  ClickAndWait(names::kConvertBmp);
  ExpectOneMessage("转换失败：无法写入目标文件！");
  EXPECT_EQ(Text(names::kSaveBox), Program("/tmp/bmp图片/改-cat-1.bmp"));

  // The flows always pass valid arguments; the text for that code is still due.
  EXPECT_EQ(app::ConversionFailureMessage(engine::ResultBadArguments), "转换失败：参数错误！");
}

TEST_F(FlowTest, ExtensionDecidesWhichButtonIsDisabled) {
  struct Case {
    const char* path;
    int disabled;  // index of the only disabled button, -1: all ten
  };
  const Case cases[] = {
      {"/p/a.jpg", 0}, {"/p/a.JPG", 0}, {"/p/a.bmp", 1}, {"/p/a.BMP", 1}, {"/p/a.tif", 2}, {"/p/a.TIF", 2},
      {"/p/a.png", 3}, {"/p/a.PNG", 3}, {"/p/a.ppm", 4}, {"/p/a.PPM", 4}, {"/p/a.pgm", 5}, {"/p/a.PGM", 5},
      {"/p/a.pbm", 6}, {"/p/a.PBM", 6}, {"/p/a.pcx", 7}, {"/p/a.PCX", 7}, {"/p/a.pic", 8}, {"/p/a.PIC", 8},
      {"/p/a.sgi", 9}, {"/p/a.SGI", 9}, {"/p/a.Jpg", -1}, {"/p/a.jpeg", -1}, {"/p/a.tiff", -1},
      {"/p/a.Bmp", -1}, {"", -1},         {"pg", -1},
  };
  for (const Case& c : cases) {
    Type(c.path);
    std::vector<bool> expected(10, c.disabled < 0);
    if (c.disabled >= 0) expected[static_cast<std::size_t>(c.disabled)] = true;
    EXPECT_EQ(ConvertButtonsDisabled(), expected) << c.path;
  }
}

TEST_F(FlowTest, NameBoxAndBaseNameFollowThePath) {
  Type(flowtest::Native("/pics/holiday/猫咪照片.png"));
  EXPECT_EQ(Text(names::kNameBox), "猫咪照片.png");
  EXPECT_EQ(app::State().BaseName(), "猫咪照片");
  // A character whose second byte is '\' is no separator; a '/' typed on
  // Windows is one.
  Type(flowtest::Native("/pics/") + "\x95\x5C.png");
  EXPECT_EQ(Text(names::kNameBox), "\x95\x5C.png");
  Type("C:/pics/a/猫.png");
  EXPECT_EQ(Text(names::kNameBox), "猫.png");
  Type(flowtest::Native("/pics/folder/"));  // a trailing separator adds no empty piece
  EXPECT_EQ(Text(names::kNameBox), "folder");
  EXPECT_EQ(app::State().BaseName(), "fo");
  Type("");  // no piece: the name box keeps its text
  EXPECT_EQ(Text(names::kNameBox), "folder");
  EXPECT_EQ(app::State().BaseName(), "fo");
}

TEST_F(FlowTest, NameOfFourBytesOrFewerGivesAnEmptyBaseName) {
  Type(MakeFile("a.b", SmallBmp()));
  EXPECT_EQ(app::State().BaseName(), "");
  ClickAndWait(names::kConvertBmp);
  ExpectOneMessage("BMP格式转换成功！");
  EXPECT_EQ(Text(names::kSaveBox), Program("/tmp/bmp图片/改--1.bmp"));
  EXPECT_TRUE(Exists(Program("/tmp/bmp图片/改--1.bmp")));
  Type(MakeFile("abcd", SmallBmp()));
  EXPECT_EQ(app::State().BaseName(), "");
  Type(MakeFile("abcde", SmallBmp()));
  EXPECT_EQ(app::State().BaseName(), "a");
}

TEST_F(FlowTest, NumbersCountPerFormatAcrossConversions) {
  Type(MakeFile("cat.png", SmallBmp()));
  ClickAndWait(names::kConvertBmp);
  EXPECT_EQ(Text(names::kSaveBox), Program("/tmp/bmp图片/改-cat-1.bmp"));
  ClickAndWait(names::kConvertJpg);
  EXPECT_EQ(Text(names::kSaveBox), Program("/tmp/jpg图片/转-cat-1.jpg"));
  ClickAndWait(names::kConvertBmp);
  EXPECT_EQ(Text(names::kSaveBox), Program("/tmp/bmp图片/改-cat-2.bmp"));
  ClickAndWait(names::kConvertJpg);
  EXPECT_EQ(Text(names::kSaveBox), Program("/tmp/jpg图片/转-cat-2.jpg"));
  EXPECT_TRUE(Exists(Program("/tmp/bmp图片/改-cat-1.bmp")));
  EXPECT_TRUE(Exists(Program("/tmp/bmp图片/改-cat-2.bmp")));
}

TEST_F(FlowTest, QuickClicksNeverShareANumber) {
  Type(MakeFile("dog.bmp", SmallBmp(64, 48)));
  constexpr int kClicks = 8;
  for (int i = 0; i < kClicks; ++i) Click(names::kConvertPcx);
  for (int i = 0; i < kClicks; ++i) Click(names::kConvertBmp);
  ASSERT_TRUE(Host().WaitForWorkers());
  for (int n = 1; n <= kClicks; ++n) {
    const std::string path = Program("/tmp/bmp图片/改-dog-" + std::to_string(n) + ".bmp");
    EXPECT_TRUE(Exists(path)) << path;
    EXPECT_EQ(Read(path), Read(Program("/tmp/bmp图片/改-dog-1.bmp")));
  }
  EXPECT_FALSE(Exists(Program("/tmp/bmp图片/改-dog-" + std::to_string(kClicks + 1) + ".bmp")));
  EXPECT_EQ(app::State().Count(app::SingleTarget::Bmp), kClicks);
  EXPECT_EQ(app::State().Count(app::SingleTarget::Pcx), kClicks);
  EXPECT_EQ(NewMessages().size(), 2u * kClicks);
}

TEST_F(FlowTest, NumbersPassOverWhatAnEarlierRunLeftAndQuickClicksNeverShareOne) {
  // An earlier run's files as 2, 3 and 5, a folder as 9: none is replaced.
  const testsupport::Bytes mine = {'o', 'l', 'd'};
  ASSERT_TRUE(Host().MakeDirectory("tmp/bmp图片"));
  for (int n : {2, 3, 5}) ASSERT_TRUE(flowtest::Write(Program("/tmp/bmp图片/改-dog-" + std::to_string(n) + ".bmp"), mine));
  ASSERT_TRUE(Host().MakeDirectory("tmp/bmp图片/改-dog-9.bmp"));
  Type(MakeFile("dog.png", SmallBmp(64, 48)));
  constexpr int kClicks = 8;
  for (int i = 0; i < kClicks; ++i) Click(names::kConvertBmp);
  ASSERT_TRUE(Host().WaitForWorkers());
  const testsupport::Bytes converted = Read(Program("/tmp/bmp图片/改-dog-1.bmp"));
  ASSERT_FALSE(converted.empty());
  for (int n : {1, 4, 6, 7, 8, 10, 11, 12}) EXPECT_EQ(Read(Program("/tmp/bmp图片/改-dog-" + std::to_string(n) + ".bmp")), converted) << n;
  for (int n : {2, 3, 5}) EXPECT_EQ(Read(Program("/tmp/bmp图片/改-dog-" + std::to_string(n) + ".bmp")), mine) << n;
  EXPECT_FALSE(Exists(Program("/tmp/bmp图片/改-dog-13.bmp")));
  EXPECT_EQ(app::State().Count(app::SingleTarget::Bmp), 12) << "the counter stands at the last number taken";
  EXPECT_EQ(NewMessages().size(), static_cast<std::size_t>(kClicks));
}

TEST_F(FlowTest, BaseNameIsNeverStaleAfterManyChanges) {
  // Every change computes its name before the next one starts.
  for (int i = 0; i < 200; ++i) {
    Type(flowtest::Native("/x/name") + std::to_string(i) + ".bmp");
    ASSERT_EQ(app::State().BaseName(), "name" + std::to_string(i));
  }
}

TEST_F(FlowTest, DroppingOneFileFillsPathAndSaveBoxes) {
  const std::string path = MakeFile("drop.jpg", SmallBmp());
  ASSERT_TRUE(Host().Fire(names::kDrop, host::Event::FilesDropped, path));
  EXPECT_EQ(Text(names::kPathBox), path);
  EXPECT_EQ(Text(names::kSaveBox), path);
  EXPECT_EQ(Text(names::kNameBox), "drop.jpg");
  EXPECT_EQ(app::State().BaseName(), "drop");
  std::vector<bool> expected(10, false);
  expected[0] = true;
  EXPECT_EQ(ConvertButtonsDisabled(), expected);
  ClickAndWait(names::kSave);  // not converted since the drop
  ExpectOneMessage("您选取的文件未转化格式！请点击需要转化的格式！");
  ClickAndWait(names::kConvertBmp);
  ExpectOneMessage("BMP格式转换成功！");
  EXPECT_EQ(Text(names::kSaveBox), Program("/tmp/bmp图片/改-drop-1.bmp"));
}

TEST_F(FlowTest, DroppingSeveralFilesDisablesAllAndFailsToConvert) {
  const std::string first = MakeFile("one.bmp", SmallBmp());
  const std::string second = MakeFile("two.bmp", SmallBmp());
  const std::string both = first + "\r\n" + second + "\r\n";
  ASSERT_TRUE(Host().Fire(names::kDrop, host::Event::FilesDropped, both));
  EXPECT_EQ(Text(names::kPathBox), both);
  EXPECT_EQ(ConvertButtonsDisabled(), std::vector<bool>(10, true));
  ClickAndWait(names::kConvertBmp);
  ExpectOneMessage("转换失败：源文件不存在！");
  // The last piece is "two.bmp\r\n"; four bytes off leave "two.b".
  EXPECT_EQ(Text(names::kNameBox), "two.bmp\r\n");
  EXPECT_EQ(Text(names::kSaveBox), Program("/tmp/bmp图片/改-two.b-1.bmp"));
}

TEST_F(FlowTest, BrowseSetsFilterAndCopiesTheChoice) {
  ClickAndWait(names::kBrowse);  // cancelled at first use
  ASSERT_EQ(Host().FileDialogs().size(), 1u);
  EXPECT_EQ(Host().FileDialogs()[0].dialog, names::kOpenDialog);
  EXPECT_EQ(Host().FileDialogs()[0].filter,
            "JEPG图片文件（*.jpg）|*.jpg|BMP图片文件（*.bmp）|*.bmp|TIF图片文件（*.tif）|*.tif|PNG图片文件（*.png）|"
            "*.png|PPM图片文件（*.ppm）|*.ppm|PBM图片文件（*.pbm）|*.pbm|PGM图片文件（*.pgm）|*.pgm|PCX图片文件（*.pcx）"
            "|*.pcx|PIC图片文件（*.pic）|*.pic|SGI图片文件（*.sgi）|*.sgi|所有文件（*.*）|*.*");
  EXPECT_EQ(Text(names::kPathBox), "");
  EXPECT_EQ(ConvertButtonsDisabled(), std::vector<bool>(10, false));

  const std::string chosen = MakeFile("chosen.pcx", SmallBmp());
  Host().QueueFileDialogAnswer(chosen);
  ClickAndWait(names::kBrowse);
  EXPECT_EQ(Text(names::kPathBox), chosen);
  std::vector<bool> expected(10, false);
  expected[7] = true;
  EXPECT_EQ(ConvertButtonsDisabled(), expected);

  Host().QueueFileDialogAnswer(std::nullopt);  // a later cancel keeps the earlier choice
  ClickAndWait(names::kBrowse);
  EXPECT_EQ(Text(names::kPathBox), chosen);
  EXPECT_EQ(Text(names::kSaveBox), "");  // browsing never touches the save box
  ExpectNoMessage();
}

TEST_F(FlowTest, RealJpegAndPngSourcesConvert) {
  if (testsupport::ImageMagick().empty()) GTEST_SKIP() << "ImageMagick is not available";
  for (const char* name : {"photo.jpg", "photo.png"}) {
    SCOPED_TRACE(name);
    const std::string source = File(name);
    ASSERT_EQ(testsupport::RunCommand(testsupport::Quote(testsupport::ImageMagick()) + " -size 40x30 gradient:red-blue -depth 8 " +
                                      testsupport::Quote(source)),
              0);
    Type(source);
    ClickAndWait(names::kConvertBmp);
    ExpectOneMessage("BMP格式转换成功！");
    int width = 0;
    int height = 0;
    testsupport::Bytes ours;
    testsupport::Bytes theirs;
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(flowtest::OnDisk(Text(names::kSaveBox)), width, height, ours));
    ASSERT_TRUE(testsupport::DecodeWithImageMagick(source, width, height, theirs));
    ASSERT_EQ(ours.size(), theirs.size());
    EXPECT_EQ(width, 40);
    // Decoders of the same JPEG may round differently by a step or two.
    for (std::size_t i = 0; i < ours.size(); ++i) ASSERT_LE(std::abs(int(ours[i]) - int(theirs[i])), 3) << i;
  }
}

}  // namespace
