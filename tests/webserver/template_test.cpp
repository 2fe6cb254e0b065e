// The template language on an in-memory player: tokenizer and parser edge
// cases, includes, loops, search and queue control.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "common/product_profile.h"
#include "common/settings.h"
#include "common/text.h"
#include "platform/registry/registry.h"
#include "sql/sql_query_engine.h"
#include "support/hermetic_env.h"
#include "testdevice/memory_device.h"
#include "webserver/http_response.h"
#include "webserver/request_variables.h"
#include "webserver/template_file.h"
#include "webserver/template_nodes.h"
#include "webserver/template_text.h"

namespace hub::test {
namespace {

class MapSource : public TemplateSource {
 public:
  std::map<std::string, std::string, std::less<>> files;
  bool Load(std::string_view name, std::string& text, std::string& detail) override {
    auto it = files.find(name);
    detail = std::string(name);
    if (it == files.end()) return false;
    text = it->second;
    return true;
  }
};

// A player with playback state the queue commands can change.
class PlayerDevice : public MemoryDevice {
 public:
  int volume = 40;
  int paused = 0;
  int GetVolume() override { return volume; }
  int SetVolume(int v) override {
    volume = v;
    return 1;
  }
  int IsPaused() override { return paused; }
  int SetPaused(int p) override {
    paused = p;
    return 1;
  }
};

class TemplateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SelectProduct("kestmgr.exe", TheProductProfile());
    platform::Registry::Instance().DeleteKey(platform::Hive::CurrentUser, TheProductProfile().productRegistryKey);
    InstallProductKey(TheProductProfile().productRegistryKey);
    SetLastSearchResults({});
  }

  std::string Render(std::string_view text, VariableMap& variables) {
    PageEnvironment environment{&source, nullptr};
    TemplateOutput output;
    TemplateFile("page.html", environment).Run(text, output, variables, device);
    return output.Text();
  }
  std::string Render(std::string_view text) {
    VariableMap v;
    return Render(text, v);
  }

  MapSource source;
  PlayerDevice device;
};

TEST_F(TemplateTest, LanguageEdgeCases) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"a<?print(x)?>b", "a1b\r\n"},
      {"<?xml version=\"1.0\"?>", "<?xml version=\"1.0\"?>\r\n"},
      {"<?xml version=\"1.0\"?><?print(x)?>", "<?xml version=\"1.0\"?>1\r\n"},
      {"<?xml version", ""},
      {"<?print(x,y)?>", "'print' command has wrong number of arguments.\r\n"},
      {"<?printu(x,y)?>", "'print' command has wrong number of arguments.\r\n"},
      {"<?set(a, b)?>[<?print(a)?>]", "[ b]\r\n"},
      {"a<?print(x)", "a"},
      {"<?else?>", "Unrecognized command 'else'.\r\n"},
      {"<?set(e,)?><?if(e)?>T<?else?>F<?endif?>", "'set' command has wrong number of arguments.F\r\n"},
      {"<?if(missing)?>T<?else?>F<?endif?>", "F\r\n"},
      {"<?if(x)?>T<?else?>F<?endif?>", "T\r\n"},
      {"<?if(x)?><?if(missing)?>a<?else?>b<?endif?>c<?endif?>", "bc\r\n"},
      {"<?if(x,y)?>T<?endif?>", "'if' command has wrong number of arguments.TUnrecognized command 'endif'.\r\n"},
      {"<? ?>x<?  ( a ) ?>", "x\r\n"},
      {"<?bogus(1)?>", "Unrecognized command 'bogus'.\r\n"},
      {"<?loop(NOPE)?>x<?endloop?>", "Unknown loop type: 'NOPE'.\r\n"},
      {"<?loop(<b>)?><?endloop?>", "Unknown loop type: '&lt;b&gt;'.\r\n"},
      {"<?set(v,,,1)?><?print(v)?>", "1\r\n"},
      {"one\r\ntwo\nthree", "one\r\ntwo\r\nthree\r\n"},
      {"one\ntwo\n", "one\r\ntwo\r\n"},
  };
  for (const auto& c : cases) {
    VariableMap v{{"x", "1"}};
    EXPECT_EQ(Render(c.text, v), c.expected) << c.text;
  }
}

