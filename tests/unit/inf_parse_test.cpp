// The INF parser and the reads of its model, fed strings: where the line
// model cuts, joins and splits text, with the answers Wine's setupapi gives
// for the same text.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/posix/inf_model.h"

namespace {

StatusCode parse(const std::string& text, InfModel* model) {
  return inf_parse_text(text.data(), text.size(), model);
}

// The lines of section as parsed, one per text line: each field in <>, a
// key followed by '=', fields joined by ','. "missing" for no such section.
std::string render_section(const InfModel& model, const char* name) {
  int32_t section = inf_model_find_section(&model, name);
  if (section < 0) return "missing";
  std::string out;
  uint32_t count = model.sections[section].line_count;
  for (uint32_t i = 0; i < count; ++i) {
    const InfLineRecord* line = inf_model_line(&model, section, i);
    if (i > 0) out += "\n";
    for (uint32_t f = 0; f < line->field_count; ++f) {
      const InfFieldRecord& field = model.fields[line->first_field + f];
      if (f > 0) out += (f == 1 && line->has_key) ? "=" : ",";
      out += "<" + std::string(inf_model_field_text(&model, field)) + ">";
    }
  }
  return out;
}

// Field index of the first line of [S] with key, substituted.
StatusCode read_s_field(const InfModel& model, const char* key, uint32_t index,
                        std::string* text) {
  int32_t section = inf_model_find_section(&model, "S");
  if (section < 0) return W32_ERROR_LINE_NOT_FOUND;
  uint32_t line = 0;
  StatusCode status = inf_model_find_line(&model, section, key, &line);
  if (status != W32_ERROR_SUCCESS) return status;
  return inf_model_read_field(&model, inf_model_line(&model, section, line),
                              index, text);
}

std::string repeat(char c, size_t count) { return std::string(count, c); }

std::string repeated(const std::string& text, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) out += text;
  return out;
}

struct StatusCase {
  const char* name;
  std::string text;
  StatusCode status;
};

TEST(InfParseTest, HeadersAndTextBeforeTheFirstSectionFailTheParse) {
  const StatusCase cases[] = {
      {"empty text", "", 0},
      {"blanks and comments only", " \t\r\n;c\n\n", 0},
      {"backslash before any section", "\\\n[S]\n",
       W32_ERROR_EXPECTED_SECTION_NAME},
      {"bracket before any section", "]\n[S]\n",
       W32_ERROR_EXPECTED_SECTION_NAME},
      {"keyless text before any section", "x\n[S]\n",
       W32_ERROR_EXPECTED_SECTION_NAME},
      {"lone bracket at the end", "[S]\n[", W32_ERROR_BAD_SECTION_NAME_LINE},
      {"name broken by the line end", "[S\n]\n",
       W32_ERROR_BAD_SECTION_NAME_LINE},
      {"bad header after good lines", "[S]\na=1\n[T\nb=2\n",
       W32_ERROR_BAD_SECTION_NAME_LINE},
      {"long name without its bracket", "[" + repeat('n', 256) + "\n",
       W32_ERROR_BAD_SECTION_NAME_LINE},
      {"long name after good lines", "[S]\na=1\n[" + repeat('n', 300) + "]\n",
       W32_ERROR_SECTION_NAME_TOO_LONG},
      {"name of 256 two-byte characters",
       "[" + repeated("\xC3\xA9", 256) + "]\n",
       W32_ERROR_SECTION_NAME_TOO_LONG},
      {"end-of-text mark inside a name", "[S\x1A]\n",
       W32_ERROR_BAD_SECTION_NAME_LINE},
      {"text before the first section and a mark", "a\x1A[S]\n",
       W32_ERROR_EXPECTED_SECTION_NAME},
  };
  for (const StatusCase& c : cases) {
    InfModel model;
    ASSERT_EQ(parse("[Old]\nx=1\n", &model), 0u);
    EXPECT_EQ(parse(c.text, &model), c.status) << c.name;
    if (c.status != 0) {
      // A failed parse leaves nothing of the text before it, nor of an
      // earlier model.
      EXPECT_TRUE(model.sections.empty()) << c.name;
      EXPECT_TRUE(model.lines.empty()) << c.name;
      EXPECT_TRUE(model.text.empty()) << c.name;
    } else {
      EXPECT_EQ(inf_model_find_section(&model, "Old"), -1) << c.name;
    }
  }
}

