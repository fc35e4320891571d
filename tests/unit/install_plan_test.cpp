// zebinstall's reading of an install section: what it accepts, what it
// refuses before anything is written, and how the plan lands in the store.
#include "install_plan.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "install_apply.h"
#include "platform/inf.h"
#include "platform/posix/fault.h"
#include "test_root.h"

namespace {

const char kHead[] =
    "[Version]\nSignature=\"$Windows NT$\"\n"
    "[Strings]\nBase=\"Software\\ZebTest\"\n"
    "[DestinationDirs]\nDefaultDestDir=17\nfar_files=11\n"
    "[far_files]\nzebsetup.inf\n";

class InstallPlanTest : public TestRoot {
 protected:
  // Plans section of head + body, written as zebsetup.inf in the INF folder.
  StatusCode plan(const std::string& body, const char* section = "Install") {
    write_inf(kHead + body);
    InfHandle inf = nullptr;
    StatusCode status = inf_open("zebsetup.inf", &inf);
    EXPECT_EQ(status, 0u);
    if (status != 0) return status;
    status = plan_install(inf, root_ + "/inf", section, &plan_, &error_);
    inf_close(inf);
    return status;
  }

  InstallPlan plan_;
  std::string error_;
};

struct RefusalCase {
  const char* body;
  StatusCode status;
  const char* error;
};

TEST_F(InstallPlanTest, RefusesEveryLineItCannotApply) {
  const RefusalCase cases[] = {
      {"[Install]\nAddReg=r\n[r]\nHKCU,Software\\X,V,0,x\n", 50,
       "[r] line 1: root HKCU is not supported (only HKLM)"},
      {"[Install]\nAddReg=r\n[r]\nHKXX,Software\\X\n", 13,
       "[r] line 1: unknown registry root \"HKXX\""},
      {"[Install]\nAddReg=r\n[r]\nHKLM,,V,0,x\n", 13,
       "[r] line 1: a key below HKLM is required"},
      {"[Install]\nAddReg=r\n[r]\nHKLM,A\\\\B,V,0,x\n", 13,
       "empty or overlong name"},
      {"[Install]\nAddReg=r\n[r]\nHKLM,%Nope%\\X,V,0,x\n", 13,
       "unresolved %string%"},
      {"[Install]\nAddReg=r\n[r]\nHKLM,%Base%,V,abc,x\n", 13,
       "flags \"abc\" are not a number"},
      {"[Install]\nAddReg=r\n[r]\nHKLM,%Base%,V,0x4\n", 50,
       "AddReg flags 0x00000004 are not supported"},
      {"[Install]\nAddReg=r\n[r]\nHKLM,%Base%,V,0x00020000,x\n", 50,
       "AddReg flags 0x00020000 are not supported"},
      {"[Install]\nAddReg=r\n[r]\nHKLM,%Base%,V,0x00010001\n", 13,
       "REG_DWORD takes one number in field 5"},
      {"[Install]\nAddReg=r\n[r]\nHKLM,%Base%,V,0x00010001,1,2\n", 13,
       "REG_DWORD takes one number in field 5"},
      {"[Install]\nAddReg=r\n[r]\nHKLM,%Base%,V,0x00010001,0x100000000\n", 13,
       "\"0x100000000\" is not a 32-bit number"},
      {"[Install]\nAddReg=r\n[r]\nHKLM,%Base%,V,0x00010000,a,,b\n", 13,
       "REG_MULTI_SZ field 6 is empty"},
      {"[Install]\nAddReg=r\n[r]\nHKLM,%Base%,V,0x00010000\n", 13,
       "REG_MULTI_SZ takes one text or more"},
      {"[Install]\nAddReg=r\n[r]\nHKLM,%Base%,V,1,0a,zz\n", 13,
       "REG_BINARY field 6 \"zz\" is not a hexadecimal byte"},
      {"[Install]\nAddReg=r\n[r]\nHKLM,%Base%,V,1,100\n", 13,
       "REG_BINARY field 5 \"100\""},
      {"[Install]\nDelReg=r\n[r]\nHKLM,%Base%,V,0x2000\n", 50,
       "DelReg flags 0x00002000 are not supported"},
      {"[Install]\nAddReg=missing\n", 0xE0000101, "no section [missing]"},
      {"[Install]\nRegisterDlls=r\n", 50,
       "\"RegisterDlls\" is not supported (only AddReg, DelReg, CopyFiles)"},
      {"[Install]\nCopyFiles=far_files\n", 50,
       "files go only to directory id 17 (the INF folder), not \"11\""},
      {"[Install]\nCopyFiles=@absent.inf\n", 2, "source file"},
      {"[Install]\nCopyFiles=@../zebsetup.inf\n", 13, "not a plain file name"},
      {"[Install]\nCopyFiles=list\n[list]\nzebsetup.inf,,,0x4\n", 50,
       "copy flags 0x4 are not supported"},
  };
  for (const RefusalCase& c : cases) {
    EXPECT_EQ(plan(c.body), c.status) << c.body;
    EXPECT_NE(error_.find(c.error), std::string::npos)
        << c.body << " gave: " << error_;
  }
}

TEST_F(InstallPlanTest, AMissingSectionIsRefused) {
  EXPECT_EQ(plan("[Other]\nAddReg=r\n"), 0xE0000101u);
  EXPECT_EQ(error_, "no section [Install]");
}

TEST_F(InstallPlanTest, ReadsCopiesDeletionsAndAdditionsInOrder) {
  ASSERT_EQ(plan("[Install]\nAddReg=a\nCopyFiles=@zebsetup.inf\nDelReg=d\n"
                 "[a]\nHKLM,%Base%\\K,,0x10\nHKLM,%Base%,D,0x00010003,-1\n"
                 "HKLM,%Base%,M,0x00010000,x,y\n[d]\nHKLM,%Base%\\Old\n"
                 "HKLM,%Base%,V,0x8000\n"),
            0u)
      << error_;
  ASSERT_EQ(plan_.copies.size(), 1u);
  EXPECT_EQ(plan_.copies[0].target_name, "zebsetup.inf");
  ASSERT_EQ(plan_.deletions.size(), 2u);
  EXPECT_EQ(plan_.deletions[0].kind, RegEntryKind::kDeleteTree);
  EXPECT_EQ(plan_.deletions[0].subkey, "Software\\ZebTest\\Old");
  EXPECT_EQ(plan_.deletions[1].kind, RegEntryKind::kDeleteValue);
  ASSERT_EQ(plan_.additions.size(), 3u);
  EXPECT_EQ(plan_.additions[0].kind, RegEntryKind::kCreateKey);
  EXPECT_TRUE(plan_.additions[1].no_clobber);
  EXPECT_EQ(plan_.additions[1].data, std::vector<uint8_t>(4, 0xFF));
  EXPECT_EQ(std::string(plan_.additions[2].data.begin(),
                        plan_.additions[2].data.end()),
            std::string("x\0y\0\0", 5));
  EXPECT_EQ(plan_.additions[2].where, "[a] line 3");
}

TEST_F(InstallPlanTest, PrefersTheNtDecoratedSection) {
  ASSERT_EQ(plan("[Install]\nAddReg=missing\n[Install.NT]\n"), 0u) << error_;
  EXPECT_EQ(plan_.section, "Install.NT");
  ASSERT_EQ(plan("[Install.NT]\n[Install.NTamd64]\n"), 0u) << error_;
  EXPECT_EQ(plan_.section, "Install.NTamd64");
}

TEST(ParseDwordText, ReadsTheFormsOfAnInfNumber) {
  const struct {
    const char* text;
    bool ok;
    uint32_t value;
  } cases[] = {
      {"16", true, 16},
      {"0x1F", true, 31},
      {"0X1f", true, 31},
      {"010", true, 8},
      {"0", true, 0},
      {"-1", true, 0xFFFFFFFF},
      {"4294967295", true, 0xFFFFFFFF},
      {"4294967296", false, 0},
      {"", false, 0},
      {"0x", false, 0},
      {"-", false, 0},
      {"12abc", false, 0},
      {"08", false, 0},
      {" 1", false, 0},
  };
  for (const auto& c : cases) {
    uint32_t value = 0;
    EXPECT_EQ(parse_dword_text(c.text, &value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

TEST_F(InstallPlanTest,
       AppliesDeletionsThenAdditionsAndKeepsWhatNoClobberKeeps) {
  put_test_dword("Software\\ZebTest\\Old\\Deep\\Deeper", "V", 1);
  put_test_dword("Software\\ZebTest", "Kept", 5);
  ASSERT_EQ(plan("[Install]\nDelReg=d\nAddReg=a\n[d]\nHKLM,%Base%\\Old\n"
                 "HKLM,%Base%\\Absent\nHKLM,%Base%,Absent\n"
                 "[a]\nHKLM,%Base%,Kept,0x00010003,9\n"
                 "HKLM,%Base%\\Old,New,0,x\n"),
            0u)
      << error_;
  InstallCounts counts = {};
  ASSERT_EQ(apply_registry(plan_, &counts, &error_), 0u) << error_;
  EXPECT_EQ(counts.deleted, 1u);
  EXPECT_EQ(counts.written, 1u);
  EXPECT_EQ(counts.kept, 1u);
  RegKey key = nullptr;
  EXPECT_EQ(reg_open_key(reg_local_machine(), "Software\\ZebTest\\Old\\Deep",
                         W32_KEY_READ, &key),
            2u);
  ASSERT_EQ(reg_open_key(reg_local_machine(), "Software\\ZebTest", W32_KEY_READ,
                         &key),
            0u);
  uint32_t kept = 0;
  uint32_t size = sizeof kept;
  EXPECT_EQ(reg_query_value(key, "Kept", nullptr, &kept, &size), 0u);
  EXPECT_EQ(kept, 5u);
  reg_close_key(key);
}

// A subkey name of 200 e-acute takes 400 bytes in the store's UTF-8: more
// than a name buffer of 255 characters holds.
TEST_F(InstallPlanTest, DeletesATreeWhoseNamesTakeMoreBytesThanCharacters) {
  std::string wide;
  for (int i = 0; i < 200; ++i) wide += "\xc3\xa9";
  put_test_dword("Software\\ZebTest\\Old\\" + wide + "\\" + wide, "V", 1);
  ASSERT_EQ(plan("[Install]\nDelReg=d\n[d]\nHKLM,%Base%\\Old\n"), 0u) << error_;
  InstallCounts counts = {};
  ASSERT_EQ(apply_registry(plan_, &counts, &error_), 0u) << error_;
  EXPECT_EQ(counts.deleted, 1u);
  RegKey key = nullptr;
  EXPECT_EQ(reg_open_key(reg_local_machine(), "Software\\ZebTest\\Old",
                         W32_KEY_READ, &key),
            2u);
}

TEST_F(InstallPlanTest,
       CopiesIntoTheInfFolderAndLeavesAFileThatIsItsOwnTarget) {
  std::ofstream(root_ + "/extra.txt") << "extra";
  write_inf(std::string(kHead) + "[Install]\nCopyFiles=@zebsetup.inf\n");
  InfHandle inf = nullptr;
  ASSERT_EQ(inf_open("zebsetup.inf", &inf), 0u);
  ASSERT_EQ(plan_install(inf, root_ + "/inf", "Install", &plan_, &error_), 0u);
  inf_close(inf);
  FileCopy extra = {"[x] line 1", root_ + "/extra.txt", "extra.txt"};
  plan_.copies.push_back(extra);
  InstallCounts counts = {};
  ASSERT_EQ(apply_copies(plan_, root_ + "/inf", &counts, &error_), 0u)
      << error_;
  EXPECT_EQ(counts.files, 2u);
  std::ifstream copied(root_ + "/inf/extra.txt");
  std::string text;
  copied >> text;
  EXPECT_EQ(text, "extra");
  std::ifstream self(root_ + "/inf/zebsetup.inf");
  std::string first;
  std::getline(self, first);
  EXPECT_EQ(first, "[Version]");
}

// A failure part-way through the entries leaves the store as it was.
TEST_F(InstallPlanTest, AFailedEntryLeavesNoRegistryEntryWritten) {
  put_test_dword("Software\\ZebTest", "Old", 1);
  ASSERT_EQ(plan("[Install]\nDelReg=d\nAddReg=a\n[d]\nHKLM,%Base%,Old\n"
                 "[a]\nHKLM,%Base%\\New,,0x00000010\n"
                 "HKLM,%Base%,First,0x00010001,1\n"
                 "HKLM,%Base%,Second,0x00010001,2\n"),
            0u)
      << error_;
  fault_arm(FaultPoint::kRegSet, 2, W32_ERROR_DISK_FULL);
  InstallCounts counts = {};
  EXPECT_EQ(apply_install(plan_, root_ + "/inf", &counts, &error_),
            W32_ERROR_DISK_FULL);
  fault_clear();
  EXPECT_NE(error_.find("no registry entry was written"), std::string::npos)
      << error_;
  RegKey key = nullptr;
  EXPECT_EQ(reg_open_key(reg_local_machine(), "Software\\ZebTest\\New",
                         W32_KEY_READ, &key),
            2u);
  ASSERT_EQ(reg_open_key(reg_local_machine(), "Software\\ZebTest", W32_KEY_READ,
                         &key),
            0u);
  uint32_t value = 0;
  uint32_t size = sizeof value;
  EXPECT_EQ(reg_query_value(key, "Old", nullptr, &value, &size), 0u);
  EXPECT_EQ(reg_query_value(key, "First", nullptr, nullptr, nullptr), 2u);
  reg_close_key(key);
}

}  // namespace
