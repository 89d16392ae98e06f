#include "conversion/record.h"

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace tpjconv {
namespace {

TEST(ReadHeader, SplitsTheFiveFields) {
  const RecordHeader h = read_header("gensal 1234 \"BUSNAME \" 13.80 \"1 \" : #9 mva=100.0 5.0\n");
  EXPECT_EQ("gensal", h.model_name);
  EXPECT_EQ(1234, h.bus_number);
  EXPECT_EQ("BUSNAME ", h.bus_name);
  EXPECT_EQ(13.8f, h.base_kv);
  EXPECT_EQ("1 ", h.unit_id);

  // A longer model name keeps six characters, a long bus name nine, a one-character ID a blank.
  const RecordHeader g = read_header("genrouX 17 \"Ostroleka   \"  220.00 \"1\" : #9\n");
  EXPECT_EQ("genrou", g.model_name);
  EXPECT_EQ("Ostroleka", g.bus_name);
  EXPECT_EQ(220.0f, g.base_kv);
  EXPECT_EQ("1 ", g.unit_id);
}

TEST(ReadHeader, ASecondBlankBeforeTheNameBecomesTheName) {
  const RecordHeader h = read_header("gensal 1234  \"BUSNAME \" 13.80 \"1 \" :\n");
  EXPECT_EQ(" ", h.bus_name);
  EXPECT_EQ(0.0f, h.base_kv);  // "BUSNAME" is no number
  EXPECT_EQ(" 1", h.unit_id);  // from the field " 13.80 "
}

TEST(ReadHeader, MissingAndNonNumericFieldsKeepFreshValues) {
  const RecordHeader h = read_header("gensal x\n");
  EXPECT_EQ(0, h.bus_number);
  EXPECT_EQ("", h.bus_name);
  EXPECT_EQ(0.0f, h.base_kv);
  EXPECT_EQ("  ", h.unit_id);
  EXPECT_EQ(0, read_header("gensal 99999999999 \"A\" 1 \"1\" :").bus_number);
}

TEST(ReadHeaderKey, TheLookupFieldsAsReadHeaderReadsThem) {
  for (const std::string_view text :
       {std::string_view("gensal 1234 \"BUSNAME \" 13.80 \"1 \" :"),
        std::string_view("genrou 7 \"A LONG BUS NAME\" 22 \"G12\" : #9"),
        std::string_view("gentpf   -5,\"X\",1,\"\",:"), std::string_view("gensal x\n"),
        std::string_view("gensal 99999999999 \"A\" 1 \"1\" :"),
        std::string_view("genrou 3 \"N\0AME\" 1.0 \"\0 \" :", 31), std::string_view(""),
        std::string_view("gensal")}) {
    const RecordHeader h = read_header(text);
    const HeaderKey k = read_header_key(text);
    EXPECT_EQ(h.bus_number, k.bus_number) << text;
    EXPECT_EQ(h.bus_number, read_bus_number(text)) << text;
    EXPECT_EQ(h.bus_name, k.bus_name()) << text;
    EXPECT_EQ(h.unit_id, k.unit_id_text()) << text;
  }
}

TEST(JoinContinuations, EachMarkBecomesABlankAndTheNextLineFollowsIt) {
  LineReader input(std::string_view("0.3 0.4 /  rest is lost\n0.5\nother 1 2\n"));
  std::string record = "genrou 1 \"A/B\" 1.0 \"1\" : 0.1 0.2\n";
  join_continuations(record, input);
  // The "/" in the bus name takes the next line, whose own mark takes the one after.
  EXPECT_EQ("genrou 1 \"A 0.3 0.4  0.5\n", record);
  EXPECT_EQ("other 1 2\n", input.next());
}

TEST(JoinContinuations, AtTheEndOfInputTheTextAfterTheMarkStays) {
  LineReader input(std::string_view(""));
  std::string record = "gensal 1 \"A\" 1.0 \"1\" : 0.1 / 0.2 /\n";
  join_continuations(record, input);
  EXPECT_EQ("gensal 1 \"A\" 1.0 \"1\" : 0.1   0.2  \n", record);
}

TEST(ReadParamList, ExampleRecordWithHashAndMvaFields) {
  const std::string record = "gensal 1234 \"BUSNAME \" 13.80 \"1 \" : #9 mva=100.0 5.0 0.05\n";
  ParamTable table{};
  const auto length = header_length(record);
  ASSERT_EQ(record.find(':') + 1, length);
  EXPECT_EQ(100.0f, read_param_list(record, *length, Model::genrou, table).mva_base);
  EXPECT_EQ(5.0f, table[0].value);
  EXPECT_EQ(1, table[0].present);
  EXPECT_EQ(0.05f, table[1].value);
  EXPECT_EQ(1, table[1].present);
  for (int k = 2; k < 20; ++k) {
    EXPECT_EQ(78.0f, table[k].value);
    EXPECT_EQ(0, table[k].present);
  }
}

TEST(ReadParamList, MvaWordForms) {
  ParamTable table{};
  // No mva word: the MVA base is -1 and the first number is cell 0.
  EXPECT_EQ(-1.0f, read_param_list(": 5.0 0.05", 1, Model::genrou, table).mva_base);
  EXPECT_EQ(5.0f, table[0].value);
  // Upper case is no mva word: it takes cell 0 as a present 78.0, the number cell 1.
  EXPECT_EQ(-1.0f, read_param_list(": MVA=100 5.0", 1, Model::genrou, table).mva_base);
  EXPECT_EQ(78.0f, table[0].value);
  EXPECT_EQ(1, table[0].present);
  EXPECT_EQ(100.0f, table[1].value);
  // A longer word that starts with mva counts; a word without a number after it gives -1.
  EXPECT_EQ(60.0f, read_param_list(": #0 mvabase 60 1.0", 1, Model::genrou, table).mva_base);
  EXPECT_EQ(1.0f, table[0].value);
  EXPECT_EQ(-1.0f, read_param_list(": mva=abc 5.0", 1, Model::genrou, table).mva_base);
  EXPECT_EQ(5.0f, table[0].value);
  EXPECT_EQ(-1.0f, read_param_list(": mva=", 1, Model::genrou, table).mva_base);
  EXPECT_EQ(0, table[0].present);
  EXPECT_EQ(-1.0f, read_param_list(": #9\n", 1, Model::genrou, table).mva_base);
  EXPECT_EQ(0, table[0].present);
}

TEST(ReadParamList, QuotedNamesAreSkippedOneAtATime) {
  ParamTable table{};
  read_param_list(": #9 mva=1000 \"tpdo\" 8.0 \"Ang p\" 0.03 \"a\" \"b\" 0.4\n", 1, Model::genrou, table);
  EXPECT_EQ(8.0f, table[0].value);
  EXPECT_EQ(0.03f, table[1].value);  // "Ang p" is one field after the blank became "_"
  EXPECT_EQ(78.0f, table[2].value);  // the second quoted field in a row is taken as a parameter
  EXPECT_EQ(1, table[2].present);
  EXPECT_EQ(0.4f, table[3].value);
  // Two quoted words are one field, and an unclosed quote runs to the end of the text.
  read_param_list(": \"two words\" 1.5 \"open 2.5 3.5\n", 1, Model::genrou, table);
  EXPECT_EQ(1.5f, table[0].value);
  EXPECT_EQ(0, table[1].present);
}

TEST(ReadParamList, TrailingBlankMakesTheLineEndOneMoreField) {
  ParamTable table{};
  read_param_list(": 1 2 3 \n", 1, Model::genrou, table);
  EXPECT_EQ(1, table[3].present);
  EXPECT_EQ(78.0f, table[3].value);
  EXPECT_EQ(0, table[4].present);
  read_param_list(": 1 2 3\r\n", 1, Model::genrou, table);
  EXPECT_EQ(3.0f, table[2].value);
  EXPECT_EQ(0, table[3].present);
}

TEST(ReadParamList, TakesTwentyNumbersAndIgnoresTheRest) {
  std::string record = "genrou 1 \"A\" 1 \"1\" :";
  for (int i = 1; i <= 25; ++i) record.append(" ").append(std::to_string(i));
  ParamTable table{};
  read_param_list(record, *header_length(record), Model::genrou, table);
  for (int k = 0; k < 20; ++k) EXPECT_EQ(static_cast<float>(k + 1), table[k].value);
  EXPECT_EQ(std::nullopt, header_length("genrou 1 \"A\" 1 \"1\" 2 3"));
}

TEST(RecognisedModel, FirstSixCharactersFromTheFirstColumn) {
  EXPECT_EQ(Model::gensal, recognised_model("gensal 1"));
  EXPECT_EQ(Model::genrou, recognised_model("genrouX 1"));
  EXPECT_EQ(Model::gentpf, recognised_model("gentpf"));
  EXPECT_EQ(std::nullopt, recognised_model(" gensal 1"));
  EXPECT_EQ(std::nullopt, recognised_model("GENSAL 1"));
  EXPECT_EQ(std::nullopt, recognised_model("gentpj 1"));
  EXPECT_EQ(std::nullopt, recognised_model("gens"));
}

}  // namespace
}  // namespace tpjconv