struct SectionCase {
  const char* name;
  std::string text;
  std::string section;
  std::string lines;  // render_section of section
};

void expect_sections(const SectionCase* cases, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const SectionCase& c = cases[i];
    InfModel model;
    ASSERT_EQ(parse(c.text, &model), 0u) << c.name;
    EXPECT_EQ(render_section(model, c.section.c_str()), c.lines) << c.name;
  }
}

TEST(InfParseTest, SectionHeadersNameSectionsAsWritten) {
  const SectionCase cases[] = {
      {"bracket inside a name", "[[a]]\nw=1\n", "[a", "<w>=<1>"},
      {"tab inside a name", "[a\tb]\nw=2\n", "a\tb", "<w>=<2>"},
      {"comment sign inside a name", "[;x]\nw=3\n", ";x", "<w>=<3>"},
      {"quotes kept in a name", "[\"q\"]\nw=4\n", "\"q\"", "<w>=<4>"},
      {"empty name", "[]\nw=5\n", "", "<w>=<5>"},
      {"text after the name ignored", "[S] k=v\nw=6\n", "S", "<w>=<6>"},
      {"blanks before the header", " \t[S]\nw=7\n", "S", "<w>=<7>"},
      {"header without lines", "[S]\n[T]\nw=8\n", "S", ""},
      {"line after the last header", "[S]", "S", ""},
      {"name of 255 found by its name", "[" + repeat('n', 255) + "]\nw=9\n",
       repeat('n', 255), "<w>=<9>"},
      {"name of 255 two-byte characters",
       "[" + repeated("\xC3\xA9", 255) + "]\nw=10\n", repeated("\xC3\xA9", 255),
       "<w>=<10>"},
  };
  expect_sections(cases, sizeof cases / sizeof cases[0]);
}

TEST(InfParseTest, RepeatedSectionsMergeInFileOrderUnderTheFirstSpelling) {
  InfModel model;
  ASSERT_EQ(parse("[B]\nb1\n[a]\na1\n[b]\nb2\n[A]\na2\n[C]\n[strings]\n"
                  "x=1\n",
                  &model),
            0u);
  ASSERT_EQ(model.sections.size(), 4u);
  const char* names[] = {"B", "a", "C", "strings"};
  for (uint32_t i = 0; i < 4; ++i) {
    EXPECT_STREQ(inf_model_field_text(&model, model.sections[i].name),
                 names[i]);
    EXPECT_EQ(inf_model_find_section(&model, names[i]), int32_t(i));
  }
  EXPECT_EQ(render_section(model, "b"), "<b1>\n<b2>");
  EXPECT_EQ(render_section(model, "A"), "<a1>\n<a2>");
  EXPECT_EQ(render_section(model, "c"), "");
  EXPECT_EQ(model.strings_section, 3);
  EXPECT_EQ(inf_model_find_section(&model, "D"), -1);
  EXPECT_EQ(inf_model_find_section(&model, nullptr), -1);
  EXPECT_EQ(inf_model_find_section(nullptr, "B"), -1);

  // Sections whose lines lie together keep them in place, whatever the
  // order their headers first appeared in.
  ASSERT_EQ(parse("[A]\n[B]\nb1\nb2\n[a]\na1\n[C]\n[B]\n", &model), 0u);
  EXPECT_EQ(render_section(model, "A"), "<a1>");
  EXPECT_EQ(render_section(model, "B"), "<b1>\n<b2>");
  EXPECT_EQ(render_section(model, "C"), "");
}

