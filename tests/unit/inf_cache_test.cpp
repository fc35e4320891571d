// The per-process cache of parsed setup files: every open answers as if the
// file were read afresh, whatever happened to it since the last open.
#include "platform/posix/inf_cache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/inf.h"
#include "platform/posix/fault.h"
#include "test_root.h"

namespace {

const char kHeader[] = "[Version]\nSignature=\"$Windows NT$\"\n";

std::string signed_text(const std::string& value) {
  return std::string(kHeader) + "[S]\nk=" + value + "\n";
}

class InfCacheTest : public TestRoot {
 protected:
  std::string path() const { return root_ + "/inf/zebsetup.inf"; }

  // Opens zebsetup.inf: its status, and field 1 of [S] k into *value.
  StatusCode open_and_read(std::string* value) {
    InfHandle inf = nullptr;
    StatusCode status = inf_open("zebsetup.inf", &inf);
    if (status != 0) return status;
    *value = read_k(inf);
    inf_close(inf);
    return 0;
  }

  static std::string read_k(InfHandle inf) {
    InfLine line;
    char buffer[64] = "";
    if (inf_find_first_line(inf, "S", "k", &line) != 0 ||
        inf_get_string_field(&line, 1, buffer, sizeof buffer, nullptr) != 0) {
      return "<none>";
    }
    return buffer;
  }

  // Sets the file's modification time to seconds.nanos.
  void set_mtime(time_t seconds, long nanos) {
    struct timespec times[2] = {{seconds, nanos}, {seconds, nanos}};
    ASSERT_EQ(utimensat(AT_FDCWD, path().c_str(), times, 0), 0);
  }