namespace tpjconv {
namespace {

std::string genrou_with(std::string_view params) {
  return "genrou 1 \"A\" 1.0 \"1 \" : #9 mva=100 " + std::string(params) + "\n";
}

TEST(ReadParamList, NamedNumbersGoToTheCellsOfTheirNames) {
  ParamTable in_order{}, shuffled{};
  const std::string a = genrou_with(
      "\"tpdo\" 8.0 \"tppdo\" 0.03 \"tpqo\" 0.4 \"tppqo\" 0.05 \"h\" 5.0 \"d\" 0.0 \"ld\" 1.8 "
      "\"lq\" 1.7 \"lpd\" 0.3 \"lpq\" 0.55 \"lppd\" 0.25 \"ll\" 0.2 \"s1\" 0.1 \"s12\" 0.3 "
      "\"ra\" 0.0025 \"rcomp\" 0.0 \"xcomp\" 0.0 \"accel\" 0.5");
  const std::string b = genrou_with(
      "\"XCOMP\" 0.0 \"accel\" 0.5 \"Ld\" 1.8 \"tpdo\" 8.0 \"lpq\" 0.55 \"rcomp\" 0.0 \"ra\" 0.0025 "
      "\"tppqo\" 0.05 \"s12\" 0.3 \"h\" 5.0 \"tpqo\" 0.4 \"ll\" 0.2 \"d\" 0.0 \"lppd\" 0.25 "
      "\"tppdo\" 0.03 \"s1\" 0.1 \"lpd\" 0.3 \"lq\" 1.7");
  const ParamList la = read_param_list(a, *header_length(a), Model::genrou, in_order);
  const ParamList lb = read_param_list(b, *header_length(b), Model::genrou, shuffled);
  EXPECT_EQ(NamedForm::by_name, la.form);
  EXPECT_EQ(NamedForm::by_name, lb.form);
  EXPECT_EQ(100.0f, lb.mva_base);
  for (int k = 0; k < 17; ++k) {
    EXPECT_EQ(in_order[k].value, shuffled[k].value) << k;
    EXPECT_EQ(1, shuffled[k].present) << k;
  }
  EXPECT_EQ(1.8f, shuffled[6].value);
  EXPECT_EQ(0.55f, shuffled[9].value);
  EXPECT_EQ(0, shuffled[17].present);  // accel takes no cell

  // A name the record leaves out is absent; the line end after a last blank is no number.
  ParamTable table{};
  const std::string short_one = "gensal 1 \"A\" 1 \"1\" : \"tppdo\" 0.03 \"tpdo\" 5.0 \n";
  EXPECT_EQ(NamedForm::by_name,
            read_param_list(short_one, *header_length(short_one), Model::gensal, table).form);
  EXPECT_EQ(5.0f, table[0].value);
  EXPECT_EQ(0.03f, table[1].value);
  EXPECT_EQ(0, table[2].present);
  EXPECT_EQ(78.0f, table[2].value);
  // A named field that is no number marks its cell present with the placeholder.
  const std::string word = "gentpf 1 \"A\" 1 \"1\" : \"lppq\" abc \"tpdo\" 5.0\n";
  const ParamList lw = read_param_list(word, *header_length(word), Model::gentpf, table);
  EXPECT_EQ(1u << 11, lw.not_numbers);
  EXPECT_EQ(1, table[11].present);
  EXPECT_EQ(78.0f, table[11].value);
}

TEST(ReadParamList, NamesThatDoNotFitAreReadByPosition) {
  struct Case {
    std::string params;
    NameProblem problem;
    std::string field;
  };
  const Case cases[] = {
      {"\"tpdo\" 8.0 \"lppq\" 0.2 \"tppdo\" 0.03", NameProblem::unknown_name, "\"lppq\""},
      {"\"tpdo\" 8.0 \"Ang p\" 0.2", NameProblem::unknown_name, "\"Ang_p\""},
      {"\"tpdo\" 8.0 \"TPDO\" 0.03", NameProblem::repeated_name, "\"TPDO\""},
      {"\"tpdo\" 8.0 0.03 \"tpqo\" 0.4", NameProblem::number_without_name, "0.03"},
      {"\"tpdo\" 8.0 \"tppdo\" \"tpqo\" 0.4", NameProblem::name_without_number, "\"tppdo\""},
      {"\"tpdo\" 8.0 \"accel\"", NameProblem::name_without_number, "\"accel\""},
      // A name with nothing after it but the line end; a number last without a name.
      {"\"tpdo\" 8.0 \"tppdo\" ", NameProblem::name_without_number, "\"tppdo\""},
      {"\"tpdo\" 8.0 0.03", NameProblem::number_without_name, "0.03"},
  };
  for (const Case& c : cases) {
    ParamTable table{};
    const std::string record = genrou_with(c.params);
    const ParamList list = read_param_list(record, *header_length(record), Model::genrou, table);
    EXPECT_EQ(NamedForm::by_position, list.form) << c.params;
    EXPECT_EQ(c.problem, list.problem) << c.params;
    EXPECT_EQ(c.field, list.problem_field) << c.params;
    // By position, as a record without names: one quoted field skipped before each number.
    EXPECT_EQ(8.0f, table[0].value) << c.params;
  }
  ParamTable table{};
  const std::string plain = genrou_with("8.0 0.03");
  EXPECT_EQ(NamedForm::none, read_param_list(plain, *header_length(plain), Model::genrou, table).form);
}

// What a record's warnings are made of: each field of the model's parameters read only in part,
// or not finite, with its name, text and value; and the fields after the last parameter.
std::string odd_of(const ParamList& list) {
  std::string text;
  for (const OddNumber& odd : list.odd_numbers) {
    const char* fit = odd.fit == NumberFit::not_wholly   ? "part"
                      : odd.fit == NumberFit::not_finite ? "inf"
                                                         : "none";
    text += std::string(odd.name) + "=" + odd.text + ":" + fit + ":" + std::to_string(odd.value) + " ";
  }
  return text + "unused=" + std::to_string(list.unused_fields);
}

ParamList read_of(std::string_view params, Model model) {
  ParamTable table{};
  const std::string record = "gensal 1 \"A\" 1.0 \"1 \" :" + std::string(params);
  return read_param_list(record, *header_length(record), model, table);
}

TEST(ReadParamList, NumbersNotWhollyReadAndFieldsNotUsed) {
  // The common record: nothing to tell, whatever its line end.
  const std::string genrou17 = " 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17";
  for (const char* end : {"", "\n", "\r\n", " \n", ", \r\n", "\t\n"}) {
    EXPECT_EQ("unused=0", odd_of(read_of(genrou17 + end, Model::genrou))) << end;
  }
  // One more field, on the fast road and off it; a carriage return alone is text.
  EXPECT_EQ("unused=1", odd_of(read_of(genrou17 + " 18\r\n", Model::genrou)));
  EXPECT_EQ("unused=1", odd_of(read_of(genrou17 + " 18 \r\n", Model::genrou)));
  EXPECT_EQ("unused=1", odd_of(read_of(genrou17 + " x\n", Model::genrou)));
  EXPECT_EQ("unused=1", odd_of(read_of(genrou17 + " \r", Model::genrou)));
  EXPECT_EQ("unused=1", odd_of(read_of(genrou17 + " 1e50\n", Model::genrou)));
  // Every field after the parameters counts, also beyond the twentieth.
  EXPECT_EQ("unused=13", odd_of(read_of(genrou17 + " 1 2 3 4 5 6 7 8 9 10 11 12 13 \n",
                                        Model::genrou)));
  // Blanks that end a record without a line end are no field.
  EXPECT_EQ("unused=4", odd_of(read_of(genrou17 + " 1 2 3 4  ", Model::genrou)));
  // Nothing after the colon: no parameter at all.
  const ParamList empty = read_of("", Model::genrou);
  EXPECT_EQ("unused=0", odd_of(empty));
  EXPECT_EQ(0u, empty.given);
  EXPECT_EQ("unused=5", odd_of(read_of(" 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20",
                                       Model::gensal)));
  EXPECT_EQ("unused=2", odd_of(read_of(" 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20",
                                       Model::gentpf)));
  // The line end of the last parameter is no text, in either form; other line ends are.
  EXPECT_EQ("tpdo=7.x22:part:7.000000 h=7.\r22:part:7.000000 unused=0",
            odd_of(read_of(" 7.x22 2 3 4 7.\r22 6 7 8 9 10 11 12 13 14 15 16 1.5\r\n",
                           Model::genrou)));
  EXPECT_EQ("xcomp=1.5\r:part:1.500000 unused=0",
            odd_of(read_of(genrou17.substr(0, genrou17.size() - 3) + " 1.5\r", Model::genrou)));
  EXPECT_EQ("xcomp=1e39:inf:inf unused=0",
            odd_of(read_of(genrou17.substr(0, genrou17.size() - 3) + " 1e39\r\n", Model::genrou)));
  // The MVA number, and not-a-number fields, which have their own warning.
  const ParamList mva = read_of(" #9 mva=90x nan 0x10 abc\n", Model::gensal);
  EXPECT_EQ("mva=90x:part:90.000000 tpdo=nan:inf:nan tppdo=0x10:part:16.000000 unused=0",
            odd_of(mva));
  EXPECT_EQ(90.0f, mva.mva_base);
  EXPECT_EQ(1u << 2, mva.not_numbers);
  const ParamList no_mva = read_of(" mva=abc 5\n", Model::gensal);
  EXPECT_EQ(-1.0f, no_mva.mva_base);
  EXPECT_EQ("mva=abc:none:-1.000000 unused=0", odd_of(no_mva));
  EXPECT_EQ("unused=0", odd_of(read_of(" mva=\r\n", Model::gensal)));
  // Quoted fields read by position, and names read by name.
  EXPECT_EQ("tpdo=5z:part:5.000000 unused=2",
            odd_of(read_of(" \"x\" 5z" + genrou17.substr(2) + " \"y\" 1 2 \r\n", Model::genrou)));
  EXPECT_EQ("tppdo=inf:inf:inf unused=0",
            odd_of(read_of(" \"tpdo\" 5 \"tppdo\" inf \"accel\" 0.5x\n", Model::gensal)));
}

// The values of a record stay those "%f" reads, whatever the warnings say about them.
TEST(ReadParamList, ValuesStayWhatTheLongestPrefixReads) {
  ParamTable table{};
  const std::string record =
      "genrou 1 \"A\" 1.0 \"1 \" : 7.22abc 7.x22 0x10 1e39 -1e400 nan 0.3\r\n";
  read_param_list(record, *header_length(record), Model::genrou, table);
  EXPECT_EQ(7.22f, table[0].value);
  EXPECT_EQ(7.0f, table[1].value);
  EXPECT_EQ(16.0f, table[2].value);
  EXPECT_EQ(std::numeric_limits<float>::infinity(), table[3].value);
  EXPECT_EQ(-std::numeric_limits<float>::infinity(), table[4].value);
  EXPECT_TRUE(std::isnan(table[5].value));
  EXPECT_EQ(0.3f, table[6].value);
  EXPECT_EQ(0, table[7].present);
}

// The number after the mva word, wherever it stands: the record's last field with its line end,
// a field that is only a line end, a plain number and one read the long way.
TEST(ReadParamList, MvaNumberWithAndWithoutTheRecordsLineEnd) {
  const struct {
    const char* params;
    float mva;
    const char* odd;
  } cases[] = {
      {" mva=100\r\n", 100.0f, "unused=0"},
      {" mva=100\n", 100.0f, "unused=0"},
      {" mva=100\r", 100.0f, "mva=100\r:part:100.000000 unused=0"},
      {" mva=100\rx", 100.0f, "mva=100\rx:part:100.000000 unused=0"},
      {" mva=1e2\r\n", 100.0f, "unused=0"},
      {" mva=1e2 5", 100.0f, "unused=0"},
      {" mva=1e2x\n", 100.0f, "mva=1e2x:part:100.000000 unused=0"},
      {" mva=0x64 5", 100.0f, "mva=0x64:part:100.000000 unused=0"},
      {" mva=\r\n", -1.0f, "unused=0"},
      {" mva= \n", -1.0f, "unused=0"},
      {" mva=\r 5", -1.0f, "mva=\r:none:-1.000000 unused=0"},
  };
  for (const auto& c : cases) {
    const ParamList list = read_of(c.params, Model::genrou);
    EXPECT_EQ(c.mva, list.mva_base) << c.params;
    EXPECT_EQ(c.odd, odd_of(list)) << c.params;
  }
}

// Short numbers on the fast road end at a separator or at the record's own line end; any other
// character after them, a lone carriage return too, sends the field the long way.
TEST(ReadParamList, ShortNumbersEndAtASeparatorOrTheRecordsLineEnd) {
  ParamTable table{};
  const std::string record = "gensal 1 \"A\" 1 \"1\" : 1.5\r 2.5\n3 4\r\n";
  const ParamList list = read_param_list(record, *header_length(record), Model::gensal, table);
  EXPECT_EQ(1.5f, table[0].value);
  EXPECT_EQ(2.5f, table[1].value);  // "2.5\n3" is one field: the LF inside it is text
  EXPECT_EQ(4.0f, table[2].value);
  EXPECT_EQ(0, table[3].present);
  EXPECT_EQ("tpdo=1.5\r:part:1.500000 tppdo=2.5\n3:part:2.500000 unused=0", odd_of(list));
}

// Quotes that make no name: a quote inside a field, a name with a quote inside it, an unclosed
// name. Such a record is read by position as far as its names go.
TEST(ReadParamList, QuotesThatAreNoNames) {
  ParamTable table{};
  const std::string inner = "genrou 1 \"A\" 1 \"1\" : 5 a\"b\" 6\n";
  const ParamList by_position = read_param_list(inner, *header_length(inner), Model::genrou, table);
  EXPECT_EQ(NamedForm::none, by_position.form);  // no field begins with a quote
  EXPECT_EQ(5.0f, table[0].value);
  EXPECT_EQ(1u << 1, by_position.not_numbers);
  EXPECT_EQ(6.0f, table[2].value);
  for (const char* params : {"\"tp\"do\" 5 \"tppdo\" 6", "\"tpdo 5 6", "\"\" 5"}) {
    const std::string record = std::string("genrou 1 \"A\" 1 \"1\" : ") + params + "\n";
    const ParamList list = read_param_list(record, *header_length(record), Model::genrou, table);
    EXPECT_EQ(NamedForm::by_position, list.form) << params;
    EXPECT_EQ(NameProblem::unknown_name, list.problem) << params;
  }
}

// Each kind of field in each model, first parameter and last: what the warning tells and the
// value used, the line end of the record never part of the text.
TEST(ReadParamList, EachKindOfFieldInEachModel) {
  const struct {
    std::string field;
    std::string odd;  // "" when the field is read wholly
  } kinds[] = {
      {"7.25", ""},
      {"7.22abc", ":part:7.220000"},
      {"7.x22", ":part:7.000000"},
      {std::string("7.\0" "22", 5), ":part:7.000000"},
      {"7.\r22", ":part:7.000000"},
      {"0x10", ":part:16.000000"},
      {"inf", ":inf:inf"},
      {"nan", ":inf:nan"},
      {"1e39", ":inf:inf"},
      {"-1e400", ":inf:-inf"},
      {"3.4028235e38", ""},
  };
  for (const Model model : kModels) {
    const auto names = parameter_names(model);
    for (const auto& kind : kinds) {
      for (const char* end : {"\n", "\r\n"}) {
        // The field first, then last, with the numbers of the model between.
        std::string first = " " + kind.field, last;
        for (std::size_t k = 1; k < names.size(); ++k) {
          first += " 0.5";
          last += " 0.5";
        }
        last += " " + kind.field;
        const std::string tail = kind.odd.empty() ? "unused=0" : " unused=0";
        const std::string first_odd =
            kind.odd.empty() ? "" : std::string(names.front()) + "=" + kind.field + kind.odd;
        const std::string last_odd =
            kind.odd.empty() ? "" : std::string(names.back()) + "=" + kind.field + kind.odd;
        EXPECT_EQ(first_odd + tail, odd_of(read_of(first + end, model)))
            << model_name(model) << " " << kind.field;
        EXPECT_EQ(last_odd + tail, odd_of(read_of(last + end, model)))
            << model_name(model) << " " << kind.field;
        // One more field, of any kind, is one not used.
        EXPECT_EQ(first_odd + (kind.odd.empty() ? "unused=1" : " unused=1"),
                  odd_of(read_of(first + " " + kind.field + end, model)))
            << model_name(model) << " " << kind.field;
      }
    }
  }
}

}  // namespace
}  // namespace tpjconv
