// The typed store below the POSIX registry: what its transactions and caches
// promise to a caller that groups several operations.
#include "platform/posix/store.h"

#include <string>
#include <vector>

#include "test_root.h"

namespace {

class StoreTest : public TestRoot {
 protected:
  // The children of key id as a fresh connection reads them from disk.
  std::vector<std::string> stored_children(int64_t id) {
    registry_store_reset();
    return children(id);
  }

  std::vector<std::string> children(int64_t id) {
    bool absent = false;
    EXPECT_EQ(store_open(StoreMode::kRead, &absent), 0u);
    const std::vector<StoreChild>* listed = nullptr;
    EXPECT_EQ(store_children(id, &listed), 0u);
    std::vector<std::string> names;
    if (listed != nullptr) {
      for (const StoreChild& child : *listed) names.push_back(child.name);
    }
    return names;
  }

  int64_t insert(int64_t parent, const char* name) {
    int64_t id = 0;
    EXPECT_EQ(store_insert_key(parent, name, &id), 0u) << name;
    return id;
  }

  void put_text(int64_t id, const char* name, const char* text) {
    EXPECT_EQ(store_put_value(id, name, W32_REG_SZ, text,
                              static_cast<uint32_t>(std::string(text).size())),
              0u);
  }
};

TEST_F(StoreTest, RollbackLeavesNothingBehindNorInTheListings) {
  ASSERT_EQ(store_begin_write(), 0u);
  int64_t id = insert(kStoreRootKeyId, "Born");
  put_text(id, "v", "x");
  put_text(kStoreRootKeyId, "w", "y");
  EXPECT_EQ(children(kStoreRootKeyId), std::vector<std::string>{"Born"});
  store_rollback();
  EXPECT_EQ(children(kStoreRootKeyId), std::vector<std::string>{});
  uint32_t type = 0;
  const std::vector<uint8_t>* data = nullptr;
  EXPECT_EQ(store_get_value(kStoreRootKeyId, "w", &type, &data),
            W32_ERROR_FILE_NOT_FOUND);
  const std::vector<StoreValue>* values = nullptr;
  EXPECT_EQ(store_values(id, &values), W32_ERROR_KEY_DELETED);
  EXPECT_EQ(stored_children(kStoreRootKeyId), std::vector<std::string>{});
}

TEST_F(StoreTest, NestedTransactionLandsWithItsOuterOne) {
  struct Case {
    bool inner_commits;
    bool outer_commits;
    std::vector<std::string> stored;
  } cases[] = {
      {true, true, {"inner", "outer"}},
      {false, true, {"outer"}},
      {true, false, {}},
      {false, false, {}},
  };
  int number = 0;
  for (const Case& c : cases) {
    ASSERT_EQ(store_begin_write(), 0u);
    int64_t parent = insert(kStoreRootKeyId, std::to_string(number++).c_str());
    ASSERT_EQ(store_commit(), 0u);
    ASSERT_EQ(store_begin_write(), 0u);
    int64_t outer = insert(parent, "outer");
    ASSERT_EQ(store_begin_write(), 0u);
    insert(parent, "inner");
    put_text(outer, "set", "inside");
    if (c.inner_commits) {
      EXPECT_EQ(store_commit(), 0u);
    } else {
      store_rollback();
    }
    if (c.outer_commits) {
      EXPECT_EQ(store_commit(), 0u);
    } else {
      store_rollback();
    }
    EXPECT_EQ(stored_children(parent), c.stored)
        << c.inner_commits << c.outer_commits;
  }
}

TEST_F(StoreTest, ListingsInsideAWriteSeeItsOwnWrites) {
  ASSERT_EQ(store_begin_write(), 0u);
  EXPECT_EQ(children(kStoreRootKeyId), std::vector<std::string>{});
  int64_t id = insert(kStoreRootKeyId, "Dev");
  EXPECT_EQ(children(kStoreRootKeyId), std::vector<std::string>{"Dev"});
  const std::vector<StoreValue>* values = nullptr;
  ASSERT_EQ(store_values(id, &values), 0u);
  EXPECT_TRUE(values->empty());
  put_text(id, "Name", "COM7");
  ASSERT_EQ(store_values(id, &values), 0u);
  ASSERT_EQ(values->size(), 1u);
  EXPECT_EQ((*values)[0].name, "Name");
  bool deleted = false;
  EXPECT_EQ(store_delete_value(id, "NAME", &deleted), 0u);
  EXPECT_TRUE(deleted);
  ASSERT_EQ(store_values(id, &values), 0u);
  EXPECT_TRUE(values->empty());
  EXPECT_EQ(store_commit(), 0u);
}

TEST_F(StoreTest, WritesOutsideATransactionAreRefused) {
  ASSERT_EQ(store_begin_write(), 0u);
  int64_t id = insert(kStoreRootKeyId, "Kept");
  ASSERT_EQ(store_commit(), 0u);
  int64_t child = 0;
  bool deleted = false;
  EXPECT_EQ(store_insert_key(id, "c", &child), W32_ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(store_put_value(id, "v", W32_REG_SZ, "x", 1),
            W32_ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(store_delete_value(id, "v", &deleted),
            W32_ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(store_delete_key(id), W32_ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(store_commit(), W32_ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(stored_children(kStoreRootKeyId), std::vector<std::string>{"Kept"});
  EXPECT_EQ(children(id), std::vector<std::string>{});
}

TEST_F(StoreTest, DeleteKeyTakesItsValuesAndKeepsTheTreeWhole) {
  ASSERT_EQ(store_begin_write(), 0u);
  int64_t parent = insert(kStoreRootKeyId, "Parent");
  int64_t leaf = insert(parent, "Leaf");
  put_text(leaf, "v", "x");
  EXPECT_EQ(store_delete_key(parent), W32_ERROR_ACCESS_DENIED);
  EXPECT_EQ(store_delete_key(kStoreRootKeyId), W32_ERROR_ACCESS_DENIED);
  EXPECT_EQ(store_delete_key(leaf), 0u);
  uint32_t type = 0;
  const std::vector<uint8_t>* data = nullptr;
  EXPECT_EQ(store_get_value(leaf, "v", &type, &data), W32_ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(store_delete_key(parent), 0u);
  ASSERT_EQ(store_commit(), 0u);
  EXPECT_EQ(stored_children(kStoreRootKeyId), std::vector<std::string>{});
}

}  // namespace
