#include "platform/com/com.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/com/module_loader.h"
#include "platform/com/shell_allocator.h"
#include "platform/shell/clipboard_format.h"
#include "platform/shell/shell_interfaces.h"
#include "support/hermetic_env.h"

namespace hub::platform {
namespace {

TEST(GuidTest, TextFormRoundTripsAndRejectsMalformedText) {
  auto g = GuidFromString("{bba7eb3f-97ab-4ebd-bca2-c3c8dbed4420}");
  ASSERT_TRUE(g);
  EXPECT_EQ(g->data1, 0xBBA7EB3Fu);
  EXPECT_EQ(g->data2, 0x97ABu);
  EXPECT_EQ(g->data3, 0x4EBDu);
  EXPECT_EQ(g->data4[0], 0xBC);
  EXPECT_EQ(g->data4[7], 0x20);
  EXPECT_EQ(GuidToString(*g), "{BBA7EB3F-97AB-4EBD-BCA2-C3C8DBED4420}");
  EXPECT_EQ(GuidToString(IID_IShellFolder), "{000214E6-0000-0000-C000-000000000046}");

  for (const char* bad : {"", "BBA7EB3F-97AB-4EBD-BCA2-C3C8DBED4420", "{BBA7EB3F-97AB-4EBD-BCA2-C3C8DBED442}",
                          "{BBA7EB3F-97AB-4EBD-BCA2-C3C8DBED44200}", "{BBA7EB3F+97AB-4EBD-BCA2-C3C8DBED4420}",
                          "{BBA7EB3G-97AB-4EBD-BCA2-C3C8DBED4420}", "{BBA7EB3F-97AB-4EBD-BCA2-C3C8DBED44 0}"}) {
    EXPECT_FALSE(GuidFromString(bad)) << bad;
  }
}

TEST(RefCountTest, ManyThreadsLoseNoCount) {
  RefCount count(1);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) count.Increment();
      for (int i = 0; i < 10000; ++i) count.Decrement();
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(count.Get(), 1u);
  EXPECT_EQ(count.Decrement(), 0u);
}

class ShellAllocatorTest : public ::testing::Test {
 protected:
  void TearDown() override { SetShellAllocFailureHook({}); }
};

TEST_F(ShellAllocatorTest, CountsBlocksAndKnowsTheirExtent) {
  IMalloc* m = nullptr;
  ASSERT_EQ(GetShellMalloc(&m), S_OK);
  size_t before = ShellBlocksOutstanding();
  auto* a = static_cast<uint8_t*>(m->Alloc(100));
  void* b = m->Alloc(0);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(ShellBlocksOutstanding(), before + 2);
  EXPECT_EQ(m->GetSize(a), 100u);
  EXPECT_EQ(ShellBytesAvailable(a), 100u);
  EXPECT_EQ(ShellBytesAvailable(a + 99), 1u);
  EXPECT_EQ(ShellBytesAvailable(a + 100), 0u);
  int local = 0;
  EXPECT_EQ(ShellBytesAvailable(&local), 0u);
  EXPECT_EQ(m->GetSize(&local), static_cast<size_t>(-1));

  a = static_cast<uint8_t*>(m->Realloc(a, 300));
  ASSERT_TRUE(a);
  EXPECT_EQ(m->GetSize(a), 300u);
  EXPECT_EQ(ShellBlocksOutstanding(), before + 2);
  m->Free(a);
  m->Free(b);
  m->Free(nullptr);
  m->Free(&local);  // not a block: ignored
  EXPECT_EQ(ShellBlocksOutstanding(), before);
  m->Release();
}

TEST_F(ShellAllocatorTest, FailureHookFailsChosenAllocations) {
  size_t before = ShellBlocksOutstanding();
  SetShellAllocFailureHook([](size_t size) { return size == 64; });
  EXPECT_EQ(ShellAllocator().Alloc(64), nullptr);
  void* ok = ShellAllocator().Alloc(65);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ShellAllocator().Realloc(ok, 64), nullptr);  // the old block stays
  EXPECT_EQ(ShellAllocator().GetSize(ok), 65u);
  ShellAllocator().Free(ok);
  EXPECT_EQ(ShellBlocksOutstanding(), before);
}

TEST_F(ShellAllocatorTest, WideStringsAreUtf16WithATerminator) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"", u""},
      {"Tarveld", u"Tarveld"},
      {"Caf\xC3\xA9", u"Caf\u00E9"},
      {"\xF0\x9F\x8E\xB5", u"\U0001F3B5"},
      {"a\xFF" "b", u"a\uFFFDb"},
      {"\xE2\x82", u"\uFFFD\uFFFD"},
  };
  for (const auto& c : cases) {
    char16_t* w = ShellAllocWideString(c.utf8);
    ASSERT_TRUE(w);
    EXPECT_EQ(std::u16string(w), c.utf16) << c.utf8;
    EXPECT_EQ(ShellAllocator().GetSize(w), (c.utf16.size() + 1) * 2);
    ShellAllocator().Free(w);
  }
  SetShellAllocFailureHook([](size_t) { return true; });
  EXPECT_EQ(ShellAllocWideString("x"), nullptr);
}

TEST(ClipboardFormatTest, NamesShareOneNumberAcrossCalls) {
  uint16_t a = RegisterClipboardFormatName("Quorral Explorer Kernel ID List");
  EXPECT_GE(a, 0xC000);
  EXPECT_EQ(RegisterClipboardFormatName("quorral explorer kernel id list"), a);
  EXPECT_NE(RegisterClipboardFormatName("Quorral Explorer No Transfer to Self"), a);
  EXPECT_EQ(RegisterClipboardFormatName(""), 0);
}

int EnvCount(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::atoi(v) : 0;
}

TEST(ModuleLoaderTest, AttachDecidesTheLoadAndDetachRunsOnceAtTheLastUnload) {
  namespace fs = std::filesystem;
  std::string dir = test::MakeTempDir("mod");
  std::string good = dir + "/good.so";
  std::string refusing = dir + "/refuse.so";
  fs::copy_file(COM_TEST_MODULE_PATH, good);
  fs::copy_file(COM_TEST_MODULE_PATH, refusing);
  int attaches = EnvCount("COM_TEST_ATTACHES");
  int detaches = EnvCount("COM_TEST_DETACHES");

  std::string error;
  EXPECT_FALSE(LoadedModule::Load(refusing, &error));
  EXPECT_NE(error.find("refused"), std::string::npos);
  EXPECT_EQ(EnvCount("COM_TEST_ATTACHES"), attaches + 1);
  EXPECT_EQ(EnvCount("COM_TEST_DETACHES"), detaches);

  EXPECT_FALSE(LoadedModule::Load(dir + "/missing.so", &error));
  EXPECT_FALSE(error.empty());

  {
    auto first = LoadedModule::Load(good, &error);
    ASSERT_TRUE(first) << error;
    auto second = LoadedModule::Load(good, &error);
    ASSERT_TRUE(second) << error;
    EXPECT_EQ(EnvCount("COM_TEST_ATTACHES"), attaches + 2);
    auto answer = second->Function<int (*)()>("ComTestAnswer");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(first->Symbol("NoSuchExport"), nullptr);
    second->Unload();
    EXPECT_EQ(EnvCount("COM_TEST_DETACHES"), detaches);
  }
  EXPECT_EQ(EnvCount("COM_TEST_DETACHES"), detaches + 1);
}

}  // namespace
}  // namespace hub::platform