TEST(InfParseTest, LinesSplitIntoKeysAndFields) {
  const SectionCase cases[] = {
      {"equals sign after the first field is text", "[S]\na, b = c\n", "S",
       "<a>,<b = c>"},
      {"equals sign as the value", "[S]\n==\n", "S", "<>=<=>"},
      {"lone comma", "[S]\n,\n", "S", "<>,<>"},
      {"quoted empty key", "[S]\n\"\" = 1\n", "S", "<>=<1>"},
      {"blank key", "[S]\n = 2\n", "S", "<>=<2>"},
      {"comment right after the text", "[S]\nk=1;c\nj=;c\n", "S",
       "<k>=<1>\n<j>=<>"},
      {"blank and comment lines make no line", "[S]\n \t\n; c\n  ;c\nk\n", "S",
       "<k>"},
      {"quote then text", "[S]\nk = \"a\" b\n", "S", "<k>=<a b>"},
      {"text then quote", "[S]\nk = a \"b\"\n", "S", "<k>=<a b>"},
      {"blanks around quoted fields dropped", "[S]\nk = \"a\" , \"b\" \n", "S",
       "<k>=<a>,<b>"},
      {"blanks between quoted parts kept", "[S]\nk = \"a\"  x  \"b\"  \n", "S",
       "<k>=<a  x  b>"},
      {"quote at the end of the text", "[S]\nk = \"abc", "S", "<k>=<abc>"},
      {"doubled quote alone", "[S]\nq = \"\"\"\"\n", "S", "<q>=<\">"},
      {"lone carriage return does not end a line", "[S]\na=1\rb=2\n", "S",
       "<a>=<1\rb=2>"},
      {"control characters are text", "[S]\nk = a\x01\x1B b\n", "S",
       "<k>=<a\x01\x1B b>"},
      {"continuation into a header line", "[S]\nk = a\\\n[T]\nx=1\n", "S",
       "<k>=<a[T]>\n<x>=<1>"},
      {"continuation at the end of the text", "[S]\nk = a \\", "S", "<k>=<a>"},
      {"continuation to a comment line", "[S]\nk = a \\\n; c\nb\n", "S",
       "<k>=<a>\n<b>"},
      {"continuation of a keyless line", "[S]\na,\\\n  b\n", "S", "<a>,<b>"},
      {"continuation alone makes an empty line", "[S]\n\\\n\nk\n", "S",
       "<>\n<k>"},
      {"continuation of an empty value", "[S]\nc = \\\n", "S", "<c>=<>"},
      {"backslashes and blanks before the line end", "[S]\nk = a\\ \\\nb\n",
       "S", "<k>=<ab>"},
      // The text is UTF-8: blanks beyond ASCII are the characters, never a
      // byte inside another character (U+00E0 ends in 0xA0).
      {"no-break space and ideographic space are blanks",
       "[S]\n\xC2\xA0k\xE3\x80\x80= \xC2\xA0"
       "a\xC2\xA0"
       "b\xE2\x80\xA8\n",
       "S",
       "<k>=<a\xC2\xA0"
       "b>"},
      {"a character ending in 0xA0 is text", "[S]\nk = \xC3\xA0\n", "S",
       "<k>=<\xC3\xA0>"},
      {"zero-width space is text", "[S]\nk = \xE2\x80\x8Bx\n", "S",
       "<k>=<\xE2\x80\x8Bx>"},
      {"continuation after a wide blank", "[S]\nk = a\\\xE3\x80\x80\nb\n", "S",
       "<k>=<ab>"},
  };
  expect_sections(cases, sizeof cases / sizeof cases[0]);
}

