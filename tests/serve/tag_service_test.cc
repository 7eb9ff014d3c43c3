// The service's answers to tagging requests, without the network.
#include "serve/tag_service.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "test_util.h"
#include "verrin/verrin.h"

namespace verrin::serve {
namespace {

using nlohmann::json;

class TagServiceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    manager_ = new CNEResourceManager;
    const std::string dir = VERRIN_DEFAULT_RESOURCE_DIR;
    ASSERT_TRUE(manager_->LoadResource(dir.c_str(), (dir + "/model.txt").c_str(), false));
    service_ = new CTagService;
    service_->Attach(manager_, 2, CServiceInfo{dir, dir + "/model.txt", false, 1 << 20, "--res"});
  }
  static void TearDownTestSuite() {
    delete service_;
    delete manager_;
  }

  static json Answer(const std::string& body, int expected_status = 200) {
    CReply reply = service_->Tag("application/json", body, "");
    EXPECT_EQ(reply.status, expected_status) << reply.body;
    return json::parse(reply.body);
  }
  // The entities of one result as "TAG text start end" strings.
  static std::vector<std::string> Entities(const json& result) {
    std::vector<std::string> out;
    for (const json& e : result["entities"]) {
      out.push_back(e["tag"].get<std::string>() + " " + e["text"].get<std::string>() + " " +
                    std::to_string(e["start"].get<int>()) + " " +
                    std::to_string(e["end"].get<int>()));
    }
    return out;
  }

  static CNEResourceManager* manager_;
  static CTagService* service_;
};

CNEResourceManager* TagServiceTest::manager_ = nullptr;
CTagService* TagServiceTest::service_ = nullptr;

TEST_F(TagServiceTest, OffsetsCountCodePointsOutsideTheBmp) {
  // U+1F600 is two UTF-16 units but one code point: 江泽民 starts at 1, not 2.
  const json answer = Answer(R"({"text": "😀江泽民在北京会见了外宾。"})");
  ASSERT_EQ(answer["results"].size(), 1u);
  EXPECT_EQ(Entities(answer["results"][0]),
            (std::vector<std::string>{"P 江泽民 1 4", "L 北京 5 7"}));
  // Without white space the words tile the text: each starts where the
  // previous one ended and spans as many code points as its text holds.
  int at = 0;
  for (const json& w : answer["results"][0]["words"]) {
    int code_points = 0;
    for (unsigned char c : w["text"].get<std::string>()) code_points += (c & 0xC0) != 0x80;
    EXPECT_EQ(w["start"].get<int>(), at) << w.dump();
    EXPECT_EQ(w["end"].get<int>() - at, code_points) << w.dump();
    at = w["end"].get<int>();
  }
  EXPECT_EQ(at, 13);
}

TEST_F(TagServiceTest, LinesOfOneTextKeepOffsetsOfTheWholeText) {
  // "李鹏在北京\r\n" is 7 code points, so the second line starts at 7.
  const json answer = Answer(R"({"texts": ["李鹏在北京\r\n江泽民在上海", "克林顿"], "option": 0})");
  ASSERT_EQ(answer["results"].size(), 2u);
  EXPECT_EQ(
      Entities(answer["results"][0]),
      (std::vector<std::string>{"P 李鹏 0 2", "L 北京 3 5", "P 江泽民 7 10", "L 上海 11 13"}));
  EXPECT_EQ(answer["results"][0]["rendered"], "[P 李鹏] 在 [L 北京] \n[P 江泽民] 在 [L 上海] ");
  EXPECT_EQ(Entities(answer["results"][1]), (std::vector<std::string>{"P 克林顿 0 3"}));
}

TEST_F(TagServiceTest, SeparatedWordsAreTaggedWithTheOption) {
  // Option 2: words separated by spaces; the spaces count in the offsets.
  const json answer = Answer(R"({"text": "李鹏 在 北京", "option": 2})");
  EXPECT_EQ(Entities(answer["results"][0]), (std::vector<std::string>{"P 李鹏 0 2", "L 北京 5 7"}));
}

TEST_F(TagServiceTest, PlainTextGetsOneJsonLinePerLine) {
  CReply reply = service_->Tag("text/plain; charset=utf-8", "李鹏在北京\r\n\n克林顿\n", "");
  ASSERT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(reply.content_type.rfind("application/x-ndjson", 0), 0u);
  std::vector<json> lines;
  for (size_t start = 0, end; (end = reply.body.find('\n', start)) != std::string::npos;
       start = end + 1) {
    lines.push_back(json::parse(reply.body.substr(start, end - start)));
  }
  ASSERT_EQ(lines.size(), 3u);  // the empty middle line is a text too
  EXPECT_EQ(Entities(lines[0]), (std::vector<std::string>{"P 李鹏 0 2", "L 北京 3 5"}));
  EXPECT_TRUE(lines[1]["words"].empty());
  EXPECT_EQ(Entities(lines[2]), (std::vector<std::string>{"P 克林顿 0 3"}));
}

