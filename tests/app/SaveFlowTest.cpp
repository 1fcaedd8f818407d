// "另存为" against the scripted window: its two prompts, the dialog's filter
// and default name per row, the copy, and what happens when there is nothing
// sound to copy.
#include "app/SaveFlow.h"
#include "tests/app/FlowTestSupport.h"

namespace {

using flowtest::Exists;
using flowtest::FlowTest;
using flowtest::Read;
using flowtest::SmallBmp;
namespace names = app::names;

TEST_F(FlowTest, SaveBeforeAnyConversionAsksForOne) {
  ClickAndWait(names::kSave);
  ExpectOneMessage("请先选取文件，点击需要格式转化后再进行保存！");
  EXPECT_TRUE(Host().FileDialogs().empty());
}

TEST_F(FlowTest, SaveOffersTheRowsFilterAndNameAndCopiesByteForByte) {
  Type(MakeFile("cat.png", SmallBmp(31, 17)));
  ClickAndWait(names::kConvertBmp);
  ExpectOneMessage("BMP格式转换成功！");
  const std::string converted = Text(names::kSaveBox);

  const std::string destination = File("out-cat.bmp");
  Host().QueueFileDialogAnswer(destination);
  ClickAndWait(names::kSave);
  ASSERT_EQ(Host().FileDialogs().size(), 1u);
  EXPECT_EQ(Host().FileDialogs()[0].dialog, names::kSaveDialog);
  EXPECT_EQ(Host().FileDialogs()[0].filter, "BMP图片文件（*.bmp）|*.bmp");
  EXPECT_EQ(Host().FileDialogs()[0].fileName, "改-cat-1*.bmp");
  ExpectNoMessage();
  ASSERT_TRUE(Exists(destination));
  EXPECT_EQ(Read(destination), Read(converted));

  // Again, onto the same file and onto another: the same bytes, nothing converted anew.
  const std::string second = File("out-cat-2.bmp");
  Host().QueueFileDialogAnswer(destination);
  Host().QueueReplaceAnswer(true);
  Host().QueueFileDialogAnswer(second);
  ClickAndWait(names::kSave);
  ClickAndWait(names::kSave);
  ASSERT_EQ(Host().FileDialogs().size(), 3u);
  EXPECT_EQ(Host().FileDialogs()[1].replaceQuestions, std::vector<std::string>{destination});
  EXPECT_EQ(Read(destination), Read(converted));
  EXPECT_EQ(Read(second), Read(converted));
  EXPECT_EQ(app::State().Count(app::SingleTarget::Bmp), 1);
  EXPECT_EQ(Text(names::kSaveBox), converted);
}

TEST_F(FlowTest, SaveAfterAFirstPgmConversion) {
  Type(MakeFile("cat.png", SmallBmp(12, 9)));
  ClickAndWait(names::kConvertPgm);
  ExpectOneMessage("PGM格式转换成功！");
  const std::string destination = File("cat.pgm");
  Host().QueueFileDialogAnswer(destination);
  ClickAndWait(names::kSave);
  ASSERT_EQ(Host().FileDialogs().size(), 1u);
  EXPECT_EQ(Host().FileDialogs()[0].filter, "PGM图片文件（*.pgm）|*.pgm");
  EXPECT_EQ(Host().FileDialogs()[0].fileName, "改-cat-1*.pgm");
  const testsupport::Bytes copy = Read(destination);
  EXPECT_EQ(copy, Read(Program("/tmp/pgm图片/改-cat-1.pgm")));
  ASSERT_GE(copy.size(), 2u);
  EXPECT_EQ(copy[0], 'P');
  EXPECT_EQ(copy[1], '5');
}

TEST_F(FlowTest, EverySaveRowHasItsFilterAndCounter) {
  struct Case {
    const char* tail;
    const char* filter;
    const char* name;  // with baseName "cat" and the row's counter
  };
  Type("/pics/cat.png");
  app::State().TakeNumber(app::SingleTarget::Sgi);
  app::State().TakeNumber(app::SingleTarget::Sgi);
  app::State().TakeNumber(app::SingleTarget::Jpg);
  const Case cases[] = {
      {"x.jpg", "JEPG图片文件（*.jpg）|*.jpg", "改-cat-1*.jpg"}, {"x.JPG", "JEPG图片文件（*.jpg）|*.jpg", "改-cat-1*.jpg"},
      {"x.bmp", "BMP图片文件（*.bmp）|*.bmp", "改-cat-0*.bmp"},  {"x.BMP", "BMP图片文件（*.bmp）|*.bmp", "改-cat-0*.bmp"},
      {"x.tif", "TIF图片文件（*.tif）|*.tif", "改-cat-0*.tif"},  {"x.TIF", "TIF图片文件（*.tif）|*.tif", "改-cat-0*.tif"},
      {"x.png", "PNG图片文件（*.png）|*.png", "改-cat-0*.png"},  {"x.PNG", "PNG图片文件（*.png）|*.png", "改-cat-0*.png"},
      {"x.ppm", "PPM图片文件（*.ppm）|*.ppm", "改-cat-0*.ppm"},  {"x.PPM", "PPM图片文件（*.ppm）|*.ppm", "改-cat-0*.ppm"},
      {"x.pgm", "PGM图片文件（*.pgm）|*.pgm", "改-cat-0*.pgm"},  {"x.PGM", "PGM图片文件（*.pgm）|*.pgm", "改-cat-0*.pgm"},
      {"x.pbm", "PBM图片文件（*.pbm）|*.pbm", "改-cat-0*.pbm"},  {"x.PBM", "PBM图片文件（*.pbm）|*.pbm", "改-cat-0*.pbm"},
      {"x.pcx", "PCX图片文件（*.pcx）|*.pcx", "改-cat-0*.pcx"},  {"x.PCX", "PCX图片文件（*.pcx）|*.pcx", "改-cat-0*.pcx"},
      {"x.pic", "PIC图片文件（*.pic）|*.pic", "改-cat-0*.pic"},  {"x.PIC", "PIC图片文件（*.pic）|*.pic", "改-cat-0*.pic"},
      {"x.sgi", "SGI图片文件（*.sgi）|*.sgi", "改-cat-2*.sgi"},  {"x.SGI", "SGI图片文件（*.sgi）|*.sgi", "改-cat-2*.sgi"},
  };
  for (const Case& c : cases) {
    Host().SetTextSilently(names::kSaveBox, File(c.tail));
    ClickAndWait(names::kSave);  // cancelled: nothing is copied
    ASSERT_FALSE(Host().FileDialogs().empty());
    EXPECT_EQ(Host().FileDialogs().back().filter, c.filter) << c.tail;
    EXPECT_EQ(Host().FileDialogs().back().fileName, c.name) << c.tail;
  }
  EXPECT_EQ(Host().WorkersStarted(), 0) << "a cancelled dialog starts no copy";
  ExpectNoMessage();

  // Mixed case matches no row: a silent end, no dialog.
  const std::size_t shown = Host().FileDialogs().size();
  Host().SetTextSilently(names::kSaveBox, File("x.Bmp"));
  ClickAndWait(names::kSave);
  EXPECT_EQ(Host().FileDialogs().size(), shown);
  ExpectNoMessage();
}

TEST_F(FlowTest, SaveOfAFailedConversionWritesNothing) {
  Type(File("missing.bmp"));
  ClickAndWait(names::kConvertBmp);
  ExpectOneMessage("转换失败：源文件不存在！");
  // The user's file must survive a copy of something that does not exist,
  // even when the user agreed to replace it.
  const std::string destination = MakeFile("keep.bmp", {'m', 'i', 'n', 'e'});
  Host().QueueFileDialogAnswer(destination);
  Host().QueueReplaceAnswer(true);
  ClickAndWait(names::kSave);
  ExpectOneMessage("保存失败：找不到已转换的文件！");
  EXPECT_EQ(Read(destination), (testsupport::Bytes{'m', 'i', 'n', 'e'}));

  // An empty file is no converted picture either.
  const std::string empty = MakeFile("empty.bmp", {});
  Host().SetTextSilently(names::kSaveBox, empty);
  Host().QueueFileDialogAnswer(destination);
  Host().QueueReplaceAnswer(true);
  ClickAndWait(names::kSave);
  ExpectOneMessage("保存失败：找不到已转换的文件！");
  EXPECT_EQ(Read(destination), (testsupport::Bytes{'m', 'i', 'n', 'e'}));
}

TEST_F(FlowTest, SaveAsksBeforeReplacingAFile) {
  Type(MakeFile("cat.png", SmallBmp(9, 6)));
  ClickAndWait(names::kConvertBmp);
  NewMessages();
  const testsupport::Bytes converted = Read(Text(names::kSaveBox));
  const std::string existing = MakeFile("existing.bmp", {'o', 'l', 'd'});
  // Declined: the dialog stays open and takes the next choice; then agreed.
  Host().QueueFileDialogAnswer(existing);
  Host().QueueReplaceAnswer(false);
  Host().QueueFileDialogAnswer(File("other.bmp"));
  ClickAndWait(names::kSave);
  EXPECT_EQ(Read(existing), (testsupport::Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(Read(File("other.bmp")), converted);
  Host().QueueFileDialogAnswer(existing);
  Host().QueueReplaceAnswer(true);
  ClickAndWait(names::kSave);
  EXPECT_EQ(Read(existing), converted);
  ASSERT_EQ(Host().FileDialogs().size(), 2u);
  EXPECT_EQ(Host().FileDialogs()[0].replaceQuestions, std::vector<std::string>{existing});
  ExpectNoMessage();
}

TEST_F(FlowTest, CancelledSaveWritesNothing) {
  Type(MakeFile("cat.bmp", SmallBmp()));
  ClickAndWait(names::kConvertPpm);
  NewMessages();
  const std::string destination = MakeFile("keep.ppm", {'o', 'l', 'd'});
  Host().QueueFileDialogAnswer(std::nullopt);
  const int workers = Host().WorkersStarted();
  ClickAndWait(names::kSave);
  EXPECT_EQ(Host().WorkersStarted(), workers);
  EXPECT_EQ(Read(destination), (testsupport::Bytes{'o', 'l', 'd'}));
  ExpectNoMessage();
}

TEST_F(FlowTest, CopyIntoAMissingFolderFailsQuietlyAndLeavesNothing) {
  Type(MakeFile("cat.bmp", SmallBmp()));
  ClickAndWait(names::kConvertBmp);
  NewMessages();
  const std::string folder = testsupport::MakeTempSubdir("target");
  Host().QueueFileDialogAnswer(folder + flowtest::Native("/no-such-folder/cat.bmp"));
  ClickAndWait(names::kSave);
  ExpectNoMessage();
  EXPECT_FALSE(Exists(folder + flowtest::Native("/no-such-folder")));
  // A path through a regular file cannot be written either; nothing is left beside it.
  const std::string blocker = folder + flowtest::Native("/file");
  ASSERT_TRUE(flowtest::Write(blocker, {'x'}));
  Host().QueueFileDialogAnswer(blocker + flowtest::Native("/cat.bmp"));
  ClickAndWait(names::kSave);
  ExpectNoMessage();
  EXPECT_EQ(testsupport::ListNames(folder), std::vector<std::string>{"file"});
}

TEST_F(FlowTest, SaveAfterABatchOffersItsLastOutput) {
  const std::string source = testsupport::MakeTempSubdir("batch-src");
  ASSERT_TRUE(flowtest::Write(source + flowtest::Native("/x.jpg"), SmallBmp()));
  Host().SetTextSilently(names::kSourceFolderBox, source);
  Host().SetTextSilently(names::kTargetFolderBox, testsupport::MakeTempSubdir("batch-out"));
  Type("/pics/cat.png");
  ClickAndWait(names::kBatchBmp);
  NewMessages();
  ASSERT_EQ(host::RightText(Text(names::kSaveBox), 10), flowtest::Native("/x.jpg.bmp"));
  const std::string destination = File("copy.bmp");
  Host().QueueFileDialogAnswer(destination);
  ClickAndWait(names::kSave);
  EXPECT_EQ(Host().FileDialogs().back().fileName, "改-cat-0*.bmp");
  EXPECT_EQ(Read(destination), Read(Text(names::kSaveBox)));
}

}  // namespace