TEST_F(TemplateTest, IncludesShareVariablesAndStopAtDepth) {
  source.files["head.html"] = "<?set(title,Home)?>H<?print(v)?>";
  source.files["self.html"] = "s<?include(self.html)?>";
  VariableMap v{{"v", "1"}};
  EXPECT_EQ(Render("<?include(head.html)?>[<?print(title)?>]", v), "H1\r\n[Home]\r\n");
  EXPECT_EQ(Render("<?include(none.html)?>"), "Cannot include 'none.html'.\r\n");
  std::string deep = Render("<?include(self.html)?>");
  EXPECT_NE(deep.find("Cannot include 'self.html': nested too deeply."), std::string::npos);
  EXPECT_EQ(deep.find_first_not_of('s'), static_cast<size_t>(kMaxIncludeDepth));
}

TEST_F(TemplateTest, EscapesRoundTripThroughLinks) {
  EXPECT_EQ(HtmlUnescape(HtmlEscape("<a href=\"x\">'&amp;'</a>")), "<a href=\"x\">'&amp;'</a>");
  EXPECT_EQ(PassableDecode(PassableEncode("a+b?c#d=e'f\"g")), "a+b?c#d=e'f\"g");
  for (std::string raw : {"a&b'c\"d<e>f", "x+y?z#1=2", "&amp;", "Ünïcode", "50% off %41", "two  blanks"}) {
    std::string link = PassableForLink(raw);
    EXPECT_EQ(link.find_first_of("\"'<>?# "), std::string::npos) << link;
    // What the browser sends back: the attribute's text, decoded by the server.
    std::string path;
    ASSERT_TRUE(DecodeRequestTarget("/p?v=" + HtmlUnescape(link), path));
    VariableMap pairs = QueryPairs(path);
    EXPECT_EQ(pairs["v"], raw);
  }
  // The map holds escaped values and the passable twin.
  HttpRequest request;
  request.path = "/p.html?q=x|plus|y&name=a&b&larg1=quick&larg2=<i>&noequals";
  VariableMap v;
  SetRequestVariables(device, request, v);
  EXPECT_EQ(v["q"], "x+y");
  EXPECT_EQ(v["q_passable"], "x|plus|y");
  EXPECT_EQ(v["name"], "a");
  EXPECT_EQ(v.count("b"), 0u);
  EXPECT_EQ(v["slast_quick"], "&lt;i&gt;");
  EXPECT_EQ(v["volume"], "40");
  EXPECT_EQ(v["paused"], "Not Paused");
  EXPECT_EQ(v.count("noequals"), 0u);
  EXPECT_NE(v["date"].find(", "), std::string::npos);
}