TEST_F(TagServiceTest, BadRequestsGetA400WithAMessage) {
  struct Case {
    const char* content_type;
    std::string body;
    const char* query;
    const char* message;
  };
  const Case cases[] = {
      {"application/json", R"({"text": )", "", "malformed JSON"},
      {"application/json", "[1, 2]", "", "must be a JSON object"},
      {"application/json", R"({"txt": "a"})", "", "missing field \"text\""},
      {"application/json", R"({"text": "a", "texts": ["b"]})", "", "not both"},
      {"application/json", R"({"text": 5})", "", "\"text\" must be a string"},
      {"application/json", R"({"texts": ["a", null]})", "", "array of strings"},
      {"application/json", R"({"text": "a", "option": 3})", "", "\"option\" must be 0"},
      {"application/json", R"({"text": "a", "option": "1"})", "", "\"option\" must be 0"},
      {"application/json", "{\"text\": \"\xC0\xAF\"}", "", "not valid UTF-8"},  // overlong "/"
      {"application/json", R"({"text": "\ud800"})", "", "malformed JSON"},      // lone surrogate
      {"application/json", R"({"text": "a\u0000b"})", "", "U+0000"},
      {"application/json", std::string(100000, '[') + std::string(100000, ']'), "",
       "nests deeper than 16"},
      // Not JSON, and the parser stops inside a character: the message stays UTF-8.
      {"application/json", "李鹏在北京", "", "malformed JSON"},
      {"application/json", R"({"text": "a", "z": 1e400})", "", "cannot be read"},
      {"text/plain", "李鹏\n\xED\xA0\x80", "", "not valid UTF-8"},  // encoded surrogate
      {"text/plain", "李鹏", "7", "option parameter"},
  };
  for (const Case& c : cases) {
    CReply reply = service_->Tag(c.content_type, c.body, c.query);
    EXPECT_EQ(reply.status, 400) << c.body.substr(0, 40);
    const json error = json::parse(reply.body)["error"];
    EXPECT_EQ(error["status"], 400);
    EXPECT_NE(error["message"].get<std::string>().find(c.message), std::string::npos)
        << error["message"];
  }
}

TEST_F(TagServiceTest, JsonNestingLimitIsExactlySixteen) {
  // The object is level 1; 15 arrays inside it make 16 levels, 16 make 17.
  auto nested = [](int arrays) {
    return R"({"text": "李鹏", "x": )" + std::string(arrays, '[') + std::string(arrays, ']') + "}";
  };
  EXPECT_EQ(service_->Tag("application/json", nested(15), "").status, 200);
  const CReply deeper = service_->Tag("application/json", nested(16), "");
  EXPECT_EQ(deeper.status, 400);
  EXPECT_NE(deeper.body.find("deeper than 16"), std::string::npos) << deeper.body;
}

TEST_F(TagServiceTest, MediaTypeIsMatchedInAnyLetterCase) {
  for (const char* type : {"Text/Plain", "TEXT/PLAIN; charset=UTF-8", " text/plain ;q=1"}) {
    const CReply reply = service_->Tag(type, "李鹏在北京", "");
    EXPECT_EQ(reply.status, 200) << type;
    EXPECT_EQ(reply.content_type.rfind("application/x-ndjson", 0), 0u) << type;
  }
  EXPECT_EQ(service_->Tag("text/plainer", "李鹏在北京", "").status, 400);  // read as JSON
}

TEST_F(TagServiceTest, AnswersAreWrittenExactlyAsTheJsonLibraryWritesThem) {
  // Quotes, backslashes, control characters and a character outside the BMP
  // in words and renderings: the answer text equals its own parse, dumped.
  const std::string body = json{{"texts", {"李鹏说\"好\"\\\t\x01在北京😀", "，，，。"}}}.dump();
  const CReply reply = service_->Tag("application/json", body, "");
  ASSERT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(nlohmann::ordered_json::parse(reply.body).dump() + "\n", reply.body);
  const CReply plain = service_->Tag("text/plain", "李鹏\t在\x02北京", "1");
  ASSERT_EQ(plain.status, 200) << plain.body;
  EXPECT_EQ(nlohmann::ordered_json::parse(plain.body).dump() + "\n", plain.body);
}

