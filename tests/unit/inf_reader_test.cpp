// The POSIX INF reader: the SetupAPI line model, with the answers Wine's
// setupapi gives for the same files.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/inf.h"
#include "platform/posix/fault.h"
#include "platform/posix/inf_text.h"
#include "platform/text_encoding.h"
#include "test_root.h"

namespace {

const char kHeader[] = "[Version]\nSignature=\"$Windows NT$\"\n";

class InfReaderTest : public TestRoot {
 protected:
  void TearDown() override {
    if (inf_ != nullptr) inf_close(inf_);
    TestRoot::TearDown();
  }

  // Writes header + body as zebsetup.inf and opens it by its bare name.
  StatusCode open_body(const std::string& body) {
    return open_bytes(kHeader + body);
  }

  StatusCode open_bytes(const std::string& bytes) {
    if (inf_ != nullptr) inf_close(inf_);
    inf_ = nullptr;
    write_inf(bytes);
    return inf_open("zebsetup.inf", &inf_);
  }

  // Field index of the first line of section with key (null: first line).
  StatusCode field(const char* section, const char* key, uint32_t index,
                   std::string* text) {
    InfLine line;
    StatusCode status = inf_find_first_line(inf_, section, key, &line);
    if (status != 0) return status;
    char buffer[1024];
    uint32_t required = 0;
    status =
        inf_get_string_field(&line, index, buffer, sizeof buffer, &required);
    if (status == 0) {
      *text = buffer;
      EXPECT_EQ(required, text->size() + 1);
    }
    return status;
  }