  void TearDown() override {
    fault_clear();
    TestRoot::TearDown();
  }
};

// One step: what happens to the file, then what the next open answers.
struct CacheStep {
  const char* name;
  enum { kWrite, kRemove, kKeepMtime } action;
  std::string text;  // written for kWrite and kKeepMtime
  StatusCode status;
  const char* value;  // field 1 of [S] k after a successful open
};

TEST_F(InfCacheTest, EveryOpenSeesTheFileAsItIsNow) {
  const CacheStep steps[] = {
      {"first open", CacheStep::kWrite, signed_text("one"), 0, "one"},
      {"unchanged", CacheStep::kWrite, signed_text("one"), 0, "one"},
      {"longer text", CacheStep::kWrite, signed_text("three"), 0, "three"},
      {"same size, same mtime", CacheStep::kKeepMtime, signed_text("thre3"), 0,
       "thre3"},
      {"removed", CacheStep::kRemove, "", W32_ERROR_FILE_NOT_FOUND, nullptr},
      {"still removed", CacheStep::kRemove, "", W32_ERROR_FILE_NOT_FOUND,
       nullptr},
      {"back again", CacheStep::kWrite, signed_text("thre3"), 0, "thre3"},
      {"unsigned", CacheStep::kWrite, "[Version]\n[S]\nk=v\n",
       W32_ERROR_WRONG_INF_STYLE, nullptr},
      {"still unsigned", CacheStep::kWrite, "[Version]\n[S]\nk=v\n",
       W32_ERROR_WRONG_INF_STYLE, nullptr},
      {"garbage", CacheStep::kWrite, "k=v\n[Version]\n",
       W32_ERROR_EXPECTED_SECTION_NAME, nullptr},
      {"empty", CacheStep::kWrite, "", W32_ERROR_FILE_INVALID, nullptr},
      {"signed again", CacheStep::kWrite, signed_text("four"), 0, "four"},
      {"garbage of the same size", CacheStep::kKeepMtime,
       "k" + signed_text("four").substr(1), W32_ERROR_EXPECTED_SECTION_NAME,
       nullptr},
  };
  for (const CacheStep& step : steps) {
    if (step.action == CacheStep::kRemove) {
      unlink(path().c_str());
    } else if (step.action == CacheStep::kKeepMtime) {
      struct stat before;
      ASSERT_EQ(stat(path().c_str(), &before), 0) << step.name;
      write_inf(step.text);
      set_mtime(before.st_mtim.tv_sec, before.st_mtim.tv_nsec);
    } else {
      write_inf(step.text);
    }
    std::string value;
    EXPECT_EQ(open_and_read(&value), step.status) << step.name;
    if (step.status == 0) {
      EXPECT_EQ(value, step.value) << step.name;
    }
  }
}

TEST_F(InfCacheTest, AHandleKeepsTheFileAsItWasOpened) {
  write_inf(signed_text("old"));
  InfHandle first = nullptr;
  ASSERT_EQ(inf_open("zebsetup.inf", &first), 0u);
  write_inf(signed_text("newer"));
  InfHandle second = nullptr;
  ASSERT_EQ(inf_open("zebsetup.inf", &second), 0u);
  unlink(path().c_str());
  EXPECT_EQ(read_k(first), "old");
  EXPECT_EQ(read_k(second), "newer");
  inf_close(second);
  EXPECT_EQ(read_k(first), "old");
  inf_close(first);
}

TEST_F(InfCacheTest, TheSameNameInAnotherRootIsAnotherFile) {
  write_inf(signed_text("first root"));
  std::string value;
  ASSERT_EQ(open_and_read(&value), 0u);
  EXPECT_EQ(value, "first root");
  std::string other = make_test_root();
  write_setup_file(other, signed_text("other root"));
  EXPECT_EQ(open_and_read(&value), 0u);
  EXPECT_EQ(value, "other root");
  remove_test_root(other);
  setenv("ZEBCFG_ROOT", root_.c_str(), 1);
  EXPECT_EQ(open_and_read(&value), 0u);
  EXPECT_EQ(value, "first root");
}

// A file left alone for longer than the step of file times is trusted on
// its identity alone and not read again; any change to it still shows.
TEST_F(InfCacheTest, ASettledFileIsNotReadAgainUntilItChanges) {
  write_inf(signed_text("one"));
  sleep(3);
  std::string value;
  ASSERT_EQ(open_and_read(&value), 0u);
  fault_arm(FaultPoint::kInfRead, 1, W32_ERROR_GEN_FAILURE, true);
  ASSERT_EQ(open_and_read(&value), 0u);
  EXPECT_EQ(value, "one");
  fault_clear();

  struct stat before;
  ASSERT_EQ(stat(path().c_str(), &before), 0);
  write_inf(signed_text("two"));
  set_mtime(before.st_mtim.tv_sec, before.st_mtim.tv_nsec);
  ASSERT_EQ(open_and_read(&value), 0u);
  EXPECT_EQ(value, "two");
}

TEST(InfCacheIdentityTest, AnyFieldOfTheIdentityTellsFilesApart) {
  const InfFileIdentity base = {1, 2, 3, 4000000000, 5000000000};
  EXPECT_TRUE(inf_same_identity(base, base));
  InfFileIdentity other = base;
  other.device = 9;
  EXPECT_FALSE(inf_same_identity(base, other));
  other = base;
  other.inode = 9;
  EXPECT_FALSE(inf_same_identity(base, other));
  other = base;
  other.size = 9;
  EXPECT_FALSE(inf_same_identity(base, other));
  other = base;
  other.modified += 1;
  EXPECT_FALSE(inf_same_identity(base, other));
  other = base;
  other.changed += 1;
  EXPECT_FALSE(inf_same_identity(base, other));
}

TEST(InfCacheIdentityTest, OnlyFilesUntouchedForTwoSecondsAreSettled) {
  const int64_t second = 1000000000;
  const int64_t now = 100 * second;
  struct Case {
    int64_t modified;
    int64_t changed;
    bool settled;
  };
  const Case cases[] = {
      {90 * second, 90 * second, true},
      {now - 2 * second - 1, now - 2 * second - 1, true},
      {now - 2 * second, 90 * second, false},
      {90 * second, now - 2 * second, false},
      {90 * second, now - 1, false},
      {now + second, 90 * second, false},
  };
  for (const Case& c : cases) {
    InfFileIdentity identity = {1, 2, 3, c.modified, c.changed};
    EXPECT_EQ(inf_identity_settled(identity, now), c.settled)
        << c.modified << " " << c.changed;
  }
}

TEST(InfCacheIdentityTest, TheDigestCoversEveryByte) {
  std::string text(37, 'a');
  uint64_t digest = inf_digest(text.data(), text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    std::string changed = text;
    changed[i] = 'b';
    EXPECT_NE(inf_digest(changed.data(), changed.size()), digest) << i;
  }
  EXPECT_NE(inf_digest(text.data(), text.size() - 1), digest);
  EXPECT_EQ(inf_digest(text.data(), text.size()), digest);
}

}  // namespace