TEST_F(TemplateTest, TrackLoopsListInOrderAndSkipLockedTracks) {
  KernelId b = device.AddTrack("Band", "Second", "Bee", 2, "Rock");
  KernelId a = device.AddTrack("Band", "First", "Aye", 1, "Rock");
  KernelId locked = device.AddTrack("Band", "First", "Hidden", 3, "Jazz");
  device.FindRecord(locked)->locked = 1;
  KernelId other = device.AddTrack("<Other>", "X", "Zed", 1, "Pop");
  device.AddPlaylist("Mix", {locked, a, b});
  device.EnqueueTrack(a);
  device.EnqueueTrack(b);
  device.EnqueueTrack(locked);
  device.SetQueuePosition(1);

  std::string all = Render("<?loop(AUDIOALL)?><?print(id)?>,<?endloop?>");
  EXPECT_EQ(all.find(locked.IdText() + ","), std::string::npos);
  EXPECT_EQ(std::count(all.begin(), all.end(), ','), 3);
  EXPECT_EQ(Render("<?loop(AUDIOBYARTIST,Band)?><?print(id)?> <?endloop?>"),
            a.IdText() + " " + b.IdText() + " \r\n");
  EXPECT_EQ(Render("<?loop(AUDIOBYGENRE,Pop)?><?print(displayname)?><?endloop?>"),
            "&lt;Other&gt; - X - 01 - Zed\r\n");
  EXPECT_EQ(Render("<?loop(PLAYLISTS)?><?print(name)?>=<?print(count)?><?endloop?>"), "Mix=3\r\n");
  KernelId pl;
  device.GetFirstPlaylist(pl);
  EXPECT_EQ(Render("<?loop(PLAYLIST," + pl.IdText() + ")?><?print(plnum)?>:<?print(id)?> <?endloop?>"),
            "2:" + a.IdText() + " 3:" + b.IdText() + " \r\n");
  EXPECT_EQ(Render("<?loop(QUEUE)?><?print(aqnum)?><?print(statuscode)?> <?endloop?>"),
            "1q_alreadyplayed 2q_current 3q_notyetplayed \r\n");
  EXPECT_EQ(Render("<?loop(ARTISTS)?><?print(name)?>:<?print(count)?> <?endloop?>"), "&lt;Other&gt;:1 Band:3 \r\n");
  EXPECT_EQ(Render("<?loop(AUDIOSINGLE," + other.IdText() + ")?><?print(artist)?>|<?print(tracknum)?>|<?print(codec)?>"
                   "<?endloop?>"),
            "&lt;Other&gt;|01|MP3\r\n");
  // Ids are 64-bit: one above 2^32 never names track 1; text is no id at all.
  EXPECT_EQ(Render("<?loop(AUDIOSINGLE,abc)?>x<?endloop?>"), "\r\n");
  EXPECT_EQ(Render("<?loop(AUDIOSINGLE,18446744073709551616)?>x<?endloop?>"), "\r\n");
  // A nested loop over the same walk does not disturb the outer one.
  std::string nested = Render("<?loop(AUDIOALL)?>[<?loop(AUDIOALL)?>.<?endloop?>]<?endloop?>");
  EXPECT_EQ(nested, "[...][...][...]\r\n");
  std::string url = Render("<?loop(AUDIOSINGLE," + other.IdText() + ")?><?print(stream_url)?><?endloop?>");
  EXPECT_EQ(url, "/stream/" + other.IdText() + "/%3COther%3E%20-%20X%20-%2001%20-%20Zed.mp3\r\n");
}

TEST_F(TemplateTest, DataLoopsAndSkins) {
  KernelId folder = device.AddDataFolder(device.DataRoot(), "Docs");
  device.AddDataFileItem(device.DataRoot(), "<svg onload=alert(4)>.txt", 2048);
  device.AddDataFileItem(folder, "inner.txt", 1);
  EXPECT_EQ(Render("<?loop(DATAFOLDERS)?><?print(filename)?><?endloop?>"), "Docs\r\n");
  EXPECT_EQ(Render("<?loop(DATAFILES)?><?print(filename)?>|<?print(ext)?>|<?print(filesize)?><?endloop?>"),
            "&lt;svg onload=alert(4)&gt;.txt|.txt|2.00 MB\r\n");
  std::string dl = Render("<?loop(DATAFILES)?><?print(dl_url)?><?endloop?>");
  EXPECT_EQ(dl.find_first_of("<> "), std::string::npos) << dl;

  std::string skins = MakeTempDir("skins");
  std::filesystem::create_directories(skins + "/Default");
  std::filesystem::create_directories(skins + "/Blue");
  for (const char* f : {"/Zip.ksk", "/Other.zip", "/<b>.KSK"}) std::ofstream(skins + f) << "x";
  WriteSettingString("KW_TestSkinsDir", skins);
  WriteSettingString("KW_Skin", "Blue");
  EXPECT_EQ(Render("<?loop(SKINS)?><?print(name)?>=<?print(selected)?> <?endloop?>"),
            "&lt;b&gt;.KSK= Blue=selected Default= Zip.ksk= \r\n");
}