TEST(InfParseTest, FieldsAreCutAt511Characters) {
  const SectionCase cases[] = {
      {"511 kept whole", "[S]\nk = " + repeat('x', 511) + "\n", "S",
       "<k>=<" + repeat('x', 511) + ">"},
      {"blanks inside count", "[S]\nk = " + repeat('x', 510) + "  y\n", "S",
       "<k>=<" + repeat('x', 510) + " >"},
      {"quoted text cut, next field kept",
       "[S]\nk = \"" + repeat('x', 600) + "\", z\n", "S",
       "<k>=<" + repeat('x', 511) + ">,<z>"},
      {"doubled quote counts one",
       "[S]\nk = " + repeat('x', 510) + "\"\"\"\"\n", "S",
       "<k>=<" + repeat('x', 510) + "\">"},
      {"key cut, value kept", "[S]\n" + repeat('x', 600) + " = v\n", "S",
       "<" + repeat('x', 511) + ">=<v>"},
      // Characters, not bytes, in UTF-16 units as SetupAPI counts them; a
      // character is kept whole or not at all.
      {"511 two-byte characters kept whole",
       "[S]\nk = " + repeated("\xC3\xA9", 600) + "\n", "S",
       "<k>=<" + repeated("\xC3\xA9", 511) + ">"},
      {"a pair that would pass 511 units is dropped whole",
       "[S]\nk = " + repeat('x', 510) + "\xF0\x9F\x98\x80y\n", "S",
       "<k>=<" + repeat('x', 510) + ">"},
  };
  expect_sections(cases, sizeof cases / sizeof cases[0]);
}

TEST(InfParseTest, NothingAfterTheEndOfTextMarkIsRead) {
  const SectionCase cases[] = {
      {"mark between lines", "[S]\na=1\x1A\nb=2\n[T]\n", "S", "<a>=<1>"},
      {"mark inside quotes",
       "[S]\nk=\"a\x1A"
       "b\"\n",
       "S", "<k>=<a>"},
      {"mark after a header", "[S]\x1A\nk=v\n", "S", ""},
      {"section after the mark", "[S]\n\x1A[T]\n", "T", "missing"},
      {"mark first", "\x1A[S]\nk=v\n", "S", "missing"},
  };
  expect_sections(cases, sizeof cases / sizeof cases[0]);
}

struct SubstitutionCase {
  const char* field;  // the value of k in [S]
  const char* text;   // as read
};

TEST(InfParseTest, PercentNamesAreReplacedFromStringsWhenRead) {
  const char kStrings[] =
      "[Strings]\na=A\nb=B\nc=1\nc=2\nd=\nmulti = m1, m2\nkeyless\n"
      "two, fields\n\" sp \" = X\n";
  const SubstitutionCase cases[] = {
      {"%a%%b%", "AB"},   {"%%%a%", "%A"},
      {"%a%%%", "A%"},    {"%a%%", "A%"},
      {"%%a%%", "%a%"},   {"%%", "%"},
      {"50%", "50%"},     {"%", "%"},
      {"%b", "%b"},       {"x%A%y", "xAy"},
      {"%c%", "1"},       {"%d%end", "end"},
      {"%multi%", "m1"},  {"%keyless%", "keyless"},
      {"%two%", "%two%"}, {"%sp%", "%sp%"},
      {"% sp %", "X"},    {"%missing%a%", "%missing%a%"},
      {"\"%a%\"", "A"},
  };
  for (const SubstitutionCase& c : cases) {
    InfModel model;
    ASSERT_EQ(
        parse(std::string("[S]\nk = ") + c.field + "\n" + kStrings, &model), 0u)
        << c.field;
    std::string text;
    ASSERT_EQ(read_s_field(model, "k", 1, &text), 0u) << c.field;
    EXPECT_EQ(text, c.text) << c.field;
  }

  InfModel model;
  ASSERT_EQ(parse("[S]\nk = %a%\n", &model), 0u);
  EXPECT_EQ(model.strings_section, -1);
  std::string text;
  ASSERT_EQ(read_s_field(model, "k", 1, &text), 0u);
  EXPECT_EQ(text, "%a%");
}

struct FindCase {
  const char* key;  // null: any line
  StatusCode status;
  uint32_t line;
};