  InfHandle inf_ = nullptr;
};

struct OpenCase {
  const char* name;
  std::string bytes;
  StatusCode status;
};

TEST_F(InfReaderTest, OpenChecksTheWin4SignatureAndTheFileShape) {
  const OpenCase cases[] = {
      {"nt", "[Version]\nSignature=\"$Windows NT$\"\n", 0},
      {"chicago upper case", "[version]\nSIGNATURE=$CHICAGO$\n", 0},
      {"windows 95", "[Version]\r\nSignature=\"$windows 95$\"\r\n", 0},
      {"extra fields", "[Version]\nSignature=$Windows NT$, x\n", 0},
      {"byte order mark", "\xEF\xBB\xBF[Version]\nSignature=$Windows NT$\n", 0},
      {"other signature", "[Version]\nSignature=\"$Windows 3.1$\"\n",
       W32_ERROR_WRONG_INF_STYLE},
      {"blanks inside quotes", "[Version]\nSignature=\" $Windows NT$ \"\n",
       W32_ERROR_WRONG_INF_STYLE},
      {"first signature counts",
       "[Version]\nSignature=bogus\n[Version]\nSignature=$Windows NT$\n",
       W32_ERROR_WRONG_INF_STYLE},
      {"no version", "[S]\na=1\n", W32_ERROR_WRONG_INF_STYLE},
      {"only blanks", "  \n\n", W32_ERROR_WRONG_INF_STYLE},
      {"after end-of-file mark", "\x1A[Version]\nSignature=$Windows NT$\n",
       W32_ERROR_WRONG_INF_STYLE},
      {"empty file", "", 1006},
      {"text before any section", "a=1\n[Version]\nSignature=$Windows NT$\n",
       0xE0000000},
      {"comments before any section",
       "; c\n\n  ;c\n[Version]\nSignature=$Windows NT$\n", 0},
      {"section name of 255",
       std::string(kHeader) + "[" + std::string(255, 'n') + "]\n", 0},
      {"section name of 256",
       std::string(kHeader) + "[" + std::string(256, 'n') + "]\n", 0xE0000002},
      {"unterminated section name",
       "[Version]\nSignature=$Windows NT$\n[S\na=1\n", 0xE0000001},
  };
  for (const OpenCase& c : cases) {
    EXPECT_EQ(open_bytes(c.bytes), c.status) << c.name;
  }
}

TEST_F(InfReaderTest, OpenFindsBareNamesInTheInfDirectoryOnly) {
  write_inf(kHeader);
  InfHandle inf = nullptr;
  ASSERT_EQ(inf_open("ZEBSETUP.INF", &inf), 0u);
  inf_close(inf);
  ASSERT_EQ(inf_open((root_ + "/inf/zebsetup.inf").c_str(), &inf), 0u);
  inf_close(inf);
  EXPECT_EQ(inf_open("zebsetup", &inf), W32_ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(inf_open("other.inf", &inf), W32_ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(inf_open((root_ + "/other.inf").c_str(), &inf),
            W32_ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(inf_open((root_ + "/nodir/zebsetup.inf").c_str(), &inf), 3u);
}

TEST_F(InfReaderTest, AFailedReadFailsTheOpenInsteadOfCuttingTheFile) {
  write_inf(kHeader);
  fault_arm_subject(FaultPoint::kInfRead, "zebsetup.inf",
                    W32_ERROR_GEN_FAILURE);
  InfHandle inf = nullptr;
  EXPECT_EQ(inf_open("zebsetup.inf", &inf), W32_ERROR_GEN_FAILURE);
  EXPECT_EQ(inf, nullptr);
  fault_clear();
  ASSERT_EQ(inf_open("zebsetup.inf", &inf), 0u);
  inf_close(inf);
}

struct FieldCase {
  const char* name;
  const char* body;
  const char* key;  // null: the first line of [S]
  uint32_t index;
  StatusCode status;
  const char* text;
};

TEST_F(InfReaderTest, FieldsFollowTheLineModel) {
  const FieldCase cases[] = {
      {"key", "[S]\n  Key One  =  v\n", nullptr, 0, 0, "Key One"},
      {"value trimmed", "[S]\nk =  a  b  , c\n", "K", 1, 0, "a  b"},
      {"second value", "[S]\nk = a, c\n", "k", 2, 0, "c"},
      {"past the last field", "[S]\nk = a, c\n", "k", 3, 31, ""},
      {"empty middle field", "[S]\nk = a,,c\n", "k", 2, 0, ""},
      {"trailing comma", "[S]\nk = a,\n", "k", 2, 0, ""},
      {"empty value", "[S]\nk =\n", "k", 1, 0, ""},
      {"empty key", "[S]\n= v\n", "", 1, 0, "v"},
      {"keyless single value is field 0", "[S]\nalone\n", nullptr, 0, 0,
       "alone"},
      {"keyless single value is field 1", "[S]\nalone\n", nullptr, 1, 0,
       "alone"},
      {"keyless single value matches as key", "[S]\nk=1\nalone\n", "ALONE", 1,
       0, "alone"},
      {"keyless line of two has no field 0", "[S]\na, b\n", nullptr, 0, 31, ""},
      {"keyless line of two", "[S]\na, b\n", nullptr, 2, 0, "b"},
      {"comment", "[S]\nk = a ; c, d\n", "k", 2, 31, ""},
      {"quoted comma and semicolon", "[S]\nk = \"a, b; c\"\n", "k", 1, 0,
       "a, b; c"},
      {"doubled quote", "[S]\nk = \"say \"\"hi\"\"\"\n", "k", 1, 0,
       "say \"hi\""},
      {"quotes inside text", "[S]\nk = x\"m i d\"y\n", "k", 1, 0, "xm i dy"},
      {"quoted blanks kept", "[S]\nk = \"  a  \"\n", "k", 1, 0, "  a  "},
      {"unterminated quote ends at the line end", "[S]\nk = \"a\r\nz=1\n", "k",
       1, 0, "a\r"},
      {"quoted key", "[S]\n\"k = q\" = 1\n", "K = Q", 1, 0, "1"},
      {"equals sign after the key", "[S]\nk = a=b\n", "k", 1, 0, "a=b"},
      {"continuation", "[S]\nk = one \\\n   two, three\n", "k", 1, 0, "onetwo"},
      {"continuation into the next field", "[S]\nk = a,\\\n b\n", "k", 2, 0,
       "b"},
      {"continuation before a comment", "[S]\nk = a \\ ; c\nb\n", "k", 1, 0,
       "ab"},
      {"doubled backslash continues", "[S]\nk = a\\\\\nb\n", "k", 1, 0, "ab"},
      {"continuation to an empty line", "[S]\nk = a \\\n\nb\n", "k", 1, 0, "a"},
      {"continuation of the key", "[S]\nk \\\n= v\n", "k", 1, 0, "v"},
      {"backslash inside text", "[S]\nk = a\\b, c \\ d\n", "k", 2, 0, "c \\ d"},
      {"backslash inside quotes", "[S]\nk = \"a \\\nz=1\n", "k", 1, 0, "a \\"},
      {"substitution", "[S]\nk = <%Who%> %% %who%\n[Strings]\nwho = W\n", "k",
       1, 0, "<W> % W"},
      {"unknown name kept", "[S]\nk = %no%x% and 5%\n", "k", 1, 0,
       "%no%x% and 5%"},
      {"substituted text taken as written",
       "[S]\nk = %a%\n[Strings]\na = \"%b%, 50%%\"\nb = B\n", "k", 1, 0,
       "%b%, 50%%"},
      {"substituted key", "[S]\n%a% = v\n[Strings]\na = Real\n", "real", 1, 0,
       "v"},
      {"strings from a later repeated section",
       "[Strings]\na=1\n[S]\nk = %b%\n[strings]\nb = later\n", "k", 1, 0,
       "later"},
      {"tabs and carriage returns are blanks", "[S]\r\n\tk\t=\tv\t\r\n", "k", 1,
       0, "v"},
      {"no-break space is a blank", "[S]\nk =\xA0v\xA0\n", "k", 1, 0, "v"},
      {"a windows-1252 file read in utf-8, only A-Z fold",
       "[S]\n\xC9 = 1\n\xE9 = 2\n", "\xC3\xA9", 1, 0, "2"},
      {"a utf-8 file as it is", "[S]\n\xC3\x89 = 1\n\xC3\xA9 = 2\n", "\xC3\xA9",
       1, 0, "2"},
      {"line without newline at the end", "[S]\nk = last", "k", 1, 0, "last"},
  };
  for (const FieldCase& c : cases) {
    ASSERT_EQ(open_body(c.body), 0u) << c.name;
    std::string text;
    StatusCode status = field("S", c.key, c.index, &text);
    EXPECT_EQ(status, c.status) << c.name;
    if (status == 0) {
      EXPECT_EQ(text, c.text) << c.name;
    }
  }
}

TEST_F(InfReaderTest, StringsAreSubstitutedWhenReadAndLongFieldsCut) {
  ASSERT_EQ(open_body("[Strings]\na = \"%b%, 50%%\"\nb = B\n[S]\nk = " +
                      std::string(600, 'x') + "\n"),
            0u);
  std::string text;
  ASSERT_EQ(field("Strings", "a", 1, &text), 0u);
  EXPECT_EQ(text, "B, 50%");
  ASSERT_EQ(field("S", "k", 1, &text), 0u);
  EXPECT_EQ(text, std::string(511, 'x'));
}

struct IntCase {
  const char* text;
  StatusCode status;
  int32_t value;
};

TEST_F(InfReaderTest, IntegerFieldsReadLikeStrtolOfA32BitLong) {
  const IntCase cases[] = {
      {"42", 0, 42},
      {"-7", 0, -7},
      {"+9", 0, 9},
      {"0x1F", 0, 31},
      {"0X1f", 0, 31},
      {"-0x10", 0, -16},
      {"010", 0, 8},
      {"\"  5\"", 0, 5},
      {"", 0, 0},
      {"2147483647", 0, INT32_MAX},
      {"2147483648", 0, INT32_MAX},
      {"0x80000000", 0, INT32_MAX},
      {"0xFFFFFFFF", 0, INT32_MAX},
      {"99999999999", 0, INT32_MAX},
      {"-2147483648", 0, INT32_MIN},
      {"-0xffffffff", 0, INT32_MIN},
      {"12abc", 13, 0},
      {"abc", 13, 0},
      {"08", 13, 0},
      {"0x", 13, 0},
      {"-", 13, 0},
      {"1.5", 13, 0},
      {"\" 7 \"", 13, 0},
      {"5 6", 13, 0},
      {"--1", 13, 0},
      {"%n%", 0, 77},
  };
  for (const IntCase& c : cases) {
    std::string body =
        std::string("[S]\nk = ") + c.text + "\n[Strings]\nn = 77\n";
    ASSERT_EQ(open_body(body), 0u) << c.text;
    InfLine line;
    ASSERT_EQ(inf_find_first_line(inf_, "S", "k", &line), 0u);
    int32_t value = -12345;
    EXPECT_EQ(inf_get_int_field(&line, 1, &value), c.status) << c.text;
    if (c.status == 0) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
  InfLine line;
  ASSERT_EQ(inf_find_first_line(inf_, "S", "k", &line), 0u);
  int32_t value = 0;
  EXPECT_EQ(inf_get_int_field(&line, 0, &value), 13u);
  EXPECT_EQ(inf_get_int_field(&line, 2, &value), 31u);
}

TEST_F(InfReaderTest, SectionsMergeAndLinesAreAddressedThreeWays) {
  ASSERT_EQ(open_body("[S]\na=1\n; c\n\nb=2\n[Empty]\n[s]\nc=3\n[T]\n"
                      "[ Inner ] tail\nk=v\n"),
            0u);
  EXPECT_EQ(inf_get_line_count(inf_, "s"), 3);
  EXPECT_EQ(inf_get_line_count(inf_, "Empty"), 0);
  EXPECT_EQ(inf_get_line_count(inf_, "Missing"), -1);
  EXPECT_EQ(inf_get_line_count(inf_, " inner "), 1);
  EXPECT_EQ(inf_get_line_count(inf_, "Inner"), -1);

  InfLine line;
  ASSERT_EQ(inf_find_first_line(inf_, "S", nullptr, &line), 0u);
  EXPECT_EQ(line.inf, static_cast<void*>(inf_));
  EXPECT_EQ(line.current_inf, static_cast<void*>(inf_));
  EXPECT_EQ(line.line, 0u);
  std::string keys;
  InfLine next = line;
  do {
    char key[8];
    ASSERT_EQ(inf_get_string_field(&next, 0, key, sizeof key, nullptr), 0u);
    keys += key;
    line = next;
  } while (inf_find_next_line(&line, &next) == 0);
  EXPECT_EQ(keys, "abc");
  EXPECT_EQ(inf_find_next_line(&line, &next), W32_ERROR_LINE_NOT_FOUND);

  ASSERT_EQ(inf_get_line_by_index(inf_, "S", 2, &line), 0u);
  EXPECT_EQ(line.line, 2u);
  ASSERT_EQ(inf_find_first_line(inf_, "S", "C", &next), 0u);
  EXPECT_EQ(next.line, 2u);
  EXPECT_EQ(next.section, line.section);
  EXPECT_EQ(inf_get_line_by_index(inf_, "S", 3, &line),
            W32_ERROR_LINE_NOT_FOUND);
  EXPECT_EQ(inf_get_line_by_index(inf_, "Missing", 0, &line),
            W32_ERROR_LINE_NOT_FOUND);
  EXPECT_EQ(inf_find_first_line(inf_, "Empty", nullptr, &line),
            W32_ERROR_LINE_NOT_FOUND);
  EXPECT_EQ(inf_find_first_line(inf_, "Missing", nullptr, &line),
            W32_ERROR_LINE_NOT_FOUND);
  EXPECT_EQ(inf_find_first_line(inf_, "S", "d", &line),
            W32_ERROR_LINE_NOT_FOUND);
}

TEST_F(InfReaderTest, SmallBuffersReportTheSizeNeeded) {
  ASSERT_EQ(open_body("[S]\nk = abc, %x%\n[Strings]\nx = \"" +
                      std::string(400, 'y') + "\"\n"),
            0u);
  InfLine line;
  ASSERT_EQ(inf_find_first_line(inf_, "S", "k", &line), 0u);
  char buffer[4] = {'#', '#', '#', '#'};
  uint32_t required = 0;
  EXPECT_EQ(inf_get_string_field(&line, 1, buffer, 3, &required),
            W32_ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(required, 4u);
  EXPECT_EQ(buffer[0], '#');
  required = 0;
  EXPECT_EQ(inf_get_string_field(&line, 1, nullptr, 0, &required), 0u);
  EXPECT_EQ(required, 4u);
  EXPECT_EQ(inf_get_string_field(&line, 1, buffer, 4, nullptr), 0u);
  EXPECT_STREQ(buffer, "abc");
  // Substituted text is not cut like parsed fields are.
  EXPECT_EQ(inf_get_string_field(&line, 2, nullptr, 0, &required), 0u);
  EXPECT_EQ(required, 401u);
}

struct DecodeCase {
  const char* name;
  std::string raw;
  bool unicode;
  std::string text;
};

std::string utf16(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

// The reader's text is UTF-8, the native code page: Unicode files keep
// every character (where the Windows build's ANSI calls put best-fit
// look-alikes or '?'), 8-bit files that are not UTF-8 are Windows-1252.
TEST(InfTextTest, FilesBecomeUtf8) {
  const std::string mark = "\xEF\xBB\xBF";
  const DecodeCase cases[] = {
      {"utf-8 without a mark stays", "caf\xC3\xA9\n", false, ""},
      {"windows-1252 becomes utf-8", "caf\xE9 \x80\x81\n", true,
       "caf\xC3\xA9 \xE2\x82\xAC\xC2\x81\n"},
      {"utf-8 mark", mark + "caf\xC3\xA9 \xE2\x82\xAC", true,
       "caf\xC3\xA9 \xE2\x82\xAC"},
      {"characters windows-1252 lacks stay",
       mark + "\xC4\x80\xEF\xBC\xA1\xE4\xB8\xAD\xF0\x9F\x98\x80", true,
       "\xC4\x80\xEF\xBC\xA1\xE4\xB8\xAD\xF0\x9F\x98\x80"},
      {"invalid leads one each", mark + "\xC0\x80\xF8\xBF", true, "????"},
      {"second byte out of range taken along", mark + "\xE0\x80\x80", true,
       "??"},
      {"surrogate in utf-8", mark + "\xED\xA0\x80", true, "??"},
      {"cut sequence", mark + "\xE4\xB8x\xF0\x9F\x98", true, "?x?"},
      {"utf-16 mark",
       "\xFF\xFE" + utf16("[a]") + std::string("\xE9\0\xAC\x20", 4), true,
       "[a]\xC3\xA9\xE2\x82\xAC"},
      {"utf-16 pair and lone surrogate",
       std::string("\xFF\xFE\x3D\xD8\0\xDE\0\xD8x\0", 10), true,
       "\xF0\x9F\x98\x80?x"},
      {"utf-16 without a mark", utf16("[Version]"), true, "[Version]"},
      {"odd length is not utf-16", utf16("[V]") + "x", false, ""},
  };
  for (const DecodeCase& c : cases) {
    EXPECT_EQ(inf_text_needs_decoding(c.raw), c.unicode) << c.name;
    if (!c.unicode) continue;
    std::string text;
    inf_decode_text(c.raw, &text);
    EXPECT_EQ(text, c.text) << c.name;
  }
}

// zebreg exports the store's text as UTF-16 and imports it back, REGEDIT4
// files are Windows-1252, and a store written before its text was UTF-8
// holds Windows-1252: every one of these must come back as itself.
TEST(TextEncodingTest, TextComesBackFromItsUtf16Form) {
  struct Case {
    const char* name;
    std::string text;
    std::u16string units;
    StatusCode back;  // of text_from_utf16(units)
    std::string back_text;
  };
  const Case cases[] = {
      {"ascii", "Port.Parity", u"Port.Parity", 0, "Port.Parity"},
      {"utf-8",
       "Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x82\xAC",
       u"Gr\u00FC\u00DFe \u20AC", 0,
       "Gr\xC3\xBC\xC3\x9F"
       "e \xE2\x82\xAC"},
      {"beyond the basic plane", "\xF0\x9F\x98\x80", u"\U0001F600", 0,
       "\xF0\x9F\x98\x80"},
      {"windows-1252 of an older store", "Caf\xE9\x80", u"Caf\u00E9\u20AC", 0,
       "Caf\xC3\xA9\xE2\x82\xAC"},
      {"lone surrogates", "",
       std::u16string(u"a") + char16_t(0xD800) + u"b" + char16_t(0xDC00),
       W32_ERROR_NO_UNICODE_TRANSLATION, "a?b?"},
  };
  for (const Case& c : cases) {
    if (!c.text.empty()) {
      std::u16string units;
      text_to_utf16(c.text, &units);
      EXPECT_EQ(units, c.units) << c.name;
    }
    std::string text;
    EXPECT_EQ(text_from_utf16(c.units, &text), c.back) << c.name;
    EXPECT_EQ(text, c.back_text) << c.name;
  }
  EXPECT_EQ(windows_1252_to_utf16(0x80), u'\x20AC');
  EXPECT_EQ(windows_1252_to_utf16(0x9F), u'\x0178');
  EXPECT_EQ(windows_1252_to_utf16(0xE9), u'\x00E9');
  for (int byte = 0; byte < 256; ++byte) {
    std::u16string unit(
        1, windows_1252_to_utf16(static_cast<unsigned char>(byte)));
    std::string text;
    windows_1252_from_utf16(unit, &text);
    EXPECT_EQ(text, std::string(1, static_cast<char>(byte))) << byte;
  }
}

TEST_F(InfReaderTest, Utf8FilesWithAMarkAreRead) {
  ASSERT_EQ(open_bytes("\xEF\xBB\xBF[Version]\r\nSignature=$Windows NT$\r\n"
                       "[S]\r\nk = \"caf\xC3\xA9\"\r\n"),
            0u);
  std::string text;
  ASSERT_EQ(field("S", "k", 1, &text), 0u);
  EXPECT_EQ(text, "caf\xC3\xA9");
  ASSERT_EQ(open_bytes("\xFF\xFE" + utf16(kHeader) + utf16("[S]\nk=v\n")), 0u);
  ASSERT_EQ(field("S", "k", 1, &text), 0u);
  EXPECT_EQ(text, "v");
}

}  // namespace