TEST_F(TemplateTest, SearchesReportEachFailureAndKeepResults) {
  InstallSqlQueryEngine();
  KernelId a = device.AddTrack("Aurora Tide", "Shore", "Wave", 1, "Ambient");
  device.AddTrack("Other", "Album", "Song", 1, "Rock");
  std::string found = Render("<?loop(SEARCH,quick,Aurora)?><?print(id)?><?endloop?>|<?print(search_error)?>");
  EXPECT_EQ(found, a.IdText() + "|\r\n");
  std::string stored;
  ASSERT_NE(ReadSettingString("SQL_LastSearchQuery", stored), 0);
  EXPECT_EQ(stored, "SELECT id FROM audio WHERE artist?'Aurora' OR album?'Aurora' OR genre?'Aurora' OR title?'Aurora';");
  // A later page sees the results and the statement.
  EXPECT_EQ(Render("<?loop(SEARCHRESULTS)?><?print(id)?><?endloop?>"), a.IdText() + "\r\n");
  EXPECT_NE(Render("<?print(last_query)?>").find("artist?&#39;Aurora&#39;"), std::string::npos);

  struct Case {
    std::string args;
    std::string error;
  } cases[] = {
      {"simple,Aurora", ""},
      {"quick,nothing-like-this", "No search results found."},
      {"bogus,x", "Invalid search type: bogus"},
      {"<b>,x", "Invalid search type: &lt;b&gt;"},
      {"advanced,artist = <", "SQL Error: "},
  };
  for (const auto& c : cases) {
    VariableMap v;
    std::string out = Render("<?loop(SEARCH," + c.args + ")?>.<?endloop?>", v);
    EXPECT_EQ(v["search_error"].substr(0, c.error.size()), c.error) << c.args;
    if (c.error.empty()) {
      EXPECT_EQ(out, ".\r\n");
    }
  }
  EXPECT_EQ(Render("<?loop(SEARCHRESULTS)?>x<?endloop?>"), "\r\n");
  VariableMap v;
  Render("<?loop(SEARCH,advanced,<script>)?><?endloop?>", v);
  EXPECT_EQ(v["last_sqlquery"], "&lt;script&gt;");
  // Through the installed engine: its full message, and its row limit holds for searches too.
  ASSERT_TRUE(WriteSettingDword("SQL_MaxRows", 1));
  VariableMap limited;
  Render("<?loop(SEARCH,advanced,id > 0)?>.<?endloop?>", limited);
  EXPECT_EQ(limited["search_error"], "SQL Error: Too many rows.\n\nSQL_MaxRows\n1");
}

TEST_F(TemplateTest, QueueControlCommands) {
  KernelId a = device.AddTrack("A", "L", "One", 1);
  KernelId locked = device.AddTrack("A", "L", "Two", 2);
  device.FindRecord(locked)->locked = 1;
  struct Case {
    std::string query;
    std::string result;
  } cases[] = {
      {"qcmd=volume&qarg1=150", "Volume set to 100%."},
      {"qcmd=volume&qarg1=-5", "Volume set to 0%."},
      {"qcmd=volume&qarg1=99999999999999999999", "Volume set to 100%."},
      {"qcmd=Pause", "Playback paused."},
      {"qcmd=pause", "Playback unpaused."},
      {"qcmd=", ""},
      {"qcmd=<b>x", "Unknown queue control command: &#39;&lt;b&gt;x&#39;."},
      {"qcmd=enqueue&qarg1=<i>", "Unknown enqueue loop type: &#39;&lt;i&gt;&#39;."},
      {"qcmd=enqueue&qarg1=AUDIOALL", "1 track(s) enqueued."},
      {"qcmd=enqueue&qarg1=AUDIOSINGLE&qarg2=4294967297", "1 track(s) enqueued."},
      {"qcmd=clear", "Active Queue cleared."},
      {"qcmd=enqueue&qarg1=AUDIOSINGLE&qarg2=" + a.IdText(), "1 track(s) enqueued."},
      {"qcmd=skipto&qarg1=" + a.IdText(), "Skipped to: A - L - 01 - One."},
  };
  for (const auto& c : cases) {
    HttpRequest request;
    request.path = "/q.html?" + c.query;
    VariableMap v;
    SetRequestVariables(device, request, v);
    EXPECT_EQ(Render("<?qcontrol(from_url,from_url,from_url,from_url)?><?print(qresult)?>", v), c.result + "\r\n")
        << c.query;
  }
  EXPECT_EQ(device.volume, 100);
  ASSERT_EQ(device.Queue().size(), 1u);
  EXPECT_EQ(device.Queue()[0].RecordId(), a.RecordId());
  // Above 2^32 the id keeps both words.
  Render("<?qcontrol(enqueue,AUDIOSINGLE,4294967297)?>");
  EXPECT_EQ(device.Queue().back().RecordId(), 4294967297u);
  // Once per pass inside a loop.
  Render("<?qcontrol(clear)?><?loop(AUDIOALL)?><?qcontrol(enqueue,AUDIOALL)?><?endloop?>");
  EXPECT_EQ(device.Queue().size(), 1u);
}

}  // namespace
}  // namespace hub::test