TEST(TagServiceLongWordTest, EntityLongerThanARecordIsOneEntityAsInTheCommand) {
  // The hand-made model reads 国 as the start of an organization, 务 inside
  // one and 院 as its end: a 302-character organization, which the library
  // returns as records of 255 and 47 characters.
  const std::string res = std::string(VERRIN_TEST_DATA_DIR) + "/tagger";
  CNEResourceManager manager;
  ASSERT_TRUE(manager.LoadResource(res.c_str(), (res + "/model.txt").c_str(), false));
  CTagService service;
  service.Attach(&manager, 1, CServiceInfo{res, res + "/model.txt", false, 1 << 20, ""});
  std::string org = "国";
  for (int i = 0; i < 300; ++i) org += "务";
  org += "院";
  const std::string text = "张三在" + org + "，在北京";
  const CReply reply = service.Tag("text/plain", text, "");
  ASSERT_EQ(reply.status, 200) << reply.body;
  const json result = json::parse(reply.body);
  std::vector<std::string> from_service;
  for (const json& e : result["entities"]) {
    from_service.push_back(e["tag"].get<std::string>() + " " + e["text"].get<std::string>() + " " +
                           std::to_string(e["start"].get<int>()) + " " +
                           std::to_string(e["end"].get<int>()));
  }
  EXPECT_EQ(from_service,
            (std::vector<std::string>{"P 张三 0 2", "O " + org + " 3 305", "L 北京 307 309"}));
  EXPECT_EQ(result["words"].size(), 7u) << "the words keep the records: 255 + 47 units";

  const std::string dir = testing::MakeTempDir("long-entity");
  testing::WriteFile(dir + "/in.txt", text + "\n");
  std::string out;
  ASSERT_EQ(testing::RunCommand(std::string(VERRIN_CLI_PATH) + " tag --format entities --res '" +
                                    res + "' '" + dir + "/in.txt'",
                                &out),
            0);
  std::vector<std::string> from_command;
  const json line = json::parse(out);
  for (const json& e : line["entities"]) {
    from_command.push_back(e["label"].get<std::string>() + " " + e["text"].get<std::string>() +
                           " " + std::to_string(e["start"].get<int>()) + " " +
                           std::to_string(e["end"].get<int>()));
  }
  EXPECT_EQ(from_service, from_command);
}

TEST(TagServiceUntaggedTest, ClausesThatCannotBeTaggedAreCountedInTheAnswer) {
  // Without outcome 52 (the sentinel) no clause with a scored label has a
  // path: its words are missing, and the answer must say so.
  const std::string res = std::string(VERRIN_TEST_DATA_DIR) + "/tagger";
  const std::string dir = testing::MakeTempDir("service-no-end-label");
  for (const char* file : {"dict.txt", "NeItem.txt", "NeAffix.txt", "charset_lableInfo_tr.txt"}) {
    testing::WriteFile(dir + "/" + file, testing::ReadFile(res + "/" + file));
  }
  std::string model = testing::ReadFile(res + "/model.txt");
  const size_t end_label = model.find("52\t");
  ASSERT_NE(end_label, std::string::npos);
  model.erase(end_label, model.find('\n', end_label) + 1 - end_label);
  testing::WriteFile(dir + "/model.txt", model);
  CNEResourceManager manager;
  ASSERT_TRUE(manager.LoadResource(dir.c_str(), (dir + "/model.txt").c_str(), false));
  CTagService service;
  service.Attach(&manager, 1, CServiceInfo{dir, dir + "/model.txt", false, 1 << 20, ""});
  const CReply reply =
      service.Tag("application/json", R"({"texts": ["张三在北京，北京", "[mdw 某某]"]})", "");
  ASSERT_EQ(reply.status, 200) << reply.body;
  const json results = json::parse(reply.body)["results"];
  EXPECT_EQ(results[0]["untagged_clauses"], 2) << results[0];
  EXPECT_TRUE(results[0]["words"].empty());
  // A lone mdw bracket needs no score: tagged whole, nothing to report.
  EXPECT_FALSE(results[1].contains("untagged_clauses")) << results[1];
  EXPECT_EQ(results[1]["words"].size(), 1u);
}

TEST(TagServiceLoading, AnswersUnavailableUntilAttached) {
  CTagService service;
  EXPECT_EQ(service.Health().status, 503);
  EXPECT_EQ(service.Info().status, 503);
  EXPECT_EQ(service.Tag("application/json", R"({"text": "a"})", "").status, 503);
}

TEST_F(TagServiceTest, ClosedServiceRefusesInsteadOfWaiting) {
  CTagService closing;
  closing.Attach(manager_, 1, CServiceInfo{});
  closing.Close();
  const CReply reply = closing.Tag("application/json", R"({"text": "李鹏"})", "");
  EXPECT_EQ(reply.status, 503);
  EXPECT_NE(reply.body.find("stopping"), std::string::npos);
}

}  // namespace
}  // namespace verrin::serve