TEST(InfParseTest, KeysFindTheFirstLineWhoseField0MatchesAfterSubstitution) {
  InfModel model;
  ASSERT_EQ(parse("[S]\na, b\nk = first\nK = second\nsingle\n\"\" = e\n"
                  "%n% = sub\n[Strings]\nn = Name\n",
                  &model),
            0u);
  const FindCase cases[] = {
      {nullptr, 0, 0},
      {"k", 0, 1},
      {"K", 0, 1},
      {"single", 0, 3},
      {"", 0, 4},
      {"name", 0, 5},
      {"%n%", W32_ERROR_LINE_NOT_FOUND, 0},
      {"a", W32_ERROR_LINE_NOT_FOUND, 0},
      {"a, b", W32_ERROR_LINE_NOT_FOUND, 0},
  };
  for (const FindCase& c : cases) {
    uint32_t line = 99;
    const char* name = c.key == nullptr ? "(null)" : c.key;
    EXPECT_EQ(inf_model_find_line(&model, 0, c.key, &line), c.status) << name;
    if (c.status == 0) {
      EXPECT_EQ(line, c.line) << name;
    }
  }
  // A keyless line of two fields has a field 1 and 2 but no field 0.
  const InfLineRecord* line = inf_model_line(&model, 0, 0);
  EXPECT_EQ(inf_model_raw_field(&model, line, 0), nullptr);
  std::string text;
  EXPECT_EQ(inf_model_read_field(&model, line, 0, &text),
            W32_ERROR_GEN_FAILURE);
  ASSERT_EQ(inf_model_read_field(&model, line, 2, &text), 0u);
  EXPECT_EQ(text, "b");
  EXPECT_EQ(inf_model_read_field(&model, line, 3, &text),
            W32_ERROR_GEN_FAILURE);
}

struct IntCase {
  const char* text;
  StatusCode status;
  int32_t value;
};

TEST(InfParseTest, IntegersReadAsStrtolReadsA32BitLong) {
  const IntCase cases[] = {
      {"0", 0, 0},
      {"-0", 0, 0},
      {"00", 0, 0},
      {"0x0", 0, 0},
      {"0777", 0, 511},
      {"0017", 0, 15},
      {"+0x10", 0, 16},
      {"0x7fffffff", 0, INT32_MAX},
      {"-0x7fffffff", 0, -INT32_MAX},
      {"-0x80000000", 0, INT32_MIN},
      {"-2147483649", 0, INT32_MIN},
      {"4294967296", 0, INT32_MAX},
      {"0xffffffff0", 0, INT32_MAX},
      {"18446744073709551617", 0, INT32_MAX},
      {"-99999999999999999999", 0, INT32_MIN},
      {" \t\n\v\f\r-5", 0, -5},
      {"09", W32_ERROR_INVALID_DATA, 0},
      {"0b1", W32_ERROR_INVALID_DATA, 0},
      {"0B1", W32_ERROR_INVALID_DATA, 0},
      {"1e3", W32_ERROR_INVALID_DATA, 0},
      {"0x1g", W32_ERROR_INVALID_DATA, 0},
      {"0xg", W32_ERROR_INVALID_DATA, 0},
      {"0X", W32_ERROR_INVALID_DATA, 0},
      {"0x-1", W32_ERROR_INVALID_DATA, 0},
      {"+-1", W32_ERROR_INVALID_DATA, 0},
      {"+", W32_ERROR_INVALID_DATA, 0},
      {"5 ", W32_ERROR_INVALID_DATA, 0},
      {"   ", W32_ERROR_INVALID_DATA, 0},
      {"\xA0"
       "5",
       13, 0},
  };
  for (const IntCase& c : cases) {
    int32_t value = 12345;
    EXPECT_EQ(inf_parse_int(c.text, &value), c.status) << c.text;
    EXPECT_EQ(value, c.status == 0 ? c.value : 12345) << c.text;
  }
}

}  // namespace
